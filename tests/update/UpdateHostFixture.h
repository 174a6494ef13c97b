#pragma once

// What the transfer and run tests share: a private home for each test, the reference update
// host (tools/zarq-update-host), the FTP fixture and a self-signed certificate, all on
// 127.0.0.1; a TAutoUpdate that records its messages; and a user interface with set answers.
// Needs ZARQ_SOURCE_DIR and ZARQ_PYTHON defined by the build.

#include "support/WaitFor.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateUserInterface.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace updatetest {

// HOME and the XDG folders point into a fresh temporary folder while the object lives, so no
// test reads or writes the machine's real ones.
class TempHome {
public:
    TempHome() {
        for (const char* name : kNames) {
            m_saved.append(qgetenv(name));
            m_had.append(qEnvironmentVariableIsSet(name));
        }
        qputenv("HOME", m_dir.path().toUtf8());
        qputenv("XDG_CACHE_HOME", (m_dir.path() + "/cache").toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toUtf8());
    }
    ~TempHome() {
        for (int i = 0; i < int(std::size(kNames)); ++i) {
            if (m_had[i])
                qputenv(kNames[i], m_saved[i]);
            else
                qunsetenv(kNames[i]);
        }
    }
    QString path() const { return m_dir.path(); }
    // The private staging folder of the update, with its trailing "/".
    QString staging() const { return m_dir.path() + "/cache/tervan/tmp/"; }
    // A new folder under the home, with a trailing "/".
    QString folder(const QString& name) const {
        QDir().mkpath(m_dir.path() + "/" + name);
        return m_dir.path() + "/" + name + "/";
    }
    // The names in the staging folder (none when it does not exist).
    QStringList stagingFiles() const {
        return QDir(staging()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

private:
    static constexpr const char* kNames[] = {"HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME",
                                             "XDG_DATA_HOME"};
    QTemporaryDir m_dir;
    QList<QByteArray> m_saved;
    QList<bool> m_had;
};

inline void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(content);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Bytes that differ at every position of a block, so a lost or doubled block shows.
inline QByteArray patternBytes(qsizetype size, int seed = 7) {
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        data[i] = char(x >> 24);
    }
    return data;
}

// A Python fixture process that writes its port to a file once it listens.
class FixtureProcess {
public:
    ~FixtureProcess() { stop(); }
    bool start(const QStringList& args, const QString& portFile) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(ZARQ_PYTHON), args);
        if (!m_process.waitForStarted(30000))
            return false;
        if (!waitFor(
                [&] {
                    return QFile::exists(portFile) || m_process.state() == QProcess::NotRunning;
                },
                30000) ||
            !QFile::exists(portFile))
            return false;
        port = readFile(portFile).trimmed().toInt();
        return port > 0;
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    int port = 0;

private:
    QProcess m_process;
};

// tools/zarq-update-host serving `root` (a folder of the test's home).
class UpdateHost {
public:
    explicit UpdateHost(const QString& work) : m_work(work) {}
    bool start(const QString& root, const QStringList& extra = {}) {
        QFile::remove(log());
        QFile::remove(m_work + "host.port");
        const QStringList args{QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-update-host"),
                               "--update-root",
                               root,
                               "--port",
                               "0",
                               "--port-file",
                               m_work + "host.port",
                               "--request-log",
                               log(),
                               "--quiet"};
        m_tls = extra.contains(QStringLiteral("--tls-cert"));
        return m_process.start(args + extra, m_work + "host.port");
    }
    // The same host over HTTPS, with a self-signed certificate for 127.0.0.1 made in its work
    // folder (certificate()).
    bool startTls(const QString& root);
    QString certificate() const { return m_work + "cert.pem"; }
    QString url(const QString& path, const QString& scheme = QStringLiteral("http")) const {
        return QStringLiteral("%1://127.0.0.1:%2/%3").arg(scheme).arg(m_process.port).arg(path);
    }
    // Switches a fault ("fault=close&path=/a.bin&after=100"); true when the host took it.
    bool control(const QByteArray& query) const {
        CURL* easy = curl_easy_init();
        const QByteArray u =
            url("_control?", m_tls ? QStringLiteral("https") : QStringLiteral("http")).toUtf8() +
            query;
        curl_easy_setopt(easy, CURLOPT_URL, u.constData());
        // The test's own host on loopback, with the certificate the test made.
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(
            easy, CURLOPT_WRITEFUNCTION, +[](char*, size_t s, size_t n, void*) { return s * n; });
        long code = 0;
        const bool ok = curl_easy_perform(easy) == CURLE_OK &&
                        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK &&
                        code == 200;
        curl_easy_cleanup(easy);
        return ok;
    }
    // The requests that arrived so far, in their order (path, headers; status and bytes sent
    // once the reply ended).
    QList<QJsonObject> requests() const {
        QMap<int, QJsonObject> bySeq;
        for (const QByteArray& line : readFile(log()).split('\n')) {
            if (!line.startsWith('{'))
                continue;
            const QJsonObject item = QJsonDocument::fromJson(line).object();
            QJsonObject& entry = bySeq[item["seq"].toInt()];
            for (auto it = item.begin(); it != item.end(); ++it)
                entry.insert(it.key(), it.value());
        }
        return bySeq.values();
    }
    QStringList requestedPaths() const {
        QStringList paths;
        for (const QJsonObject& r : requests())
            paths.append(r["path"].toString());
        return paths;
    }
    void stop() { m_process.stop(); }

private:
    QString log() const { return m_work + "requests.log"; }
    QString m_work;
    bool m_tls = false;
    FixtureProcess m_process;
};

