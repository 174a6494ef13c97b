#pragma once

#include "update/ControlFile.h"
#include "update/HeadlessUpdateUserInterface.h"
#include "update/LocalChecksums.h"
#include "update/TFileDescription.h"
#include "update/UpdateLog.h"
#include "update/UpdateTrust.h"
#include "update/UpdateTypes.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace zarq {

class TInetThread;

// The self-update component: fetches the control file, decides what is due, fetches the listed
// files into the private staging folder and puts them in place. It never raises to its host:
// progress and failures are numbered messages (LogStatus). Every run, event and prompt happens
// on the thread the component lives on (the GUI thread); the threaded start only hands the run
// over to it.
class TAutoUpdate : public QObject {
    Q_OBJECT

public:
    explicit TAutoUpdate(QObject* owner = nullptr);
    ~TAutoUpdate() override;

    // --- published properties ---
    QString URL;
    TAutoUpdateType UpdateType = httpUpdate;
    TAutoUpdateConnect UpdateConnect = aucNoConnect;
    TAutoUpdateUpdate UpdateUpdate = auuPromptOnce;
    bool ForceUpdate = false;
    TAutoUpdateVersionCheck VersionCheck = vcUpdateOnly;
    bool UseCRC32 = false;
    bool SignatureCheck = false;
    QString Signature = QStringLiteral("AutoUpdate");
    QString Agent = QStringLiteral("TAutoUpdate");
    QString Proxy;
    QString ProxyUserID;
    QString ProxyPassword;
    QString UserID;
    QString Password;
    TAutoUpdateAuthentication Authenticate = waNever;
    bool HTTPKeepAliveAuthentication = false;
    bool ExistingConnection = false;
    int TimeOut = 0; // connect time-out in milliseconds, used when above 0
    QString Host;
    int Port = 21;
    QString FTPDirectory;
    bool FTPPassive = false;
    bool UseWinTempDir = true;
    QString TempDirectory = QStringLiteral(".");
    bool ExtractCAB = false;
    bool ApplyPatch = false;
    bool KeepIntermediateFiles = false;
    TAutoUpdateUtility* Utility = nullptr;
    QString LanguageID;
    QString DateFormat = QStringLiteral("dd/mm/yyyy");
    QChar DateSeparator = QLatin1Char('/');
    QString TimeFormat = QStringLiteral("hh:nn");
    QChar TimeSeparator = QLatin1Char(':');
    bool Logging = false;
    TLastURLEntry LastURLEntry;
    TPostUpdateInfo PostUpdateInfo;

    // Assigning the log file name also sets the one log file of the process.
    const QString& LogFileName() const { return FLogFileName; }
    void SetLogFileName(const QString& name);
    // The component's own version; assigning it has no effect.
    static QString Version() { return QStringLiteral("2.0.12.2"); }

    // The person behind the run's prompts; nullptr restores the headless answers. Not owned.
    void SetUserInterface(UpdateUserInterface* ui) { FUserInterface = ui; }
    // Whom the runs trust (keys, the opt-in to unsigned updates). Until set, each run loads it
    // from the environment and the settings store (UpdateTrust::load).
    void SetTrust(const UpdateTrust& trust) { FTrust = trust; }
    UpdateUserInterface& UserInterface();

