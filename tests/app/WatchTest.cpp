// zarq --headless reacting at once: to network changes made in a network namespace (root and
// `ip netns`; skipped otherwise) and to a resume from a stand-in logind on a private bus
// (dbus-daemon; skipped without it). The heartbeat period stays at its five minutes, so every
// request seen after the sign-in was caused by the event.
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");
const QString kService = QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-service");

int runQuiet(const QString& program, const QStringList& arguments, QByteArray* err = nullptr) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForStarted(30000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// One service event line: "<time> <word> <name> ...".
struct Event {
    QByteArray word;
    QList<QByteArray> rest;
};

class Watch : public ::testing::Test {
protected:
    void TearDown() override {
        for (QProcess* p : {&m_zarq, &m_service, &m_logind, &m_bus}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(10000);
            }
        }
        if (!m_netns.isEmpty()) {
            EXPECT_EQ(runQuiet(u"ip"_s, {u"netns"_s, u"delete"_s, m_netns}), 0);
        }
    }

    // Every program of the test runs through this: inside the namespace when there is one.
    void start(QProcess& p, const QString& program, const QStringList& arguments) {
        p.setProcessEnvironment(m_env);
        if (m_netns.isEmpty())
            p.start(program, arguments);
        else
            p.start(u"ip"_s, QStringList{u"netns"_s, u"exec"_s, m_netns, program} + arguments);
        ASSERT_TRUE(p.waitForStarted(30000));
    }
    void inside(const QStringList& command) {
        QByteArray err;
        ASSERT_EQ(runQuiet(u"ip"_s, QStringList{u"netns"_s, u"exec"_s, m_netns} + command, &err), 0)
            << command.join(u' ').toStdString() << ": " << err.constData();
    }

    void makeNamespace() {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to make a network namespace";
        if (runQuiet(u"ip"_s, {u"netns"_s, u"list"_s}) != 0)
            GTEST_SKIP() << "`ip netns` is not available";
        const QString name = QStringLiteral("zarqwatch%1x%2")
                                 .arg(::getpid())
                                 .arg(QRandomGenerator::global()->bounded(1000000));
        ASSERT_EQ(runQuiet(u"ip"_s, {u"netns"_s, u"add"_s, name}), 0);
        m_netns = name;
        inside({u"ip"_s, u"link"_s, u"set"_s, u"lo"_s, u"up"_s});
        inside({u"ip"_s, u"link"_s, u"add"_s, u"zq0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s,
                u"zq1"_s});
        inside({u"ip"_s, u"link"_s, u"set"_s, u"zq0"_s, u"up"_s});
        inside({u"ip"_s, u"link"_s, u"set"_s, u"zq1"_s, u"up"_s});
        inside({u"ip"_s, u"addr"_s, u"add"_s, u"192.0.2.10/24"_s, u"dev"_s, u"zq0"_s});
        inside({u"ip"_s, u"route"_s, u"add"_s, u"default"_s, u"via"_s, u"192.0.2.1"_s, u"dev"_s,
                u"zq0"_s});
    }

    // The service, the saved login (LAN option on) and the signed-in headless program.
    void signIn() {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        m_env.insert(u"XDG_CACHE_HOME"_s, m_dir.filePath(u"cache"_s));
        m_env.insert(u"XDG_RUNTIME_DIR"_s, m_dir.path());
        m_env.insert(u"HOME"_s, m_dir.path());
        m_env.remove(u"DISPLAY"_s);
        m_env.remove(u"WAYLAND_DISPLAY"_s);
        if (!m_busAddress.isEmpty())
            m_env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_busAddress);
        else // no system bus of the machine: only the test's own
            m_env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, u"unix:path=/nonexistent/zarq-test"_s);

        const QString portFile = m_dir.filePath(u"port"_s);
        QObject::connect(&m_service, &QProcess::readyReadStandardOutput, [this] {
            while (m_service.canReadLine()) {
                QList<QByteArray> words = m_service.readLine().trimmed().split(' ');
                if (words.size() >= 2)
                    m_events.append({words[1], words.mid(2)});
            }
        });
        start(m_service, u"/usr/bin/python3"_s,
              {kService, u"--port"_s, u"0"_s, u"--port-file"_s, portFile, u"--events"_s,
               u"--quiet"_s, u"--account"_s, u"demo.dyn.tervan.com=demo123"_s});
        ASSERT_TRUE(waitFor([&] { return QFile::exists(portFile); })) << "service did not start";
        QFile f(portFile);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        m_port = f.readAll().trimmed().split(' ').first();
        const QString host = u"127.0.0.1:"_s + QString::fromLatin1(m_port);
        m_env.insert(u"ZARQ_ECHO_HOST"_s, host);
        m_env.insert(u"ZARQ_API_HOST"_s, host);

        QProcess setLogin;
        start(setLogin, kZarq,
              {u"--set-login"_s, u"demo"_s, u"--password-stdin"_s, u"--autologin"_s, u"--lan"_s});
        setLogin.write("demo123\n");
        setLogin.closeWriteChannel();
        ASSERT_TRUE(setLogin.waitForFinished(30000));
        ASSERT_EQ(setLogin.exitCode(), 0) << setLogin.readAllStandardError().constData();

        m_zarq.setProcessChannelMode(QProcess::MergedChannels);
        start(m_zarq, kZarq, {u"--headless"_s});
        ASSERT_TRUE(waitFor([&] { return count("signin") == 1; })) << log();
        // The watchers are up once the program is signed in: they start before the sign-in.
    }

    qsizetype count(const QByteArray& word) const {
        qsizetype n = 0;
        for (const Event& e : m_events)
            n += e.word == word;
        return n;
    }
    const Event* last(const QByteArray& word) const {
        for (auto it = m_events.crbegin(); it != m_events.crend(); ++it)
            if (it->word == word)
                return &*it;
        return nullptr;
    }
    std::string log() {
        QByteArray all;
        for (const Event& e : m_events)
            all += e.word + ' ' + e.rest.join(' ') + '\n';
        return (all + "--- zarq:\n" + m_zarq.readAll()).toStdString();
    }
    QByteArray control(const QByteArray& query) {
        QProcess p;
        start(p, u"/usr/bin/python3"_s,
              {u"-c"_s,
               u"import sys,urllib.request;print(urllib.request.urlopen("
               u"'http://127.0.0.1:%1/control?'+sys.argv[1]).read().decode())"_s.arg(
                   QString::fromLatin1(m_port)),
               QString::fromLatin1(query)});
        p.waitForFinished(30000);
        return p.readAllStandardOutput().trimmed();
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_netns;
    QString m_busAddress;
    QByteArray m_port;
    QProcess m_service, m_zarq, m_logind, m_bus;
    QList<Event> m_events;
};

