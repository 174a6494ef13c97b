#include "update/TAutoUpdate.h"

#include "update/FileChecksum.h"
#include "update/FileVersion.h"
#include "update/UpdateDate.h"
#include "update/VersionValue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cerrno>

namespace zarq {

namespace {

// A control file's count bounds the list; a count in the billions would exhaust the memory
// before the first transfer.
constexpr int kMaxFileEntries = 65535;

qint64 sizeOf(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable() ? info.size() : -1;
}

} // namespace

bool TAutoUpdate::CheckFile(QString& NewVersion, QString& LocalVersion, int NewCheckSum,
                            int NewSize) {
    if (NewVersion.isEmpty() && NewSize == 0 && NewCheckSum == -1)
        return true;
    const QString path = LocalVersion;
    if (path.isEmpty())
        return true;
    if (!QFileInfo::exists(path) && VersionCheck == vcAlways)
        return true;
    if (NewCheckSum != -1) {
        // The thread's events run between the blocks of a large file, at most every few
        // milliseconds (a look costs a poll of every watched socket).
        QElapsedTimer sinceEvents;
        sinceEvents.start();
        const std::optional<qint32> computed =
            FChecksums.checksum(path, UseCRC32, [this, &sinceEvents] {
                if (sinceEvents.elapsed() >= FChecksumEventIntervalMs) {
                    QCoreApplication::processEvents();
                    sinceEvents.restart();
                }
            });
        if (!computed) {
            LogCode(976,
                    QStringLiteral("too much to check: the checksum of %1 would take this run "
                                   "past %2 bytes of local files")
                        .arg(path)
                        .arg(FChecksums.budget()),
                    EFBIG);
            return false;
        }
        const qint32 sum = *computed;
        Log(944, QStringLiteral("Checksum compare of ") + path + QLatin1Char(':') +
                     QString::number(sum) + QLatin1Char(':') + QString::number(NewCheckSum));
        return sum != NewCheckSum;
    }
    if (NewSize > 0) {
        const qint64 size = sizeOf(path);
        return size != NewSize && (size > 0 || VersionCheck == vcAlways);
    }
    const VersionValue local = FileVersion::read(path);
    const VersionValue wanted = VersionValue::parse(NewVersion);
    Log(944, QStringLiteral("Version compare of ") + path + QLatin1Char(':') + local.toString() +
                 QStringLiteral(" with ") + NewVersion + QLatin1Char(':') + wanted.toString());
    if (!wanted.isValid() || (!local.isValid() && VersionCheck != vcAlways))
        return false;
    NewVersion = wanted.toString();
    LocalVersion = local.toString();
    return wanted.High > local.High || (wanted.High == local.High && wanted.Low > local.Low);
}

int TAutoUpdate::ReadFileList() {
    FFileList.clear();
    const ControlFile& values = FControlValues;
    const int count = values.ReadInteger(QStringLiteral("files"), QStringLiteral("count"), 0);
    if (count <= 0)
        return count;
    Log(943);
    for (int i = 1; i <= qMin(count, kMaxFileEntries); ++i) {
        const QString section = QStringLiteral("file") + QString::number(i);
        const auto text = [&](const char* key) {
            return values.ReadString(section, QLatin1String(key));
        };
        const auto number = [&](const char* key, int def) {
            return values.ReadInteger(section, QLatin1String(key), def);
        };
        const auto flag = [&](const char* key, int def) {
            return values.ReadFlag(section, QLatin1String(key), def);
        };
        TFileDescription item;
        item.URL = ExpandPath(text("url"));
        item.LocalVersion = ExpandPath(text("localversion"));
        item.NewVersion = text("newversion");
        item.NewSize = number("newsize", 0);
        item.NewCheckSum = number("newchecksum", -1);
        item.NewCustomVer = text("customversion");
        item.NewDate = text("date");
        item.NewTime = text("time");
        item.Description = text("descr");
        item.TargetDir = ExpandPath(text("targetdir"));
        if (!item.TargetDir.isEmpty() && !item.TargetDir.endsWith(QLatin1Char('/')))
            item.TargetDir += QLatin1Char('/');
        item.Compressed = flag("compressed", 0);
        item.FileSize = number("filesize", 0);
        item.Mandatory = flag("mandatory", 0);
        item.Preselect = flag("preselect", 1);
        item.Hidden = flag("hidden", 0);
        item.Sha256 = text("sha256");
        FFileList.append(item);
    }
    return count;
}

int TAutoUpdate::FilterFileList() {
    for (qsizetype i = 0; i < FFileList.size();) {
        const TFileDescription& item = FFileList[i];
        Log(971, item.URL + QLatin1Char('[') + item.LocalVersion + QStringLiteral(",nv=") +
                     item.NewVersion + QStringLiteral(",nd=") + item.NewDate +
                     QStringLiteral(",ns=") + QString::number(item.NewSize) +
                     QStringLiteral(",nc=") + QString::number(item.NewCheckSum) + QLatin1Char(']'));
        bool keep = true;
        if (!item.LocalVersion.isEmpty() && !item.NewDate.isEmpty()) {
            const QFileInfo local(item.LocalVersion);
            const QDateTime release = UpdateDate::combine(item.NewDate, item.NewTime, DateFormat,
                                                          DateSeparator, TimeSeparator);
            keep = !(local.exists() && local.lastModified() >= release);
        } else {
            QString newVersion = item.NewVersion;
            QString localVersion = item.LocalVersion;
            if (!CheckFile(newVersion, localVersion, item.NewCheckSum, item.NewSize)) {
                LogStatus(930, QString(), 0, 0);
                keep = false;
            } else if (OnFileVersionCheck && !item.NewCustomVer.isEmpty()) {
                bool isNew = true;
                OnFileVersionCheck(this, item.NewCustomVer, localVersion, isNew);
                keep = isNew;
            }
        }
        if (keep)
            ++i;
        else
            FFileList.removeAt(i);
    }
    if (OnGetFileList) {
        QStringList lines;
        for (const TFileDescription& item : std::as_const(FFileList))
            lines.append(item.Description);
        OnGetFileList(this, lines);
        for (qsizetype i = 0; i < FFileList.size() && i < lines.size();) {
            if (lines[i].isEmpty()) {
                FFileList.removeAt(i);
                lines.removeAt(i);
            } else {
                ++i;
            }
        }
    }
    return FFileList.isEmpty() ? -1 : 0;
}

} // namespace zarq
