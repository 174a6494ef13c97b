#include "platform/ProgramPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace zarq {

QString ProgramPath::launcher() {
    const QString fromLauncher = qEnvironmentVariable(kLauncherVariable);
    const QFileInfo info(fromLauncher);
    if (!fromLauncher.isEmpty() && info.isAbsolute() && info.isExecutable())
        return fromLauncher;
    return QCoreApplication::applicationFilePath();
}

QString ProgramPath::desktopCompanion(const QString& launcherPath) {
    const QDir dir = QFileInfo(launcherPath).absoluteDir();
    for (const QString& candidate :
         {dir.filePath(QStringLiteral("zarq-desktop")),
          dir.filePath(QStringLiteral("../libexec/zarq/zarq-desktop"))}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return {};
}

} // namespace zarq
