// The download loop of the update component: fetches the file entries that remained after
// filtering and puts each where it belongs.

#include "update/CabinetExtractor.h"
#include "update/LzExpander.h"
#include "update/PatchCommand.h"
#include "update/RunAndWait.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateMessages.h"

#include <QDir>
#include <QFileInfo>

namespace zarq {

namespace {

bool sameFolder(const QString& a, const QString& b) {
    return QDir::cleanPath(QDir(a.isEmpty() ? QStringLiteral(".") : a).absolutePath()) ==
           QDir::cleanPath(QDir(b.isEmpty() ? QStringLiteral(".") : b).absolutePath());
}

QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toUpper();
}

} // namespace

int TAutoUpdate::DownloadFiles() {
    int result = 0;
    TAutoUpdateUpdate mode = UpdateUpdate;
    // A copy: the events may look at the component, and the list must not change under us.
    const TFileList entries = FFileList;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const TFileDescription& entry = entries[i];
        const int number = int(i + 1);
        if (mode == auuPromptAll &&
            !UserInterface().Confirm(UpdateMessages::Format(909, QString()) +
                                     FileNameFromURL(entry.URL))) {
            continue;
        }
        if (mode == auuPromptOnce && !UserInterface().Confirm(UpdateMessages::Format(910, {})))
            break;

        QString url = entry.URL;
        // Taken before the event, so the event cannot change the local name.
        const QString name = FileNameFromURL(url);
        if (OnBeforeFileDownload)
            OnBeforeFileDownload(this, number, entry.Description, url);
        if (!entry.TargetDir.isEmpty() && !QFileInfo::exists(entry.TargetDir))
            QDir().mkpath(entry.TargetDir);
        const QString downloadDir = UseWinTempDir ? TemporaryDirectory() : entry.TargetDir;
        bool fetched = !(UseWinTempDir && downloadDir.isEmpty());
        if (!fetched)
            LogSystemError(); // why the private folder was refused
        if (fetched && !IsPlainFileName(name)) {
            // A name that would not stay inside the folders: never fetched, reported in the
            // order of any other failed transfer.
            Log(915, url);
            Log(917, url);
            fetched = false;
        }
        // In a signed run the file must carry the hash its signed entry names.
        QByteArray digest;
        fetched = fetched && ExpectedDigest(url, entry.Sha256, &digest);
        fetched = fetched && TransferLimited(url, downloadDir, FTransferLimit, digest);
        if (!fetched) {
            result = -1;
            Log(946, url);
            FAppUpdate = false;
            // A cancelled transfer cancels the run: the following entries are not fetched,
            // and the next transfer must not forget the cancel.
            if (FCancelled)
                break;
        } else if (FAppComps.toUpper().contains(name.toUpper())) {
            // An application component stays in the download folder for the updater.
            FAppComponentFound = true;
            Log(962, name);
            NoteVerified(downloadDir + name);
        } else {
            const QString extension = extensionOf(name);
            QString placed = downloadDir + name;
            if (extension != QLatin1String(".CAB") && extension != QLatin1String(".PAT") &&
                !entry.TargetDir.isEmpty() && !sameFolder(downloadDir, entry.TargetDir)) {
                // The old file is replaced only by the complete new one; when that cannot be
                // done the old one stays and the entry counts as failed, so nothing restarts
                // with half an update.
                if (PlaceDownload(placed, entry.TargetDir + name)) {
                    placed = entry.TargetDir + name;
                } else {
                    result = -1;
                    FAppUpdate = false;
                }
            }
            NoteVerified(placed);
            UnpackEntry(entry, name, placed);
        }
        if (mode == auuPromptOnce)
            mode = auuSilent;
    }
    return result;
}

void TAutoUpdate::UnpackEntry(const TFileDescription& entry, const QString& name,
                              const QString& placed) {
    const QString extension = extensionOf(name);
    const bool cabinet = extension == QLatin1String(".CAB");
    if (ExtractCAB && entry.Compressed && !cabinet) {
        // An LZ file is expanded in the current folder under the name its header records.
        if (placed != name && !QFile::rename(placed, name))
            return;
        ExpandLZFile(name, 0600, FRunByteLimit - FRunBytes);
        if (!KeepIntermediateFiles)
            QFile::remove(name);
    } else if (ExtractCAB && entry.Compressed) {
        if (ExtractCabinet(placed, entry.TargetDir, nullptr, FRunByteLimit - FRunBytes) != 0)
            Log(947, placed);
        else if (!KeepIntermediateFiles)
            QFile::remove(placed);
    } else if (extension == QLatin1String(".PAT") && ApplyPatch && !entry.LocalVersion.isEmpty()) {
        if (Utility && !QFileInfo::exists(QStringLiteral("patcher.exe")))
            ExtractPatcher();
        const QString command = PatchCommandLine(name, entry.LocalVersion, Logging);
        Log(18, QStringLiteral("Exec: ") + command);
        RunAndWait(command, !Utility || Utility->ShowWindow);
        if (!KeepIntermediateFiles)
            QFile::remove(entry.TargetDir + name);
    }
}

} // namespace zarq
