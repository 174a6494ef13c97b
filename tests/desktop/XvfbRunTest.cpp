// The built program on a real X display (Xvfb) with a tray host (trayer), against the
// reference service: auto-login at start, a second start that only raises the first, a
// signal that signs out before the program ends, and the tray icon coming back when the tray
// host restarts.
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

namespace {

// GET on 127.0.0.1:port; the body, or empty on failure.
QByteArray httpGet(quint16 port, const QByteArray& target) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    reply += socket.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : reply.mid(body + 4);
}

// One X connection for the checks below; null when the display cannot be reached.
using XConnection = std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)>;
XConnection connectTo(const QString& display) {
    XConnection x(xcb_connect(display.toLocal8Bit().constData(), nullptr), xcb_disconnect);
    if (xcb_connection_has_error(x.get()))
        x.reset();
    return x;
}

xcb_atom_t atomOf(xcb_connection_t* x, const QByteArray& name) {
    std::unique_ptr<xcb_intern_atom_reply_t, void (*)(void*)> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, name.size(), name.data()), nullptr), free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether a tray host owns the tray selection of the display's first screen.
bool trayHostRunning(const QString& display) {
    const XConnection x = connectTo(display);
    if (!x)
        return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, void (*)(void*)> owner(
        xcb_get_selection_owner_reply(
            x.get(), xcb_get_selection_owner(x.get(), atomOf(x.get(), "_NET_SYSTEM_TRAY_S0")),
            nullptr),
        free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

// Whether a window of process `pid` sits inside another window on `display`. The display has
// no window manager, so the program's own windows are children of the root; only a tray icon
// that the tray host has docked (reparented into its panel) is found deeper.
bool trayIconDocked(const QString& display, qint64 pid) {
    const XConnection x = connectTo(display);
    if (!x)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.get())).data->root;
    const xcb_atom_t pidAtom = atomOf(x.get(), "_NET_WM_PID");
    QList<xcb_window_t> pending{root};
    while (!pending.isEmpty()) {
        const xcb_window_t window = pending.takeLast();
        std::unique_ptr<xcb_query_tree_reply_t, void (*)(void*)> tree(
            xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), window), nullptr), free);
        if (!tree)
            continue; // gone meanwhile
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            pending << children[i];
            if (window == root)
                continue;
            std::unique_ptr<xcb_get_property_reply_t, void (*)(void*)> owner(
                xcb_get_property_reply(
                    x.get(),
                    xcb_get_property(x.get(), 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                    nullptr),
                free);
            if (owner && xcb_get_property_value_length(owner.get()) == 4 &&
                *static_cast<const quint32*>(xcb_get_property_value(owner.get())) == pid)
                return true;
        }
    }
    return false;
}

