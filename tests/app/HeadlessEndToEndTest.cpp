// zarq --headless against tools/zarq-service, both as real processes on 127.0.0.1.
#include "support/WaitFor.h"
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");
const QString kService = QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-service");
const QString kName = QStringLiteral("demo.dyn.tervan.com");

class HeadlessEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kZarq)) << "build the zarq target first";
        startService({});
    }
    void TearDown() override {
        for (QProcess* p : {&m_zarq, &m_other, &m_service}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(10000);
            }
        }
    }

    void startService(const QStringList& extra) {
        const QString portFile = m_dir.filePath(QStringLiteral("port"));
        m_service.setProgram(QStringLiteral("python3"));
        m_service.setArguments(QStringList{kService, QStringLiteral("--port"), QStringLiteral("0"),
                                           QStringLiteral("--port-file"), portFile,
                                           QStringLiteral("--events"), QStringLiteral("--quiet"),
                                           QStringLiteral("--account"),
                                           kName + QStringLiteral("=demo123")} +
                               extra);
        QObject::connect(&m_service, &QProcess::readyReadStandardOutput, [this] {
            while (m_service.canReadLine()) {
                const QList<QByteArray> words = m_service.readLine().trimmed().split(' ');
                if (words.size() >= 2)
                    m_events.append(words[1]);
            }
        });
        m_service.start();
        ASSERT_TRUE(waitFor([&] { return QFile::exists(portFile); })) << "service did not start";
        QFile f(portFile);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        m_host = "127.0.0.1:" + f.readAll().trimmed().split(' ').first();
    }

    QProcessEnvironment env(const QString& configDir) const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
        e.insert(QStringLiteral("ZARQ_ECHO_HOST"), QString::fromLatin1(m_host));
        e.insert(QStringLiteral("ZARQ_API_HOST"), QString::fromLatin1(m_host));
        e.insert(QStringLiteral("ZARQ_TEST_HEARTBEAT_MS"), QStringLiteral("200"));
        e.insert(QStringLiteral("ZARQ_TEST_RETRY_MS"), QStringLiteral("200"));
        e.remove(QStringLiteral("DISPLAY"));
        e.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return e;
    }

    // Runs `zarq --set-login` with the password on standard input; returns its exit status.
    int setLogin(const QString& configDir, const QByteArray& password,
                 const QStringList& extra = {QStringLiteral("--autologin")}) {
        QProcess p;
        p.setProcessEnvironment(env(configDir));
        p.start(kZarq, QStringList{QStringLiteral("--set-login"), QStringLiteral("demo"),
                                   QStringLiteral("--password-stdin")} +
                           extra);
        p.write(password + "\n");
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(30000));
        m_lastOutput = p.readAllStandardError();
        return p.exitCode();
    }

    // The settings file of `configDir` with the line `from` replaced by `to` (as another program
    // might have edited it); returns the file's path.
    QString editSettings(const QString& configDir, const QByteArray& from, const QByteArray& to) {
        const QString file = configDir + QStringLiteral("/tervan/zarq.reg");
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        EXPECT_TRUE(text.contains(from)) << text.constData();
        text.replace(from, to);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        return file;
    }

    void startZarq(QProcess& p, const QString& configDir) {
        p.setProcessEnvironment(env(configDir));
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(kZarq, {QStringLiteral("--headless")});
        ASSERT_TRUE(p.waitForStarted(30000));
    }

    int finish(QProcess& p) {
        EXPECT_TRUE(waitFor([&] { return p.state() == QProcess::NotRunning; }));
        m_lastOutput = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    qsizetype count(const QByteArray& event) const { return m_events.count(event); }

    QTemporaryDir m_dir;
    QProcess m_service;
    QProcess m_zarq;
    QProcess m_other;
    QByteArray m_host;
    QList<QByteArray> m_events;
    QByteArray m_lastOutput;
};

} // namespace

TEST_F(HeadlessEndToEnd, SignsInSendsHeartbeatsAndSignsOutOnSigterm) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "demo123"), 0) << m_lastOutput.constData();
    startZarq(m_zarq, config);
    ASSERT_TRUE(waitFor([&] { return count("heartbeat") >= 2; })) << m_events.join(' ').constData();
    EXPECT_EQ(m_events.first(), QByteArray("signin"));
    ::kill(static_cast<pid_t>(m_zarq.processId()), SIGTERM);
    EXPECT_EQ(finish(m_zarq), 0) << m_lastOutput.constData();
    EXPECT_EQ(m_events.last(), QByteArray("signout"));
    EXPECT_TRUE(m_lastOutput.contains("zarq: signed in: demo.dyn.tervan.com -> 127.0.0.1"))
        << m_lastOutput.constData();
    EXPECT_TRUE(m_lastOutput.contains("zarq: signed out"));
}

