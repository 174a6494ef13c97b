// The display check that comes before the window program: stand-in X and Wayland servers are
// plain listening sockets (the check only connects), and a real Xvfb when the machine has one.
#include "app/DisplayProbe.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using zarq::DisplayProbe;

namespace {

// A Unix socket that listens (connects succeed through the backlog); a leading NUL byte in
// `name` puts it in the abstract name space.
class Listener {
public:
    explicit Listener(const QByteArray& name) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
               ::listen(m_fd, 8) == 0;
    }
    ~Listener() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

class DisplayProbeTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    DisplayProbe::Environment env() const {
        DisplayProbe::Environment e;
        e.runtimeDir = m_dir.path();
        e.x11SocketDir = m_dir.path();
        e.tcpTimeoutMs = 3000;
        return e;
    }
    QByteArray path(const char* leaf) const { return QFile::encodeName(m_dir.filePath(leaf)); }

    QTemporaryDir m_dir;
};

TEST_F(DisplayProbeTest, AnX11DisplayThatAnswersIsUsed) {
    // Display 7 through the abstract socket, 8 through the socket file, over TCP a port
    // chosen by the system, written as the display number 6000 below it.
    Listener abstractSeven('\0' + path("X7"));
    Listener fileEight(path("X8"));
    ASSERT_TRUE(abstractSeven.ok());
    ASSERT_TRUE(fileEight.ok());
    QTcpServer tcp;
    ASSERT_TRUE(tcp.listen(QHostAddress::LocalHost));
    if (tcp.serverPort() < 6000)
        GTEST_SKIP() << "the system gave a port below 6000";
    const QByteArray overTcp = "127.0.0.1:" + QByteArray::number(tcp.serverPort() - 6000);

    for (const QByteArray& display :
         {QByteArray(":7"), QByteArray(":7.0"), QByteArray("unix:7"), QByteArray("unix/:7"),
          QByteArray(":8"), QByteArray(":8.1"), overTcp, overTcp + ".0"}) {
        SCOPED_TRACE(display.constData());
        DisplayProbe::Environment e = env();
        e.display = display;
        EXPECT_EQ(DisplayProbe::unreachableReason(e), QString());
    }
}

TEST_F(DisplayProbeTest, ADisplayThatDoesNotAnswerIsNamedWithTheReason) {
    const QString dir = m_dir.path();
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // the port now refuses
    if (port < 6000)
        GTEST_SKIP() << "the system gave a port below 6000";
    const QByteArray overTcp = "127.0.0.1:" + QByteArray::number(port - 6000);
    struct Case {
        QByteArray display;
        QByteArray wayland;
        QString expected;
    };
    const Case cases[] = {
        {":9",
         {},
         QStringLiteral("the display :9 does not answer (%1/X9: No such file or directory)")
             .arg(dir)},
        {overTcp,
         {},
         QStringLiteral("the display %1 does not answer (127.0.0.1 port %2: Connection refused)")
             .arg(QString::fromLatin1(overTcp))
             .arg(port)},
        {"nonsense",
         {},
         QStringLiteral("the display nonsense is not a name this program can reach")},
        {"host::0", {}, QStringLiteral("the display host::0 is not a name this program can reach")},
        {{},
         "wayland-9",
         QStringLiteral("the Wayland display wayland-9 does not answer (%1/wayland-9: No such "
                        "file or directory)")
             .arg(dir)},
        {":9", "wayland-9",
         QStringLiteral("the Wayland display wayland-9 does not answer (%1/wayland-9: No such "
                        "file or directory); the display :9 does not answer (%1/X9: No such "
                        "file or directory)")
             .arg(dir)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        DisplayProbe::Environment e = env();
        e.display = c.display;
        e.waylandDisplay = c.wayland;
        EXPECT_EQ(DisplayProbe::unreachableReason(e), c.expected);
    }
}

TEST_F(DisplayProbeTest, WaylandIsFoundInTheRuntimeFolderOrByItsPath) {
    Listener wayland(path("wayland-5"));
    ASSERT_TRUE(wayland.ok());
    DisplayProbe::Environment e = env();
    e.display = ":9"; // dead, but Wayland answers
    e.waylandDisplay = "wayland-5";
    EXPECT_EQ(DisplayProbe::unreachableReason(e), QString());
    e.waylandDisplay = path("wayland-5");
    e.runtimeDir.clear();
    EXPECT_EQ(DisplayProbe::unreachableReason(e), QString());
    e.waylandDisplay = "wayland-5";
    EXPECT_EQ(DisplayProbe::unreachableReason(e),
              QStringLiteral("the Wayland display wayland-5 cannot be found: XDG_RUNTIME_DIR is "
                             "not set; the display :9 does not answer (%1/X9: No such file or "
                             "directory)")
                  .arg(m_dir.path()));
}

TEST_F(DisplayProbeTest, APlatformWithoutADisplayServerNeedsNoCheck) {
    for (const char* platform : {"offscreen", "vnc", "minimal"}) {
        DisplayProbe::Environment e = env();
        e.display = ":9";
        e.qpaPlatform = platform;
        EXPECT_EQ(DisplayProbe::unreachableReason(e), QString()) << platform;
    }
    for (const char* platform : {"xcb", "wayland;xcb"}) {
        DisplayProbe::Environment e = env();
        e.display = ":9";
        e.qpaPlatform = platform;
        EXPECT_NE(DisplayProbe::unreachableReason(e), QString()) << platform;
    }
}

TEST(DisplayProbeXvfb, ARealXServerAnswersAndStopsAnsweringWhenItEnds) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted(30000));
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(30000))
        number += server.readAllStandardOutput();
    number = number.trimmed();
    ASSERT_FALSE(number.isEmpty()) << server.readAllStandardError().constData();
    const QByteArray display = ':' + number;
    EXPECT_EQ(DisplayProbe::probeX11(display, QStringLiteral("/tmp/.X11-unix"), 3000), QString());
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(30000));
    EXPECT_TRUE(DisplayProbe::probeX11(display, QStringLiteral("/tmp/.X11-unix"), 3000)
                    .startsWith(QStringLiteral("the display %1 does not answer")
                                    .arg(QString::fromLatin1(display))));
}

} // namespace