// tests/update/ftp_fixture.py serving `root`, anonymous or with a login.
class FtpServer {
public:
    bool start(const QString& root, const QString& work, const QStringList& login = {}) {
        const QStringList args{QStringLiteral(ZARQ_SOURCE_DIR "/tests/update/ftp_fixture.py"), root,
                               work + "ftp.port"};
        return m_process.start(args + login, work + "ftp.port");
    }
    int port() const { return m_process.port; }

private:
    FixtureProcess m_process;
};

// A self-signed certificate for 127.0.0.1 in `dir` (cert.pem, key.pem); false when openssl
// failed.
inline bool makeSelfSignedCertificate(const QString& dir) {
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                   dir + "key.pem", "-out", dir + "cert.pem"});
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

inline bool UpdateHost::startTls(const QString& root) {
    return makeSelfSignedCertificate(m_work) &&
           start(root, {"--tls-cert", m_work + "cert.pem", "--tls-key", m_work + "key.pem"});
}

struct Message {
    int number;
    QString text;
    int status;
    int error;
};

// A user interface whose answers a test sets, and which records what it was asked.
class ScriptedUserInterface : public zarq::UpdateUserInterface {
public:
    QList<bool> confirmAnswers; // taken in order; No when none is left
    bool loginAnswer = false;
    QString loginUser, loginPassword;
    QStringList asked; // "confirm:<text>", "error:<text>", "login:<caption>"

    bool Confirm(const QString& text) override {
        asked.append("confirm:" + text);
        return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
    }
    void ShowError(const QString& text) override { asked.append("error:" + text); }
    bool Login(const QString& caption, QString& user, QString& password) override {
        asked.append("login:" + caption);
        if (loginAnswer) {
            user = loginUser;
            password = loginPassword;
        }
        return loginAnswer;
    }
    void ShowMessage(const QString& text) override { asked.append("message:" + text); }
    bool Query(const QString& text) override {
        asked.append("query:" + text);
        return false;
    }
    bool ShowWhatsNew(const QString&, const QStringList&, const QString&, const QString&) override {
        return false;
    }
    bool ShowEULA(const QString&, const QStringList&, const QString&, const QString&,
                  const QString&) override {
        return false;
    }
    void OpenURL(const QString& url) override { asked.append("open:" + url); }
};

// TAutoUpdate with its transport opened up for tests and every message recorded.
class ProbeUpdate : public zarq::TAutoUpdate {
public:
    ProbeUpdate() {
        // Tests never wait out the real stall limit.
        FStallTimeoutSeconds = 5;
        // The transfer and run tests serve unsigned control files, as an in-house host whose
        // user opted in would; the signature tests set their own trust.
        zarq::UpdateTrust trust;
        trust.allowUnsigned = true;
        SetTrust(trust);
    }
    using TAutoUpdate::Connect;
    using TAutoUpdate::ConnectFTP;
    using TAutoUpdate::CopyLocalFile;
    using TAutoUpdate::Disconnect;
    using TAutoUpdate::DownloadFiles;
    using TAutoUpdate::DownloadText;
    using TAutoUpdate::FAppComponentFound;
    using TAutoUpdate::FAppComps;
    using TAutoUpdate::FAppUpdate;
    using TAutoUpdate::FCancelled;
    using TAutoUpdate::FCertificateFile;
    using TAutoUpdate::FDeadlineBytesPerSecond;
    using TAutoUpdate::FDeadlineSeconds;
    using TAutoUpdate::FFileList;
    using TAutoUpdate::FFreeSpaceReserve;
    using TAutoUpdate::FileNameFromURL;
    using TAutoUpdate::FMinimumRate;
    using TAutoUpdate::FRateWindowSeconds;
    using TAutoUpdate::FRunByteLimit;
    using TAutoUpdate::FRunBytes;
    using TAutoUpdate::FStallTimeoutSeconds;
    using TAutoUpdate::HostFromURL;
    using TAutoUpdate::TemporaryDirectory;
    using TAutoUpdate::TransferFile;

    QList<Message> messages;
    int restarts = 0; // where the restart through the updater would have begun
    QList<int> numbers() const {
        QList<int> n;
        for (const Message& m : messages)
            n.append(m.number);
        return n;
    }
    const Message* find(int number) const {
        for (const Message& m : messages) {
            if (m.number == number)
                return &m;
        }
        return nullptr;
    }

protected:
    void LogStatus(int Number, const QString& Text, int StatusCode, int ErrCode) override {
        messages.append({Number, Text, StatusCode, ErrCode});
        TAutoUpdate::LogStatus(Number, Text, StatusCode, ErrCode);
    }
    void RestartApplication() override { ++restarts; }
};

// What a run of the built `zarq` printed: its exit status (-1 when it did not end by itself
// within a minute) and its standard error, one entry a line, empty lines left out.
struct ZarqOutcome {
    int exitCode = -1;
    QStringList lines;
};

// Runs the built `zarq` with `args` in the test's home (the process's HOME and XDG folders),
// without a display, `app` as its current folder and ZARQ_UPDATE_URL set to `updateUrl`.
inline ZarqOutcome runZarq(const QString& app, const QStringList& args, const QString& updateUrl) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        env.insert(name, qEnvironmentVariable(name));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("ZARQ_UPDATE_URL", updateUrl);
    QProcess zarq;
    zarq.setProcessEnvironment(env);
    zarq.setWorkingDirectory(app);
    zarq.start(QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq"), args);
    ZarqOutcome outcome;
    if (!zarq.waitForFinished(60000)) {
        zarq.kill();
        zarq.waitForFinished();
        return outcome;
    }
    outcome.exitCode = zarq.exitStatus() == QProcess::NormalExit ? zarq.exitCode() : -1;
    outcome.lines = QString::fromUtf8(zarq.readAllStandardError()).split('\n');
    outcome.lines.removeAll(QString());
    return outcome;
}

} // namespace updatetest