    // --- events ("var" parameters are references the handler may change) ---
    std::function<void(TAutoUpdate* Sender, const QString& StatusStr, int StatusCode, int ErrCode)>
        OnStatus;
    std::function<void(TAutoUpdate* Sender, const QString& FileName, qint64 Pos, qint64 Size)>
        OnFileProgress;
    std::function<void(TAutoUpdate* Sender, bool& Cancel)> OnProgressCancel;
    std::function<void(TAutoUpdate* Sender, const QString& FileName)> OnFileDownloaded;
    std::function<void(TAutoUpdate* Sender, int FileIdx, const QString& FileDescription,
                       QString& URL)>
        OnBeforeFileDownload;
    std::function<void(TAutoUpdate* Sender, const QString& URL, QString& FName)> OnFileNameFromURL;
    std::function<void(TAutoUpdate* Sender, const QString& NewVersion, const QString& LocalVersion,
                       bool& IsNew)>
        OnFileVersionCheck;
    std::function<void(TAutoUpdate* Sender, QStringList& List)> OnGetFileList;
    std::function<void(TAutoUpdate* Sender, const QString& Msg, const QString& Param, bool& Allow)>
        OnCustomValidate;
    std::function<void(TAutoUpdate* Sender, const QString& Msg, const QString& Param)>
        OnCustomProcess;
    std::function<void(TAutoUpdate* Sender, QString& Path)> OnConvertPrefix;
    std::function<void(TAutoUpdate* Sender, QString& AppParams)> OnSetAppParams;
    std::function<void(TAutoUpdate* Sender, const QStringList& Text, int& Res)>
        OnDownloadedWhatsNew;
    std::function<void(TAutoUpdate* Sender, const QStringList& Text, int& Res)> OnDownloadedEULA;
    std::function<void(TAutoUpdate* Sender, bool& AllowPost)> OnBeforePost;
    std::function<void(TAutoUpdate* Sender, bool& AllowPostResult)> OnProcessPostResult;
    std::function<void(TAutoUpdate* Sender, bool& Allow)> OnAppRestart;
    std::function<void(TAutoUpdate* Sender)> OnAppDoClose;
    std::function<void(TAutoUpdate* Sender)> OnThreadUpdateDone;
    std::function<void(TAutoUpdate* Sender)> OnSuccess;
    std::function<void(TAutoUpdate* Sender, int Action)> OnProgress; // declared; never raised

    // --- entries ---
    // The program's entry: a worker thread hands RunUpdate to this object's thread and waits;
    // ThreadDone follows on this object's thread.
    void StartThreadedUpdate();
    // One complete run. With `changeDirectory` the program's folder becomes the current
    // directory first.
    void RunUpdate(bool changeDirectory);
    // Runs on this object's thread when the worker thread has ended.
    void ThreadDone();
    bool RestartRequired() const;
    // True while a threaded run has not yet reached ThreadDone.
    bool Threaded() const { return FThreaded; }
    const QString& NewVersion() const { return FNewVersion; }

    // Placeholder expansion of one control-file value (OnConvertPrefix, then the folders).
    QString ExpandPath(const QString& text);

protected:
    // --- virtual operations, in the component's order ---
    virtual int ShowWhatsNew(const QStringList& lines);
    virtual int ShowEULA(const QStringList& lines);
    virtual void LogStatus(int Number, const QString& Text, int StatusCode, int ErrCode);
    virtual bool ExtractUpdater();
    virtual bool ExtractPatcher();
    virtual bool CheckFile(QString& NewVersion, QString& LocalVersion, int NewCheckSum,
                           int NewSize);
    virtual bool CheckCancel(bool Cancel);
    virtual void DoFileDownloaded(const QString& FileName);
    virtual int Connect(); // 0 ready, 1 no connection, 2 no handle, 3 dial-up failed
    virtual void Disconnect();
    virtual int ConnectFTP(); // 0 or -1
    virtual QString GetControlFileURL();
    virtual int GetControlFile(); // 0 ok, 4 not found, 5 bad signature
    virtual int CheckUpdateSection();
    virtual int ProcessActions();
    virtual std::optional<QStringList> GetWhatsNew();
    virtual std::optional<QStringList> GetEULA();
    virtual QString GetOSVersion();
    virtual QString GetCompilerVersion();
    virtual QString GetIEVersion();
    virtual QString GetInstalledIDEs();
    virtual int ReadFileList();
    virtual int FilterFileList();
    virtual int DownloadFiles(); // 0, or -1 when any transfer failed
    virtual QString ExpandFolderName(const QString& Name);

