#pragma once

// What the fault rows share: a temporary home whose HOME and XDG folders the programs run in,
// the reference service on 127.0.0.1, and runs of the built zarq as real processes.

#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faults {

const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");
const QString kPython = QStringLiteral(ZARQ_PYTHON);
const QString kName = QStringLiteral("demo.dyn.tervan.com");

// A fault switch of a reference host: GET `target` on 127.0.0.1:`port`; true when the host
// answered that it took it.
inline bool sendControl(int port, const QByteArray& target) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!s.waitForConnected(10000))
        return false;
    s.write("GET " + target + " HTTP/1.0\r\n\r\n");
    QByteArray reply;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(10000))
        reply += s.readAll();
    reply += s.readAll();
    return reply.startsWith("HTTP/1.0 200") && reply.endsWith("ok\n");
}

inline bool isRoot() {
    return ::geteuid() == 0;
}

// A temporary folder holding the home (with its XDG folders) and, beside it, a work folder for
// the test's own files. Nothing of the machine's real folders is used.
class FaultHome {
public:
    FaultHome() {
        EXPECT_TRUE(m_dir.isValid());
        for (const char* sub :
             {"home/.config", "home/.cache", "home/.local/share", "home/run", "work"})
            QDir().mkpath(m_dir.filePath(QLatin1String(sub)));
        ::chmod(QFile::encodeName(home() + QStringLiteral("/run")).constData(), 0700);
    }
    QString root() const { return m_dir.path(); }
    QString home() const { return m_dir.filePath(QStringLiteral("home")); }
    QString work() const { return m_dir.filePath(QStringLiteral("work")); }
    QString config() const { return home() + QStringLiteral("/.config"); }
    QString settings() const { return config() + QStringLiteral("/tervan/zarq.reg"); }

    // Every entry below the home and its XDG folders, for a before/after comparison.
    QString listing() const { return testfiles::filesBelow(home()); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home() + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home() + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home() + QStringLiteral("/run"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

private:
    QTemporaryDir m_dir;
};

// What a finished run of zarq left: its exit status (-1 when it crashed or did not end) and
// its standard error.
struct Finished {
    int exitCode = -1;
    QByteArray err;
};

// Runs `program args` to its end with `input` on standard input, in `folder` when one is given.
inline Finished runToEnd(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env, const QByteArray& input = {},
                         int ms = 60000, const QString& folder = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.start(program, args);
    Finished f;
    if (!p.waitForStarted(30000))
        return f;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(10000);
    }
    f.err = p.readAllStandardError();
    if (p.exitStatus() == QProcess::NormalExit)
        f.exitCode = p.exitCode();
    return f;
}

// `zarq --set-login demo --password-stdin --autologin` with `password`.
inline Finished setLogin(const QProcessEnvironment& env, const QByteArray& password,
                         const QString& name = QStringLiteral("demo")) {
    return runToEnd(kZarq,
                    {QStringLiteral("--set-login"), name, QStringLiteral("--password-stdin"),
                     QStringLiteral("--autologin")},
                    env, password + '\n');
}

// tools/zarq-service on 127.0.0.1 with the demo account, writing one line per event.
class Service {
public:
    explicit Service(QString work) : m_work(std::move(work)) {}
    ~Service() { stop(); }

    // Listens on `port` (0: any free one); true once it does.
    bool start(int port = 0) {
        const QString portFile = m_work + QStringLiteral("/service.port");
        QFile::remove(portFile);
        QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine()) {
                const QList<QByteArray> words = m_process.readLine().trimmed().split(' ');
                if (words.size() >= 2)
                    m_events.append(words[1]);
            }
        });
        m_process.start(kPython, {QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-service"),
                                  QStringLiteral("--port"), QString::number(port),
                                  QStringLiteral("--port-file"), portFile,
                                  QStringLiteral("--events"), QStringLiteral("--quiet"),
                                  QStringLiteral("--account"), kName + QStringLiteral("=demo123")});
        if (!waitFor([&] {
                return QFile::exists(portFile) || m_process.state() == QProcess::NotRunning;
            }) ||
            !QFile::exists(portFile))
            return false;
        m_port = testfiles::readFile(portFile).trimmed().split(' ').first().toInt();
        return m_port > 0;
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    int port() const { return m_port; }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(m_port); }
    qsizetype count(const QByteArray& event) const { return m_events.count(event); }

    // Switches a fault ("fault=stall&target=echo"); true when the service took it.
    bool control(const QByteArray& query) const { return sendControl(m_port, "/control?" + query); }

private:
    QString m_work;
    QProcess m_process;
    int m_port = 0;
    QList<QByteArray> m_events;
};

} // namespace faults
