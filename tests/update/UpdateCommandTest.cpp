#include "CoreTestHome.h"
#include "support/WaitFor.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");

// A loopback host that answers every request with one fixed reply and keeps the request lines.
class OneReplyHost {
public:
    explicit OneReplyHost(QByteArray reply) : FReply(std::move(reply)) {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            auto* buffer = new QByteArray;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                if (!buffer->contains("\r\n\r\n"))
                    return;
                requests.append(buffer->left(buffer->indexOf("\r\n")));
                buffer->clear();
                socket->write(FReply);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
        });
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/update1.txt").arg(server.serverPort());
    }
    QTcpServer server;
    QList<QByteArray> requests;

private:
    QByteArray FReply;
};

struct Outcome {
    int exitCode = -1;
    QStringList lines;
    QList<int> numbers;
};

Outcome runZarq(const CoreTestHome& home, const QStringList& args) {
    QProcess zarq;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.home());
    env.insert("XDG_CACHE_HOME", home.home() + "/.cache");
    env.insert("XDG_CONFIG_HOME", home.home() + "/.config");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("ZARQ_UPDATE_URL", "http://127.0.0.1:9/never-used.txt");
    zarq.setProcessEnvironment(env);
    zarq.start(kZarq, args);
    EXPECT_TRUE(zarq.waitForStarted());
    EXPECT_TRUE(waitFor([&] { return zarq.state() == QProcess::NotRunning; }));
    Outcome outcome;
    outcome.exitCode = zarq.exitCode();
    const QRegularExpression number(R"(^zarq: update \[(\d+)\] )");
    for (const QString& line : QString::fromLocal8Bit(zarq.readAllStandardError()).split('\n')) {
        // These runs opt in to unsigned updates; the warning that says so is checked with the
        // signed runs, the message sequence here.
        if (line.isEmpty() || line.startsWith("zarq: warning: this update is not authenticated"))
            continue;
        outcome.lines.append(line);
        const auto match = number.match(line);
        outcome.numbers.append(match.hasMatch() ? match.captured(1).toInt() : -1);
    }
    return outcome;
}

} // namespace

TEST(UpdateCommand, AMissingControlFileIsAFailure) {
    CoreTestHome home;
    OneReplyHost host("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    const Outcome out = runZarq(home, {"--update", "--update-url", host.url()});
    EXPECT_EQ(out.exitCode, 1);
    EXPECT_EQ(out.numbers,
              (QList<int>{968, 966, 967, 969, 970, 963, 918, 921, 915, 916, 925, 949, 949}))
        << out.lines.join('\n').toStdString();
    ASSERT_FALSE(out.lines.isEmpty());
    EXPECT_EQ(out.lines[0], "zarq: update [968] Start update : Non threaded update "
                            "--------------------------- (Status:0) (Error:0)");
    EXPECT_TRUE(out.lines.contains("zarq: update [916] Http status : 404 (Status:6) (Error:404)"));
    EXPECT_TRUE(out.lines.contains("zarq: update [915] Download : " + host.url() +
                                   " (Status:3) (Error:0)"));
    EXPECT_EQ(host.requests, QList<QByteArray>{"GET /update1.txt HTTP/1.1"});
}

TEST(UpdateCommand, NothingDueEndsWithoutFailure) {
    CoreTestHome home;
    const QByteArray control = "[files]\r\ncount=0\r\n";
    OneReplyHost host("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(control.size()) +
                      "\r\n\r\n" + control);
    const Outcome out = runZarq(home, {"--update", "--update-url", host.url()});
    EXPECT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_EQ(out.numbers, (QList<int>{968, 966, 967, 969, 970, 963, 918, 921, 915, 926, 949, 949}))
        << out.lines.join('\n').toStdString();
    // The control file is gone from the private folder afterwards.
    EXPECT_TRUE(QDir(home.home() + "/.cache/tervan/tmp").entryList(QDir::Files).isEmpty());
}

TEST(UpdateCommand, TheEnvironmentNamesTheUrlUnlessTheOptionDoes) {
    CoreTestHome home;
    const Outcome out = runZarq(home, {"--update"});
    EXPECT_EQ(out.exitCode, 1);
    EXPECT_TRUE(out.lines.contains(
        "zarq: update [915] Download : http://127.0.0.1:9/never-used.txt (Status:3) (Error:0)"))
        << out.lines.join('\n').toStdString();
    EXPECT_EQ(runZarq(home, {"--update", "--update-url", ""}).exitCode, 2);
}