    // The finishing instructions after the downloads (0, or -1).
    virtual int FinishUpdate();
    // The report post to PostUpdateInfo's Server ("host" or "host:port") and Action; the reply
    // goes to PostUpdateInfo.PostResult.
    virtual void SendUpdateInfo();
    // runbefore and runafter: the command line's program started with its arguments, never
    // through a shell and not waited for; a value that names no program is opened as a page or
    // document (OpenDocument).
    void StartProgram(const QString& commandLine);
    // A page (URL) or a local document opened with the desktop's default program.
    void OpenDocument(const QString& value);
    // The settings store that LastURLEntry uses (empty: the user's); tests point it elsewhere.
    QString FSettingsFile;
    // The update-section check of this run took the local date from LastURLEntry.
    bool FRememberedDate = false;
    // The restart through the updater program.
    virtual void RestartApplication();
    // The updater's parameters: process id, "L"/"X", the program to restart, its parameter,
    // the staged components' folder, the components. Quoting the parameter changes FAppParam.
    QString UpdaterCommandLine();
    // Starts the written updater with `parameters` (split by the command-line rules, never
    // through a shell) and does not wait; false with the reason in FLastErrorText.
    virtual bool StartUpdater(const QString& program, const QString& parameters);
    // The release date remembered under LastURLEntry by an earlier run (LastDate, LastTime).
    virtual std::optional<QDateTime> RememberedUpdateDate();

    // LogStatus with the status and error codes of the message table.
    void Log(int Number, const QString& Text = QString());
    // LogStatus for the messages whose error code is a value of the moment (916, 976).
    void LogCode(int Number, const QString& Text, int ErrCode);

    // The control file as read by GetControlFile (empty before).
    const ControlFile& ControlValues() const { return FControlValues; }

    // --- transport (connection, transfers, staging) ---
    bool TransferFile(const QString& URL, const QString& Directory);
    bool CopyLocalFile(const QString& Source, const QString& Target);
    // A text fetched whole (news, licence); with `sha256` (64 hexadecimal digits) its bytes must
    // have that hash, and in a signed run they must have one.
    std::optional<QStringList> DownloadText(const QString& URL, const QString& sha256 = QString());
    void LogSystemError();
    bool LoginPrompt(const QString& Caption, QString& User, QString& Password);
    QString FileNameFromURL(const QString& URL);
    QString HostFromURL(const QString& URL) const;
    // After a fetched entry is in place: expands an LZ entry or extracts a cabinet entry
    // (ExtractCAB) or runs the patcher over a patch entry (ApplyPatch); `placed` is where the
    // fetched file now lies.
    void UnpackEntry(const TFileDescription& entry, const QString& name, const QString& placed);
    // The private staging folder with a trailing "/"; empty when it cannot be made safely (the
    // reason is then the pending system error, see LogSystemError).
    QString TemporaryDirectory();
    // Removes what earlier runs left in the staging folder (entries without a target folder,
    // components of a restart that never came): regular files older than this program's first
    // run and untouched for 10 minutes, never the updater.
    void RemoveStaleStagedFiles();

    // The open transfer engine of a run (FInternet, a CurlSession) and the connection used for
    // requests (FConnection, the same engine once usable); empty outside Connect..Disconnect.
    std::shared_ptr<void> FInternet;
    std::shared_ptr<void> FConnection;
    // The FTP folder entered in this run (empty: the login folder).
    QString FFtpDirectory;
    // The last failure of the platform (curl's code and text, or errno for a file), which
    // LogSystemError reports; 0 when none.
    int FLastErrorCode = 0;
    QString FLastErrorText;
    // Test hooks: a transfer that receives nothing for this many seconds fails (0: never), and
    // the certificate bundle that HTTPS trusts (empty: the system's).
    long FStallTimeoutSeconds = 120;
    // Test hooks of the transfer's rate floor (bytes a second over a window of seconds) and its
    // deadline (seconds, plus one per FDeadlineBytesPerSecond of the announced length).
    long FMinimumRate = 1024;
    long FRateWindowSeconds = 60;
    long FDeadlineSeconds = 600;
    long FDeadlineBytesPerSecond = 100 * 1024;
    QByteArray FCertificateFile;
    // The most bytes a transfer may bring. A listed file gets room that no real update needs;
    // the control file and the news and licence texts, which are read into memory whole, get
    // kTextLimit. A host that sends without end thus fills neither the disk nor the memory.
    static constexpr qint64 kFileLimit = qint64(256) * 1024 * 1024;
    static constexpr qint64 kTextLimit = qint64(1024) * 1024;
    qint64 FTransferLimit = kFileLimit;
    // The most one run may bring to the disk (transfers and what it unpacks), and what it has
    // brought so far; and the free space a transfer must leave on its file system (-1: 5% of
    // it, at most 256 MiB). Test hooks.
    static constexpr qint64 kRunLimit = qint64(1024) * 1024 * 1024;
    qint64 FRunByteLimit = kRunLimit;
    qint64 FRunBytes = 0;
    qint64 FFreeSpaceReserve = -1;
    // The bytes the free-space rule keeps on the file system of `fd`.
    qint64 FreeSpaceReserve(int fd) const;
    // TransferFile with FTransferLimit at `limit` and FExpectedSha256 at `sha256` for its length.
    bool TransferLimited(const QString& URL, const QString& Directory, qint64 limit,
                         const QByteArray& sha256 = QByteArray());
    // The SHA-256 (32 bytes) that the bytes of the current transfer must have; empty: any.
    QByteArray FExpectedSha256;
    // The digest a fetched file must have, from its entry's `sha256` text. Empty and true when
    // the run is unsigned and the entry names none; false (the reason logged as 976) when a
    // signed run's entry names none or the text is not 64 hexadecimal digits.
    bool ExpectedDigest(const QString& url, const QString& text, QByteArray* digest);

