#include "update/TAutoUpdate.h"

#include "update/FolderPlaceholders.h"
#include "update/TInetThread.h"
#include "update/UpdateMessages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

namespace zarq {

// The log file of the process changes only when a name is assigned, not when another
// component is made.
TAutoUpdate::TAutoUpdate(QObject* owner) : QObject(owner) {}

TAutoUpdate::~TAutoUpdate() {
    if (FThread) {
        // The worker waits for a run handed to this object; dropping that pending hand-over
        // releases it, so it can be joined instead of outliving the component. It may not have
        // posted it yet, hence the repeated look.
        while (!FThread->wait(QDeadlineTimer(20)))
            QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
        delete FThread.data();
    }
}

void TAutoUpdate::SetLogFileName(const QString& name) {
    FLogFileName = name;
    UpdateLog::SetFileName(name);
}

UpdateUserInterface& TAutoUpdate::UserInterface() {
    if (FUserInterface != nullptr)
        return *FUserInterface;
    return FHeadless;
}

void TAutoUpdate::LogStatus(int Number, const QString& Text, int StatusCode, int ErrCode) {
    const QString text = UpdateMessages::Format(Number, Text);
    if (Logging)
        AppendLogLine(UpdateLog::MessageLine(QDateTime::currentDateTime(), Number, text, StatusCode,
                                             ErrCode));
    if (OnStatus)
        OnStatus(this, text, StatusCode, ErrCode);
}

void TAutoUpdate::Log(int Number, const QString& Text) {
    const UpdateMessage* message = UpdateMessages::Find(Number);
    const int status = message != nullptr ? message->StatusCode : 0;
    const int error = message != nullptr && message->ErrCode >= 0 ? message->ErrCode : 0;
    LogStatus(Number, Text, status, error);
}

void TAutoUpdate::LogCode(int Number, const QString& Text, int ErrCode) {
    const UpdateMessage* message = UpdateMessages::Find(Number);
    LogStatus(Number, Text, message != nullptr ? message->StatusCode : 0, ErrCode);
}

bool TAutoUpdate::CheckCancel(bool Cancel) {
    if (OnProgressCancel)
        OnProgressCancel(this, Cancel);
    if (Cancel)
        Log(964);
    return Cancel;
}

void TAutoUpdate::DoFileDownloaded(const QString& FileName) {
    if (OnFileDownloaded)
        OnFileDownloaded(this, FileName);
}

QString TAutoUpdate::ExpandFolderName(const QString& Name) {
    // {WIN}, {SYS} and {PF} have no Linux folder: they yield nothing and stay as written.
    if (Name == QLatin1String("APP"))
        return QDir::currentPath();
    if (Name == QLatin1String("TMP"))
        return TemporaryDirectory();
    if (Name == QLatin1String("DOC"))
        return UpdateLog::DocumentsFolder();
    return QString();
}

QString TAutoUpdate::ExpandPath(const QString& text) {
    QString path = text;
    if (OnConvertPrefix)
        OnConvertPrefix(this, path);
    // Paths in control files are written for Windows.
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return FolderPlaceholders::expand(
        path, [this](const QString& name) { return ExpandFolderName(name); });
}

} // namespace zarq
