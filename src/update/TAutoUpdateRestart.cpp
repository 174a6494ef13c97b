#include "update/TAutoUpdate.h"

#include "platform/AtomicFile.h"
#include "platform/CommandLine.h"
#include "platform/ProcessStart.h"
#include "platform/ReplacingFile.h"
#include "update/LzExpander.h"
#include "update/RestartDestination.h"
#include "update/UpdateMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <cerrno>
#include <unistd.h>

// The restart through the updater program: the program writes the updater out, leaves it the
// hand-over file and its command line, starts it and ends; the updater waits for the end, puts
// the staged components in place and starts the program again.

namespace zarq {

namespace {

// The updater as the program carries it (packed in LZ form), a resource of the executable.
const QString kUpdaterResource = QStringLiteral(":/updater/updater.ex_");
const QString kPackedName = QStringLiteral("updater.ex_");
const QString kUpdaterName = QStringLiteral("updater.exe");

QString quotedWhenBlank(const QString& text) {
    return RestartDestination::needsQuotes(text) ? QLatin1Char('"') + text + QLatin1Char('"')
                                                 : text;
}

} // namespace

void TAutoUpdate::RestartApplication() {
    const QString current = QDir::currentPath();
    Log(959, current);
    if (CheckCancel(false))
        return;
    // Files the user cannot write are never replaced: the old program would come back, find the
    // update due again and restart again at every start. The restart is refused as a No would
    // refuse it, and the program goes on with its old files.
    const QString staging = UseWinTempDir ? TemporaryDirectory() : TempDirectory;
    const QString application = current + QLatin1Char('/') + FAppName;
    if (const QString why =
            RestartDestination::problem(current, application, staging, FAppComps, FAppParam);
        !why.isEmpty()) {
        LogCode(950, why, EACCES);
        AppendLogLine(QStringLiteral("Unable to replace application files : ") + why);
        return;
    }
    bool Allow = true;
    if (OnAppRestart)
        OnAppRestart(this, Allow);
    else if (!FSilentRestart)
        Allow = UserInterface().Confirm(UpdateMessages::Format(911, QString()));
    if (!Allow)
        return; // the staged components wait for a later run
    // A program that ended without a started updater would simply be gone; it keeps running
    // instead, and the failure is reported.
    if (!ExtractUpdater()) {
        LogCode(950, FLastErrorText, FLastErrorCode);
        return;
    }
    const QString handOver = UpdateLog::DocumentsFolder() + QStringLiteral("/UPDATER.INI");
    const QString handOverError = AtomicFile::write(
        handOver, QByteArrayLiteral("[CONFIG]\r\nLOGFILENAME=") + LogFileName().toUtf8() + "\r\n");
    if (!handOverError.isEmpty()) {
        LogCode(950, handOver + QStringLiteral(": ") + handOverError, EIO);
        return;
    }
    const QString parameters = UpdaterCommandLine();
    Log(958, parameters);
    if (!StartUpdater(TemporaryDirectory() + kUpdaterName, parameters)) {
        QFile::remove(handOver);
        LogCode(950, FLastErrorText, FLastErrorCode);
        return;
    }
    if (OnAppDoClose) {
        OnAppDoClose(this);
        return;
    }
    // Ends the program through its event loop once the current handler has returned; the
    // desktop program signs out first, as on every exit.
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new QEvent(QEvent::Quit));
}

QString TAutoUpdate::UpdaterCommandLine() {
    const QString application = quotedWhenBlank(QDir::currentPath() + QLatin1Char('/') + FAppName);
    FAppParam = quotedWhenBlank(FAppParam);
    const QString staging = UseWinTempDir ? TemporaryDirectory() : TempDirectory;
    return QString::number(::getpid()) + (Logging ? QStringLiteral(" L ") : QStringLiteral(" X ")) +
           application + QLatin1Char(' ') + FAppParam + QStringLiteral(" \"") + staging +
           QStringLiteral("\" ") + FAppComps;
}

bool TAutoUpdate::StartUpdater(const QString& program, const QString& parameters) {
    QString error;
    if (ProcessStart::detached(QStringList{program} + CommandLine::split(parameters), &error) < 0) {
        NoteTransportError(errno, error);
        return false;
    }
    return true;
}

bool TAutoUpdate::ExtractUpdater() {
    const QString folder = TemporaryDirectory();
    if (folder.isEmpty())
        return false; // the reason is noted
    QFile resource(kUpdaterResource);
    if (!resource.open(QIODevice::ReadOnly)) {
        NoteTransportError(ENOENT, QStringLiteral("the program carries no updater"));
        return false;
    }
    const QByteArray packed = resource.readAll();
    const QString packedPath = folder + kPackedName;
    QString error;
    ReplacingFile out(packedPath);
    if (!out.open(&error) || !out.write(packed.constData(), packed.size(), &error) ||
        !out.commit(0600, &error)) {
        NoteTransportError(EIO, error);
        return false;
    }
    // The header records the expanded name, "updater.exe", which is run: only the owner may.
    if (ExpandLZFile(packedPath, 0700) != folder + kUpdaterName) {
        QFile::remove(packedPath);
        NoteTransportError(EIO, QStringLiteral("cannot expand ") + packedPath);
        return false;
    }
    return true;
}

} // namespace zarq