class XvfbRunTest : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
        if (xvfb.isEmpty() || trayer.isEmpty())
            GTEST_SKIP() << "Xvfb or trayer is not installed (Debian packages xvfb, trayer); "
                            "the desktop program cannot be run on a real display here";
        ASSERT_TRUE(tmp.isValid());
        for (const char* sub : {"home", "config", "runtime"})
            ASSERT_TRUE(QDir(tmp.path()).mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(tmp.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner |
                                                                           QFileDevice::WriteOwner |
                                                                           QFileDevice::ExeOwner);
        startService();
        startDisplay();
        env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // ctest's offscreen is for widget tests
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), tmp.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp.filePath(QStringLiteral("runtime")));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
        env.insert(QStringLiteral("ZARQ_ECHO_HOST"), host);
        env.insert(QStringLiteral("ZARQ_API_HOST"), host);
        // The update run at every start stays on this machine too (the service has no control
        // file: the run ends after its first fetch).
        env.insert(QStringLiteral("ZARQ_UPDATE_URL"), "http://" + host + "/update1.txt");
        startTrayHost();
    }

    void TearDown() override {
        for (QProcess* p : {&zarq, &tray, &server, &x}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(5000)) {
                    p->kill();
                    p->waitForFinished(5000);
                }
            }
        }
    }

    void startService() {
        server.setStandardOutputFile(tmp.filePath(QStringLiteral("events")));
        server.setStandardErrorFile(tmp.filePath(QStringLiteral("service.log")));
        server.start(QStringLiteral("python3"),
                     {QStringLiteral(ZARQ_SERVICE), QStringLiteral("--port"), QStringLiteral("0"),
                      QStringLiteral("--port-file"), tmp.filePath(QStringLiteral("port")),
                      QStringLiteral("--account"), QStringLiteral("alice.dyn.tervan.com=pw123"),
                      QStringLiteral("--events")});
        ASSERT_TRUE(server.waitForStarted(10000));
        QFile portFile(tmp.filePath(QStringLiteral("port")));
        ASSERT_TRUE(waitFor([&] { return portFile.exists() && portFile.size() > 0; }));
        ASSERT_TRUE(portFile.open(QIODevice::ReadOnly));
        port = quint16(portFile.readAll().trimmed().split(' ').first().toUInt());
        ASSERT_NE(port, 0);
    }

    void startDisplay() {
        // Xvfb picks a free display number itself and writes it to the given descriptor, so
        // tests running side by side never race for the same number. -noreset: by default the
        // server resets whenever its last client leaves, and a client connecting during that
        // reset (trayer, right after one of this test's own short probes) is turned away.
        x.setStandardErrorFile(tmp.filePath(QStringLiteral("xvfb.log")));
        x.start(xvfb,
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                 QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                 QStringLiteral("tcp"), QStringLiteral("-noreset")});
        ASSERT_TRUE(x.waitForStarted(10000));
        QByteArray number;
        ASSERT_TRUE(waitFor([&] {
            number += x.readAllStandardOutput();
            return number.contains('\n') || x.state() == QProcess::NotRunning;
        }));
        ASSERT_EQ(x.state(), QProcess::Running) << "Xvfb ended at once";
        display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        // Go on only once the display really answers.
        ASSERT_TRUE(waitFor([&] { return bool(connectTo(display)); }))
            << "display " << display.toStdString() << " does not answer";
    }

    // Starts trayer and waits until it holds the tray.
    void startTrayHost() {
        tray.setProcessEnvironment(env);
        tray.setStandardErrorFile(tmp.filePath(QStringLiteral("trayer.log")));
        tray.start(trayer, {});
        ASSERT_TRUE(tray.waitForStarted(10000));
        ASSERT_TRUE(waitFor(
            [&] { return trayHostRunning(display) || tray.state() == QProcess::NotRunning; }));
        ASSERT_EQ(tray.state(), QProcess::Running)
            << "trayer: " << fileText("trayer.log").constData();
    }

    int run(const QStringList& args, const QByteArray& input = {}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZARQ_PROGRAM), args);
        if (!p.waitForStarted(10000))
            return -1;
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return -2;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
    }

    QJsonObject status() {
        return QJsonDocument::fromJson(httpGet(port, "/status?format=json")).object();
    }
    QString stateOfAlice() {
        const QJsonArray names = status().value(QStringLiteral("names")).toArray();
        return names.isEmpty() ? QString()
                               : names[0].toObject().value(QStringLiteral("state")).toString();
    }
    QByteArray fileText(const char* name) {
        QFile f(tmp.filePath(QString::fromLatin1(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray events() { return fileText("events"); }

    QString xvfb, trayer, display;
    QTemporaryDir tmp;
    QProcess server, x, tray, zarq;
    QProcessEnvironment env;
    quint16 port = 0;
};

TEST_P(XvfbRunTest, AutoLogsInIgnoresASecondStartAndSignsOutOnTheSignal) {
    ASSERT_EQ(run({QStringLiteral("--set-login"), QStringLiteral("alice"),
                   QStringLiteral("--password-stdin"), QStringLiteral("--autologin")},
                  "pw123\n"),
              0);

    zarq.setProcessEnvironment(env);
    zarq.setStandardErrorFile(tmp.filePath(QStringLiteral("zarq.log")));
    zarq.start(QStringLiteral(ZARQ_PROGRAM), {});
    ASSERT_TRUE(zarq.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return stateOfAlice() == QStringLiteral("signed in"); }))
        << "status: " << QJsonDocument(status()).toJson().constData();
    // The entry starts the program the user starts, not the desktop companion it runs in.
    QFile entry(tmp.filePath(QStringLiteral("config/autostart/TervanZarq.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray entryText = entry.readAll();
    const QString exec = QString::fromUtf8(entryText)
                             .split(u'\n')
                             .filter(QRegularExpression(QStringLiteral("^Exec=")))
                             .value(0);
    EXPECT_EQ(exec.toStdString(),
              "Exec=" + QFileInfo(QStringLiteral(ZARQ_PROGRAM)).canonicalFilePath().toStdString());

    // A second start asks the first to come forward and ends, signing nothing in.
    EXPECT_EQ(run({}), 0);
    const QJsonObject requests = status().value(QStringLiteral("requests")).toObject();
    EXPECT_EQ(requests.value(QStringLiteral("echo")).toInt(), 1);
    EXPECT_EQ(requests.value(QStringLiteral("auth")).toInt(), 1);
    EXPECT_EQ(zarq.state(), QProcess::Running);

    ::kill(pid_t(zarq.processId()), GetParam());
    ASSERT_TRUE(zarq.waitForFinished(30000));
    EXPECT_EQ(zarq.exitStatus(), QProcess::NormalExit) << "ended through its event loop";
    EXPECT_EQ(zarq.exitCode(), 0);
    EXPECT_TRUE(events().contains("signout alice.dyn.tervan.com")) << events().constData();
    EXPECT_EQ(stateOfAlice(), QStringLiteral("signed out"));
}

// The tray host forgets its icons when it restarts; the program's icon is docked again without
// any action by the user.
TEST_F(XvfbRunTest, TheTrayIconComesBackWhenTheTrayHostRestarts) {
    ASSERT_TRUE(waitFor([&] { return trayHostRunning(display); }))
        << "trayer: " << fileText("trayer.log").constData()
        << "Xvfb: " << fileText("xvfb.log").constData();
    zarq.setProcessEnvironment(env);
    zarq.setStandardErrorFile(tmp.filePath(QStringLiteral("zarq.log")));
    zarq.start(QStringLiteral(ZARQ_PROGRAM), {});
    ASSERT_TRUE(zarq.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return trayIconDocked(display, zarq.processId()); }));

    tray.terminate();
    ASSERT_TRUE(tray.waitForFinished(10000));
    ASSERT_TRUE(waitFor([&] { return !trayIconDocked(display, zarq.processId()); }));

    startTrayHost();
    ASSERT_TRUE(waitFor([&] { return trayHostRunning(display); }));
    EXPECT_TRUE(waitFor([&] { return trayIconDocked(display, zarq.processId()); }));
    EXPECT_EQ(zarq.state(), QProcess::Running);
}

INSTANTIATE_TEST_SUITE_P(Signals, XvfbRunTest, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

} // namespace
