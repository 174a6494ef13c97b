#include "XvfbFixture.h"

#include "support/WaitFor.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpSocket>

namespace zarq::test {

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

} // namespace

void XvfbFixture::SetUp() {
    xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (xvfb.isEmpty() || (wantsTrayHost() && trayer.isEmpty()))
        GTEST_SKIP() << "Xvfb or trayer is not installed (Debian packages xvfb, trayer); "
                        "the desktop program cannot be run on a real display here";
    ASSERT_TRUE(tmp.isValid());
    for (const char* sub : {"home", "config", "runtime"})
        ASSERT_TRUE(QDir(tmp.path()).mkpath(QString::fromLatin1(sub)));
    QFile::setPermissions(tmp.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    startService();
    startDisplay();
    env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // ctest's offscreen is for widget tests
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    env.remove(QStringLiteral("DESKTOP_SESSION"));
    env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("HOME"), tmp.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp.filePath(QStringLiteral("runtime")));
    // A session bus that does not exist: no tray of the machine's own desktop can interfere.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + tmp.filePath(QStringLiteral("no-bus")));
    const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
    env.insert(QStringLiteral("ZARQ_ECHO_HOST"), host);
    env.insert(QStringLiteral("ZARQ_API_HOST"), host);
    // The update run at every start stays on this machine too (the service has no control
    // file: the run ends after its first fetch).
    env.insert(QStringLiteral("ZARQ_UPDATE_URL"), "http://" + host + "/update1.txt");
    if (wantsTrayHost())
        startTrayHost();
}

void XvfbFixture::TearDown() {
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

void XvfbFixture::startService() {
    server.setStandardOutputFile(tmp.filePath(QStringLiteral("events")));
    server.setStandardErrorFile(tmp.filePath(QStringLiteral("service.log")));
    server.start(QStringLiteral(ZARQ_PYTHON),
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

void XvfbFixture::startDisplay() {
    // Xvfb picks a free display number itself and writes it to the given descriptor, so
    // tests running side by side never race for the same number. -noreset: by default the
    // server resets whenever its last client leaves, and a client connecting during that
    // reset (trayer, right after one of this test's own short probes) is turned away.
    x.setStandardErrorFile(tmp.filePath(QStringLiteral("xvfb.log")));
    x.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
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

void XvfbFixture::startTrayHost() {
    tray.setProcessEnvironment(env);
    tray.setStandardErrorFile(tmp.filePath(QStringLiteral("trayer.log")));
    tray.start(trayer, {});
    ASSERT_TRUE(tray.waitForStarted(10000));
    ASSERT_TRUE(
        waitFor([&] { return trayHostRunning(display) || tray.state() == QProcess::NotRunning; }));
    ASSERT_EQ(tray.state(), QProcess::Running) << "trayer: " << fileText("trayer.log").constData();
}

void XvfbFixture::startProgram(const QStringList& args) {
    zarq.setProcessEnvironment(env);
    zarq.setStandardErrorFile(tmp.filePath(QStringLiteral("zarq.log")));
    zarq.start(QStringLiteral(ZARQ_PROGRAM), args);
    ASSERT_TRUE(zarq.waitForStarted(10000));
}

int XvfbFixture::run(const QStringList& args, const QByteArray& input) {
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

void XvfbFixture::saveLogin(const QByteArray& password, bool autologin) {
    ASSERT_EQ(run({QStringLiteral("--set-login"), QStringLiteral("alice"),
                   QStringLiteral("--password-stdin"),
                   autologin ? QStringLiteral("--autologin") : QStringLiteral("--no-autologin")},
                  password + '\n'),
              0);
}

bool XvfbFixture::xdotool(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool XvfbFixture::closeWindow(const QString& title, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        const XWindow w = window(title);
        if (w.id == XCB_WINDOW_NONE || !w.viewable)
            return true;
        requestClose(display, w.id);
        waitFor([&] { return !window(title).viewable; }, 1000);
    }
    return !window(title).viewable;
}

QJsonObject XvfbFixture::status() {
    return QJsonDocument::fromJson(httpGet(port, "/status?format=json")).object();
}

QString XvfbFixture::stateOfAlice() {
    const QJsonArray names = status().value(QStringLiteral("names")).toArray();
    return names.isEmpty() ? QString()
                           : names[0].toObject().value(QStringLiteral("state")).toString();
}

QByteArray XvfbFixture::fileText(const char* name) {
    QFile f(tmp.filePath(QString::fromLatin1(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace zarq::test