TEST_F(HeadlessEndToEnd, SigintSignsOutToo) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "demo123"), 0);
    startZarq(m_zarq, config);
    ASSERT_TRUE(waitFor([&] { return count("signin") == 1; }));
    ::kill(static_cast<pid_t>(m_zarq.processId()), SIGINT);
    EXPECT_EQ(finish(m_zarq), 0) << m_lastOutput.constData();
    EXPECT_TRUE(waitFor([&] { return count("signout") == 1; }));
}

TEST_F(HeadlessEndToEnd, WrongPasswordEndsWithItsOwnStatus) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "not-the-password"), 0);
    startZarq(m_zarq, config);
    EXPECT_EQ(finish(m_zarq), 3) << m_lastOutput.constData();
    EXPECT_TRUE(m_lastOutput.contains("wrong name or password"));
    EXPECT_EQ(count("refused"), 1); // no retries with bad credentials
}

TEST_F(HeadlessEndToEnd, SignedInElsewhereEndsTheOlderCopy) {
    const QString a = m_dir.filePath(QStringLiteral("a"));
    const QString b = m_dir.filePath(QStringLiteral("b"));
    ASSERT_EQ(setLogin(a, "demo123"), 0);
    ASSERT_EQ(setLogin(b, "demo123"), 0);
    startZarq(m_zarq, a);
    ASSERT_TRUE(waitFor([&] { return count("signin") == 1; }));
    startZarq(m_other, b);
    EXPECT_EQ(finish(m_zarq), 4) << m_lastOutput.constData();
    EXPECT_TRUE(m_lastOutput.contains("signed in from another place"));
    ::kill(static_cast<pid_t>(m_other.processId()), SIGTERM);
    EXPECT_EQ(finish(m_other), 0);
}

TEST_F(HeadlessEndToEnd, NetworkErrorIsRetriedUntilTheServiceAnswers) {
    QProcess control;
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "demo123"), 0);
    // The service answers "2" (unavailable) until the fault is lifted.
    auto setFault = [&](const char* query) {
        QProcess curl;
        curl.start(
            QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import urllib.request,sys;urllib.request.urlopen(sys.argv[1]).read()"),
             QStringLiteral("http://%1/control?%2")
                 .arg(QString::fromLatin1(m_host), QLatin1String(query))});
        ASSERT_TRUE(curl.waitForFinished(30000));
        ASSERT_EQ(curl.exitCode(), 0);
    };
    setFault("fault=auth2");
    startZarq(m_zarq, config);
    QByteArray seen;
    ASSERT_TRUE(waitFor([&] {
        seen += m_zarq.readAllStandardError();
        return seen.count("trying again") >= 2;
    })) << seen.constData();
    EXPECT_TRUE(seen.contains("trying again in 0.2 s"));
    EXPECT_TRUE(seen.contains("trying again in 0.4 s")); // the delay grows
    setFault("fault=none");
    ASSERT_TRUE(waitFor([&] { return count("signin") == 1; }));
    ::kill(static_cast<pid_t>(m_zarq.processId()), SIGTERM);
    EXPECT_EQ(finish(m_zarq), 0);
}

TEST_F(HeadlessEndToEnd, NothingSavedEndsWithNotConfigured) {
    startZarq(m_zarq, m_dir.filePath(QStringLiteral("empty")));
    EXPECT_EQ(finish(m_zarq), 6) << m_lastOutput.constData();
    EXPECT_TRUE(m_lastOutput.contains("--set-login"));
}

