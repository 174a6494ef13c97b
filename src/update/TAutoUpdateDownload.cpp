// The download loop of the update component: fetches the file entries that remained after
// filtering and puts each where it belongs.

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
        if (fetched && !IsPlainFileName(name)) {
            // A name that would not stay inside the folders: never fetched.
            Log(917, url);
            fetched = false;
        }
        fetched = fetched && TransferFile(url, downloadDir);
        if (!fetched) {
            result = -1;
            Log(946, url);
            FAppUpdate = false;
        } else if (FAppComps.toUpper().contains(name.toUpper())) {
            // An application component stays in the download folder for the updater.
            FAppComponentFound = true;
            Log(962, name);
        } else {
            const QString extension = extensionOf(name);
            if (extension != QLatin1String(".CAB") && extension != QLatin1String(".PAT") &&
                !entry.TargetDir.isEmpty() && !sameFolder(downloadDir, entry.TargetDir)) {
                // The old file is replaced only by the complete new one; when that cannot be
                // done the old one stays and the entry counts as failed, so nothing restarts
                // with half an update.
                if (!PlaceDownload(downloadDir + name, entry.TargetDir + name)) {
                    result = -1;
                    FAppUpdate = false;
                }
            }
            // Expanding LZ and cabinet entries (ExtractCAB) and applying patches (ApplyPatch)
            // belong to the unpacking code, which is not part of the component yet; with both
            // off, as this program has them, an entry is used as fetched.
        }
        if (mode == auuPromptOnce)
            mode = auuSilent;
    }
    return result;
}

} // namespace zarq
