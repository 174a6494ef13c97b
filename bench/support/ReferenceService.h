#pragma once

// What the benchmarks that run the real program against tools/zarq-service share: starting
// the service on 127.0.0.1 with one account and collecting the times at which it sees a
// sign-in, and saving that account's login with `zarq --set-login`.
// Needs ZARQ_SOURCE_DIR defined by the build.

#include "support/ProcessProbe.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace bench {

class ReferenceService {
public:
    ReferenceService() {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine()) {
                const QList<QByteArray> w = m_process.readLine().trimmed().split(' ');
                if (w.size() >= 2 && w[1] == "signin")
                    signins.append(w[0].toDouble());
            }
        });
    }
    ~ReferenceService() { stop(); }
    ReferenceService(const ReferenceService&) = delete;
    ReferenceService& operator=(const ReferenceService&) = delete;

    // Starts the service with `account` ("full.name=password"), writing its port to
    // `portFile`. False, with a line on standard error, when it does not come up.
    bool start(const QString& portFile, const QString& account) {
        m_process.start(QStringLiteral("python3"),
                        {QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-service"),
                         QStringLiteral("--port"), QStringLiteral("0"),
                         QStringLiteral("--port-file"), portFile, QStringLiteral("--events"),
                         QStringLiteral("--quiet"), QStringLiteral("--account"), account});
        QFile pf(portFile);
        if (!waitFor([&] { return QFile::exists(portFile); }, 30000) ||
            !pf.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "service did not start\n");
            return false;
        }
        m_host = QStringLiteral("127.0.0.1:") +
                 QString::fromLatin1(pf.readAll().trimmed().split(' ').first());
        return true;
    }

    // "127.0.0.1:<port>", for ZARQ_ECHO_HOST and ZARQ_API_HOST.
    QString host() const { return m_host; }

    void stop() { bench::stopProcess(m_process); }

    // Monotonic times (seconds, as monotonicNow()) at which the service accepted a sign-in.
    QList<double> signins;

private:
    QProcess m_process;
    QString m_host;
};

// `zarq --set-login NAME --password-stdin --autologin` in `env`. False, with the program's
// complaint on standard error, when it fails.
inline bool setLogin(const QString& zarq, const QProcessEnvironment& env, const QString& name,
                     const QByteArray& password) {
    QProcess set;
    set.setProcessEnvironment(env);
    set.start(zarq, {QStringLiteral("--set-login"), name, QStringLiteral("--password-stdin"),
                     QStringLiteral("--autologin")});
    set.write(password + '\n');
    set.closeWriteChannel();
    if (!set.waitForFinished(30000) || set.exitStatus() != QProcess::NormalExit ||
        set.exitCode() != 0) {
        std::fprintf(stderr, "--set-login failed: %s\n", set.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace bench