TEST_F(HeadlessEndToEnd, CorruptSettingsAreReportedAndKept) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "demo123"), 0);
    QFile f(config + QStringLiteral("/tervan/zarq.reg"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("\"broken\n");
    f.close();
    startZarq(m_zarq, config);
    EXPECT_EQ(finish(m_zarq), 1);
    EXPECT_TRUE(m_lastOutput.contains("zarq.reg")) << m_lastOutput.constData();
    EXPECT_TRUE(m_lastOutput.contains("line 9")) << m_lastOutput.constData();
    const QStringList bad = QDir(config + QStringLiteral("/tervan"))
                                .entryList({QStringLiteral("zarq.reg.*.bad")}, QDir::Files);
    ASSERT_EQ(bad.size(), 1);
    EXPECT_EQ(count("signin"), 0);
}

TEST_F(HeadlessEndToEnd, SetLoginRefusesBadInput) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    EXPECT_EQ(setLogin(config, QByteArray(33, 'x')), 2);
    EXPECT_TRUE(m_lastOutput.contains("longer than 32"));
    EXPECT_EQ(setLogin(config, "pw", {QStringLiteral("--zone"), QStringLiteral("elsewhere.org")}),
              2);
    QFile reg(config + QStringLiteral("/tervan/zarq.reg"));
    EXPECT_FALSE(reg.open(QIODevice::ReadOnly) &&
                 reg.readAll().contains("loginname")); // nothing saved
    QProcess p;
    p.start(kZarq,
            {QStringLiteral("--set-login"), QStringLiteral("x"), QStringLiteral("--password")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2); // a password option on the command line does not exist
}

TEST_F(HeadlessEndToEnd, CommandsThatNeedNoWindowNeverReachForTheDisplay) {
    // A display that cannot be reached (a stale DISPLAY in an ssh session): opening a window
    // there aborts, so every spelling of these options must keep away from it.
    const QString config = m_dir.filePath(QStringLiteral("a"));
    QProcessEnvironment e = env(config);
    e.remove(QStringLiteral("QT_QPA_PLATFORM"));
    e.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4242"));
    ASSERT_FALSE(QFile::exists(QStringLiteral("/tmp/.X11-unix/X4242")));
    const QStringList commands[] = {
        {QStringLiteral("--set-login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")},
        {QStringLiteral("--set-login=demo"), QStringLiteral("--password-stdin")},
        {QStringLiteral("-set-login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")},
        {QStringLiteral("--help")},
        {QStringLiteral("-help")},
        {QStringLiteral("-h")},
        {QStringLiteral("--version")},
    };
    for (const QStringList& args : commands) {
        QProcess p;
        p.setProcessEnvironment(e);
        p.start(kZarq, args);
        p.write("demo123\n");
        p.closeWriteChannel();
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 0) << args.join(' ').toStdString() << "\n"
                                   << p.readAllStandardError().constData();
    }
}

TEST_F(HeadlessEndToEnd, ADisplayThatDoesNotAnswerGivesTheHeadlessProgram) {
    // Nothing listens on these: X display 4243 (no socket file, no abstract socket, no TCP
    // port 10243 in this test machine) and a Wayland socket name in an empty runtime folder.
    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_FALSE(QFile::exists(QStringLiteral("/tmp/.X11-unix/X4243")));
    struct Case {
        const char* display;
        const char* wayland;
        QByteArray expected;
    };
    const Case cases[] = {
        {":4243", nullptr,
         "zarq: the display :4243 does not answer (/tmp/.X11-unix/X4243: No such file or "
         "directory); running headless\n"},
        {nullptr, "wayland-zq",
         "zarq: the Wayland display wayland-zq does not answer (" + runtime.toUtf8() +
             "/wayland-zq: No such file or directory); running headless\n"},
        {"unix:4243.0", "wayland-zq",
         "zarq: the Wayland display wayland-zq does not answer (" + runtime.toUtf8() +
             "/wayland-zq: No such file or directory); the display unix:4243.0 does not answer "
             "(/tmp/.X11-unix/X4243: No such file or directory); running headless\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.constData());
        QProcessEnvironment e = env(m_dir.filePath(QStringLiteral("empty")));
        e.remove(QStringLiteral("QT_QPA_PLATFORM"));
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        if (c.display)
            e.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(c.display));
        if (c.wayland)
            e.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromLatin1(c.wayland));
        m_zarq.setProcessEnvironment(e);
        m_zarq.start(kZarq, QStringList());
        ASSERT_TRUE(m_zarq.waitForStarted(30000));
        // The headless program, which finds no saved login and says so.
        EXPECT_EQ(finish(m_zarq), 6) << m_lastOutput.constData();
        EXPECT_TRUE(m_lastOutput.startsWith(c.expected)) << m_lastOutput.constData();
        EXPECT_TRUE(m_lastOutput.contains("no name is saved")) << m_lastOutput.constData();
    }
}

TEST_F(HeadlessEndToEnd, AValueOfTheWrongTypeIsExplainedWithWhatToDo) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "demo123"), 0);
    const QString file =
        editSettings(config, "\"autologin\"=dword:00000001", "\"autologin\"=\"yes\"");

    startZarq(m_zarq, config);
    EXPECT_EQ(finish(m_zarq), 1);
    const QByteArray path = file.toUtf8();
    EXPECT_EQ(m_lastOutput,
              "zarq: Invalid data type for 'autologin'\n"
              "zarq: the value 'autologin' in " +
                  path +
                  " is not of the type the program stores there; the name demo and the key "
                  "were read but are not used, so nothing is signed in\n"
                  "zarq: fix or remove the value 'autologin' in that file, or save the login "
                  "again with \"zarq --set-login NAME --password-stdin\" (which writes every "
                  "value anew)\n");
    EXPECT_EQ(count("signin"), 0);

    // The advice holds: saving the login again makes it work.
    ASSERT_EQ(setLogin(config, "demo123"), 0) << m_lastOutput.constData();
    startZarq(m_zarq, config);
    ASSERT_TRUE(waitFor([&] { return count("signin") == 1; }));
    ::kill(static_cast<pid_t>(m_zarq.processId()), SIGTERM);
    EXPECT_EQ(finish(m_zarq), 0);
}