TEST_F(Watch, TheDefaultRouteMovesToAnotherAdapter) {
    makeNamespace();
    if (IsSkipped() || HasFatalFailure())
        return;
    signIn();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(last("signin")->rest.value(2), QByteArray("192.0.2.10"));

    inside({u"ip"_s, u"link"_s, u"add"_s, u"zq2"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s,
            u"zq3"_s});
    inside({u"ip"_s, u"link"_s, u"set"_s, u"zq2"_s, u"up"_s});
    inside({u"ip"_s, u"link"_s, u"set"_s, u"zq3"_s, u"up"_s});
    inside({u"ip"_s, u"addr"_s, u"add"_s, u"198.51.100.10/24"_s, u"dev"_s, u"zq2"_s});
    inside({u"ip"_s, u"route"_s, u"replace"_s, u"default"_s, u"via"_s, u"198.51.100.1"_s, u"dev"_s,
            u"zq2"_s});
    // A heartbeat carrying the new LAN address, long before the five-minute one.
    ASSERT_TRUE(waitFor([&] {
        const Event* e = last("heartbeat");
        return e && e->rest.value(1) == "198.51.100.10";
    })) << log();
    EXPECT_EQ(count("signin"), 1) << log(); // the public address did not change
}

TEST_F(Watch, ANewPublicAddressSignsInOnceMore) {
    makeNamespace();
    if (IsSkipped() || HasFatalFailure())
        return;
    signIn();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(control("public=198.51.100.77"), QByteArray("ok"));
    inside({u"ip"_s, u"addr"_s, u"add"_s, u"192.0.2.11/24"_s, u"dev"_s, u"zq0"_s});
    ASSERT_TRUE(waitFor([&] { return count("signin") == 2; })) << log();
    EXPECT_EQ(last("signin")->rest.value(1), QByteArray("198.51.100.77"));
    // Exactly one sign-in: nothing more follows while nothing changes.
    EXPECT_FALSE(waitFor([&] { return count("signin") > 2 || count("heartbeat") > 0; }, 3000))
        << log();
}

TEST_F(Watch, NothingIsSentWhileNothingChanges) {
    makeNamespace();
    if (IsSkipped() || HasFatalFailure())
        return;
    signIn();
    ASSERT_FALSE(HasFatalFailure());
    const qsizetype before = m_events.size();
    EXPECT_FALSE(waitFor([&] { return m_events.size() > before; }, 4000)) << log();
}

TEST_F(Watch, AResumeSendsTheHeartbeatAtOnce) {
    const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (daemon.isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    // A private bus that plays the system bus for the program and the stand-in logind.
    m_bus.start(daemon, {u"--session"_s, u"--nofork"_s, u"--print-address"_s,
                         u"--address=unix:path="_s + m_dir.filePath(u"bus"_s)});
    ASSERT_TRUE(m_bus.waitForStarted(30000));
    ASSERT_TRUE(waitFor([&] { return m_bus.canReadLine(); })) << "dbus-daemon did not start";
    m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());
    QProcessEnvironment busEnv = QProcessEnvironment::systemEnvironment();
    busEnv.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_busAddress);
    m_logind.setProcessEnvironment(busEnv);
    m_logind.start(QStringLiteral(STANDIN_LOGIND), QStringList{});
    ASSERT_TRUE(waitFor([&] { return m_logind.canReadLine(); }))
        << m_logind.readAllStandardError().constData();
    ASSERT_EQ(m_logind.readLine().trimmed(), QByteArray("ready"));

    signIn();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(count("heartbeat"), 0);
    m_logind.write("resume\n");
    ASSERT_TRUE(waitFor([&] { return count("heartbeat") == 1; })) << log();
    EXPECT_EQ(count("signin"), 1);
}

} // namespace