    void NoteTransportError(int code, const QString& text);
    // NoteTransportError with an errno value and its text.
    void NoteSystemError(int code);
    bool EnterFtpDirectory();
    QByteArray FtpUrl(const QString& path) const;
    // A name derived from a URL that names a file inside a folder: not empty, "." or "..", and
    // without "/". Any other name is never written.
    static bool IsPlainFileName(const QString& name);
    // Steps of a transfer after its source is open: blocks from `read` (it points its first
    // argument at up to `blockSize` bytes and returns their count, 0 at the end, -1 on a read
    // error) go to a "UPDT" temporary file, then to `target`.
    bool StoreDownload(const std::function<qint64(const char**, qint64)>& read, qint64 blockSize,
                       qint64 expectedSize, const QString& target);
    // Puts a complete temporary file in place of `target` without ever losing the old one.
    bool PlaceDownload(const QString& temporary, const QString& target);
    // --- end transport ---

    // --- run state ---
    bool FThreaded = false;
    bool FCancelled = false;
    QString FControlFile;
    bool FAppUpdate = false;
    QString FAppName;
    QString FAppParam;
    QString FAppComps;
    bool FSilentRestart = false;
    bool FAppComponentFound = false;
    QString FNewVersion;
    QDateTime FUpdateDate;
    TFileList FFileList;
    bool FDialed = false;
    bool FFTPDirSet = false;
    ControlFile FControlValues; // the control file of the run, read once it arrived
    // The local files' checksums of this run (each file read once, the bytes bounded).
    LocalChecksums FChecksums;
    // Milliseconds between two looks at the thread's events while a local file is checked.
    qint64 FChecksumEventIntervalMs = 10;
    // The trust of the current run, and whether its control file was signed by a trusted key;
    // then every fetched file must match its entry's hash.
    UpdateTrust FRunTrust;
    bool FSignedRun = false;
    // The files this signed run fetched and checked, where they now lie (absolute paths): a
    // finishing instruction may start one of them as a program.
    QSet<QString> FVerifiedFiles;
    void NoteVerified(const QString& path);
    // When the command line (whole, or its first word) names a file of FVerifiedFiles, that file
    // gets its owner's execute bit, so the instruction starts it instead of opening it.
    void AllowVerifiedProgram(const QString& commandLine);
    // Fetches and checks the signature of the control file `url` (already in `directory`, its
    // bytes `content`) against the run's trust, and the signature's age against the last one
    // accepted for the URL. Empty when the control file may be read, else why not.
    QString VerifyControlFile(const QString& url, const QString& directory,
                              const QByteArray& content);

private:
    QString FLogFileName = QStringLiteral("UPDATER.LOG");
    UpdateUserInterface* FUserInterface = nullptr;
    HeadlessUpdateUserInterface FHeadless;
    QPointer<TInetThread> FThread;
    std::optional<UpdateTrust> FTrust;
};

} // namespace zarq
