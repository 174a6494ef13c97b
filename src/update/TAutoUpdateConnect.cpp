// The connection side of the update component: opening and closing the transfer engine of a
// run, the FTP login, and the report of a system error.

#include "update/CurlRequest.h"
#include "update/CurlSession.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateTempFolder.h"

#include "platform/TextCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace zarq {

int TAutoUpdate::Connect() {
    FInternet.reset();
    FConnection.reset();
    if (UpdateType == fileUpdate)
        return 0;
    Log(918);
    if (UpdateConnect == aucNone)
        return 0;
    // Linux has no dial-up and no "connected state" to ask: the machine counts as online, so
    // the dial-up steps never apply and no policy can end the run here.
    Log(921);
    CurlSession::Options options;
    options.agent = TextCodec::toCp936(Agent);
    options.proxy = TextCodec::toCp936(Proxy);
    options.proxyUser = TextCodec::toCp936(ProxyUserID);
    options.proxyPassword = TextCodec::toCp936(ProxyPassword);
    options.connectTimeoutMs = TimeOut > 0 ? TimeOut : 0;
    options.stallTimeoutSeconds = FStallTimeoutSeconds;
    options.minimumRate = FMinimumRate;
    options.rateWindowSeconds = FRateWindowSeconds;
    options.deadlineSeconds = FDeadlineSeconds;
    options.deadlineBytesPerSecond = FDeadlineBytesPerSecond;
    options.caInfo = FCertificateFile;
    auto session = std::make_shared<CurlSession>(options);
    if (!session->valid()) {
        Log(922);
        return 2;
    }
    FInternet = session;
    if (UpdateType == httpUpdate)
        FConnection = FInternet;
    return 0;
}

QByteArray TAutoUpdate::FtpUrl(const QString& path) const {
    QString url = QStringLiteral("ftp://%1:%2/").arg(Host).arg(Port);
    if (!FFtpDirectory.isEmpty())
        url += FFtpDirectory + QLatin1Char('/');
    return TextCodec::toCp936(url + path);
}

int TAutoUpdate::ConnectFTP() {
    FFTPDirSet = false;
    FFtpDirectory.clear();
    Log(923, Host);
    auto* session = static_cast<CurlSession*>(FInternet.get());
    if (session == nullptr)
        return -1;
    // curl logs in with the first request; this one logs in and does nothing else, so a host
    // that cannot be reached or refuses the login fails here, as a connect would.
    CurlRequest::Setup setup =
        CurlRequest::Setup::ftp(FtpUrl(QString()), UserID, Password, FTPPassive);
    setup.noBody = true;
    CurlRequest login(*session, setup);
    const bool ok = login.open() && login.read(nullptr, 0) == 0;
    NoteTransportError(login.errorCode(), login.errorText());
    if (!ok)
        return -1;
    FConnection = FInternet;
    return 0;
}

bool TAutoUpdate::EnterFtpDirectory() {
    FFTPDirSet = true;
    const QString folder = ExpandPath(FTPDirectory);
    Log(974, folder);
    auto* session = static_cast<CurlSession*>(FConnection.get());
    CurlRequest::Setup setup =
        CurlRequest::Setup::ftp(FtpUrl(folder + QLatin1Char('/')), UserID, Password, FTPPassive);
    setup.noBody = true;
    CurlRequest change(*session, setup);
    if (change.open() && change.read(nullptr, 0) == 0) {
        FFtpDirectory = folder;
        return true;
    }
    NoteTransportError(change.errorCode(), change.errorText());
    Log(975, folder);
    return false;
}

void TAutoUpdate::Disconnect() {
    if (UpdateType != fileUpdate) {
        if (UpdateType == ftpUpdate && FConnection) {
            FConnection.reset();
            Log(954);
        }
        if (FInternet) {
            FConnection.reset();
            FInternet.reset();
            Log(949);
        }
        // Dial-up hang-up: Linux dials nothing, so there is never a line to hang up (955).
        Log(949);
    }
    if (!FControlFile.isEmpty()) {
        QFile::remove(FControlFile);
        FControlFile.clear();
    }
}

void TAutoUpdate::NoteTransportError(int code, const QString& text) {
    FLastErrorCode = code;
    FLastErrorText = text;
}

void TAutoUpdate::NoteSystemError(int code) {
    NoteTransportError(code, QString::fromLocal8Bit(std::strerror(code)));
}

void TAutoUpdate::LogSystemError() {
    if (FLastErrorCode == 0)
        return;
    const QString text = FLastErrorText;
    LogCode(976, text, FLastErrorCode);
    if (!OnStatus && UpdateUpdate != auuSilent)
        UserInterface().ShowError(text);
}

void TAutoUpdate::RemoveStaleStagedFiles() {
    // Taken at the first run of the process: files staged before it belong to earlier runs.
    static const QDateTime firstRun = QDateTime::currentDateTime();
    if (!QFileInfo(UpdateTempFolder::path()).isDir())
        return;
    const QString folder = TemporaryDirectory(); // the whole way checked before anything goes
    if (folder.isEmpty())
        return;
    const QDateTime quiet = QDateTime::currentDateTime().addSecs(-600);
    const QDateTime before = qMin(firstRun, quiet);
    for (const QFileInfo& file :
         QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks)) {
        const QString name = file.fileName();
        if (name == QLatin1String("updater.exe") || name == QLatin1String("updater.ex_"))
            continue;
        if (file.lastModified() < before)
            QFile::remove(file.absoluteFilePath());
    }
}

QString TAutoUpdate::TemporaryDirectory() {
    QString error;
    const QString folder = UpdateTempFolder::ensure(&error);
    if (folder.isEmpty()) {
        // No safe place to stage files; the transfer that needs one reports why.
        NoteTransportError(EACCES, error);
    }
    return folder;
}

} // namespace zarq
