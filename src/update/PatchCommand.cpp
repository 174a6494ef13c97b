#include "update/PatchCommand.h"

namespace zarq {

QString PatchCommandLine(const QString& fileName, const QString& localVersion, bool logging) {
    if (logging)
        return QStringLiteral("patcher.exe -v ") + fileName + QLatin1Char(' ') + localVersion +
               QStringLiteral(">> UPDATER.LOG");
    return QStringLiteral("patcher.exe ") + fileName + QLatin1Char(' ') + localVersion;
}

} // namespace zarq