TEST_F(HeadlessEndToEnd, SetLoginRefusesANameThatWouldBreakTheRequest) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    struct Case {
        QString name;
        QByteArray why;
    };
    const Case cases[] = {
        {QStringLiteral("x\r\nHost: evil"),
         "the name \"x\\r\\nhost: evil\" cannot be used: it holds a control character (U+000D)"},
        {QStringLiteral("de mo"), "the name \"de mo\" cannot be used: it holds a blank"},
        {QStringLiteral("demo&inip=1"), "it holds \"&\""},
        {QStringLiteral("demo?"), "it holds \"?\""},
        {QStringLiteral("demo#x"), "it holds \"#\""},
        {QStringLiteral("../demo"), "it holds \"/\""},
        {QStringLiteral("\tdemo"), "it holds a control character (U+0009)"},
        {QStringLiteral("demo\u00a0"), "it holds a blank (U+00A0)"},
        {QStringLiteral("demo\U0001F600"),
         "it holds a character the request cannot carry (U+1F600)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why.constData());
        QProcess p;
        p.setProcessEnvironment(env(config));
        p.start(kZarq, {QStringLiteral("--set-login"), c.name, QStringLiteral("--password-stdin")});
        p.write("demo123\n");
        p.closeWriteChannel();
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(err.contains(c.why)) << err.constData();
        EXPECT_TRUE(err.contains("which would break the sign-in request")) << err.constData();
        EXPECT_FALSE(QFile::exists(config + QStringLiteral("/tervan/zarq.reg")));
    }
    // Letters, digits, "-", "_", "." and Chinese characters are fine.
    QProcess p;
    p.setProcessEnvironment(env(config));
    p.start(kZarq, {QStringLiteral("--set-login"), QStringLiteral("my-home_1.张三"),
                    QStringLiteral("--password-stdin")});
    p.write("demo123\n");
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
}

TEST_F(HeadlessEndToEnd, ASavedNameThatWouldBreakTheRequestIsReportedNotSent) {
    const QString config = m_dir.filePath(QStringLiteral("a"));
    ASSERT_EQ(setLogin(config, "demo123"), 0);
    editSettings(config, "\"loginname\"=\"demo\"", "\"loginname\"=\"demo&inip=6.6.6.6\"");

    startZarq(m_zarq, config);
    EXPECT_EQ(finish(m_zarq), 1);
    EXPECT_TRUE(m_lastOutput.startsWith(
        "zarq: the saved name \"demo&inip=6.6.6.6\" cannot be used: it holds \"&\", which would "
        "break the sign-in request; nothing is sent\n"))
        << m_lastOutput.constData();
    EXPECT_TRUE(m_lastOutput.contains("--set-login NAME")) << m_lastOutput.constData();
    EXPECT_FALSE(m_lastOutput.contains("signing in")) << m_lastOutput.constData();
    EXPECT_EQ(count("signin"), 0);
}

TEST_F(HeadlessEndToEnd, VersionIsTheProjectVersionOfBothPrograms) {
    // The project version as the build's source states it, in the four parts an update
    // compares (missing parts are 0).
    QFile lists(QStringLiteral(ZARQ_SOURCE_DIR "/CMakeLists.txt"));
    ASSERT_TRUE(lists.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("project\\(Zarq VERSION ([0-9.]+)"))
            .match(QString::fromUtf8(lists.readAll()));
    ASSERT_TRUE(m.hasMatch());
    QStringList parts = m.captured(1).split(QLatin1Char('.'));
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    const QByteArray expected = "zarq " + parts.join(QLatin1Char('.')).toLatin1() + "\n";
    for (const QString& program :
         {kZarq, QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq-desktop")}) {
        QProcess p;
        p.setProcessEnvironment(env(m_dir.filePath(QStringLiteral("a"))));
        p.start(program, {QStringLiteral("--version")});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << program.toStdString();
        EXPECT_EQ(p.readAllStandardOutput(), expected) << program.toStdString();
    }
}
