#include "update/TAutoUpdate.h"

#include "update/TInetThread.h"
#include "update/UpdateDate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace zarq {

namespace {

constexpr int kNoUpdate = 7;
const QString kUpdate = QStringLiteral("update");
const QString kApplication = QStringLiteral("application");

} // namespace

void TAutoUpdate::StartThreadedUpdate() {
    if (FThread)
        return; // one threaded run at a time; the next start waits for ThreadDone
    FThreaded = true;
    auto* thread = new TInetThread(this);
    FThread = thread;
    // finished is emitted on the worker thread; both slots run on this object's thread.
    connect(thread, &QThread::finished, this, &TAutoUpdate::ThreadDone);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void TAutoUpdate::ThreadDone() {
    if (OnThreadUpdateDone)
        OnThreadUpdateDone(this);
    FThreaded = false;
    Log(960);
    if (RestartRequired()) {
        Log(961);
        RestartApplication();
    }
}

bool TAutoUpdate::RestartRequired() const {
    return FAppUpdate && FAppComponentFound && !FCancelled;
}

void TAutoUpdate::RunUpdate(bool changeDirectory) {
    FCancelled = false;
    if (changeDirectory)
        QDir::setCurrent(QCoreApplication::applicationDirPath());
    Log(968, FThreaded ? QStringLiteral("Threaded update") : QStringLiteral("Non threaded update"));
    Log(966, GetOSVersion());
    Log(967, GetIEVersion());
    Log(969, GetCompilerVersion());
    Log(970, GetInstalledIDEs());
    FAppComponentFound = false;
    FFTPDirSet = false;
    FControlFile.clear();
    FRememberedDate = false;
    FSignedRun = false;
    FVerifiedFiles.clear();
    FChecksums.clear();
    FRunBytes = 0;
    RemoveStaleStagedFiles();
    Log(963, Version());

    if (Connect() != 0)
        return;
    if (UpdateType == ftpUpdate && ConnectFTP() != 0)
        LogSystemError();
    if (!FConnection && UpdateType != fileUpdate) {
        Disconnect();
        return;
    }
    if (GetControlFile() != 0) {
        Disconnect();
        return;
    }
    const bool due = ForceUpdate || CheckUpdateSection() != kNoUpdate;
    if (!due || ProcessActions() != 0) {
        if (!due)
            FAppUpdate = false;
        Disconnect();
        return;
    }
    const std::optional<QStringList> news = GetWhatsNew();
    bool declined = news && ShowWhatsNew(*news) != 0;
    const std::optional<QStringList> licence = GetEULA();
    if (licence && !declined)
        declined = ShowEULA(*licence) != 0;
    if (declined || ReadFileList() <= 0) {
        FAppUpdate = false;
        Disconnect();
        return;
    }
    const bool remained = FilterFileList() == 0;
    bool downloaded = false;
    if (remained) {
        downloaded = DownloadFiles() == 0;
        FinishUpdate();
    }
    Disconnect();
    // A run in which a listed file could not be fetched did not succeed, even though it went on
    // with the other files: OnSuccess would tell the host otherwise.
    if (remained && downloaded && !FCancelled && OnSuccess)
        OnSuccess(this);
    if (RestartRequired() && !FThreaded)
        RestartApplication();
}

int TAutoUpdate::GetControlFile() {
    FSignedRun = false;
    FRunTrust = FTrust ? *FTrust : UpdateTrust::load(FSettingsFile);
    const QString url = GetControlFileURL();
    const QString directory = TemporaryDirectory();
    // Without a safe private folder nothing is fetched at all; the reason comes first.
    if (directory.isEmpty())
        LogSystemError();
    if (directory.isEmpty() || !TransferLimited(url, directory, kTextLimit)) {
        Log(925);
        return 4;
    }
    Log(926);
    FControlFile = directory + FileNameFromURL(url);
    // Read once: the bytes whose signature is checked are the bytes that are parsed. Not one
    // value of the file is read before it is known who wrote it.
    QFile file(FControlFile);
    const QByteArray content =
        file.open(QIODevice::ReadOnly) ? file.read(kTextLimit) : QByteArray();
    file.close();
    if (const QString refusal = VerifyControlFile(url, directory, content); !refusal.isEmpty()) {
        LogCode(976, refusal, 0);
        Log(927);
        return 5;
    }
    FControlValues = ControlFile::fromBytes(content);
    int result = 0;
    if (SignatureCheck &&
        FControlValues.ReadString(kUpdate, QStringLiteral("signature")) != Signature) {
        Log(927);
        result = 5;
    }
    FAppUpdate = FControlValues.ReadFlag(kApplication, QStringLiteral("appupdate"), 0);
    FAppName = ExpandPath(FControlValues.ReadString(kApplication, QStringLiteral("appname")));
    FAppParam = FControlValues.ReadString(kApplication, QStringLiteral("appparam"));
    if (FAppName.isEmpty())
        FAppUpdate = false;
    if (OnSetAppParams)
        OnSetAppParams(this, FAppParam);
    if (FAppParam.isEmpty())
        FAppParam = QStringLiteral(" ");
    FAppComps = ExpandPath(FControlValues.ReadString(kApplication, QStringLiteral("appcomps")));
    FSilentRestart = FControlValues.ReadFlag(kApplication, QStringLiteral("silentrestart"), 0);
    return result;
}

int TAutoUpdate::CheckUpdateSection() {
    const ControlFile& values = FControlValues;
    int result = kNoUpdate;
    values.ReadString(kUpdate, QStringLiteral("descr")); // read, not used
    const QString date = values.ReadString(kUpdate, QStringLiteral("date"));
    if (!date.isEmpty()) {
        Log(928);
        FUpdateDate = UpdateDate::combine(date, values.ReadString(kUpdate, QStringLiteral("time")),
                                          DateFormat, DateSeparator, TimeSeparator);
        const QString path = ExpandPath(values.ReadString(kUpdate, QStringLiteral("localversion")));
        QDateTime local = UpdateDate::unreadable();
        const bool remembers = !LastURLEntry.Key.isEmpty() && !LastURLEntry.Section.isEmpty();
        if (const auto remembered = remembers ? RememberedUpdateDate() : std::nullopt) {
            local = *remembered;
        } else if (!path.isEmpty() && QFileInfo::exists(path)) {
            local = QFileInfo(path).lastModified();
        }
        if (local >= FUpdateDate) {
            LogStatus(930, QString(), 4, 0);
        } else {
            Log(929, QLocale::system().toString(FUpdateDate.date(), QLocale::ShortFormat));
            result = 6;
        }
    }
    if (!values.ReadString(kUpdate, QStringLiteral("unconditional")).isEmpty() &&
        result == kNoUpdate)
        result = 8;
    if (result == kNoUpdate) {
        QString newVersion = values.ReadString(kUpdate, QStringLiteral("newversion"));
        const int newSize = values.ReadInteger(kUpdate, QStringLiteral("newsize"), 0);
        QString localPath = ExpandPath(values.ReadString(kUpdate, QStringLiteral("localversion")));
        const int newChecksum = values.ReadInteger(kUpdate, QStringLiteral("newchecksum"), -1);
        if ((!newVersion.isEmpty() || newSize > 0 || newChecksum != -1) && !localPath.isEmpty()) {
            if (newChecksum != -1) {
                result = 10;
                Log(931);
            } else if (newSize < 1) {
                result = 11;
                Log(933);
            } else {
                result = 9;
                Log(932);
            }
            if (CheckFile(newVersion, localPath, newChecksum, newSize)) {
                Log(929, newVersion);
            } else {
                LogStatus(930, QString(), 4, 0);
                result = kNoUpdate;
            }
        }
        FNewVersion = newVersion;
    }
    if (OnCustomValidate) {
        bool allow = result != kNoUpdate;
        OnCustomValidate(
            this, values.ReadString(QStringLiteral("custom"), QStringLiteral("validatemsg")),
            values.ReadString(QStringLiteral("custom"), QStringLiteral("validateparam")), allow);
        result = allow ? 12 : kNoUpdate;
    }
    return result;
}

} // namespace zarq
