#include "platform/PrivateFolder.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq {

QString PrivateFolder::underCache(const QString& leaf) {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/tervan/") + leaf;
}

QString PrivateFolder::ensure(const QString& dir) {
    const QByteArray path = QFile::encodeName(dir);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT)
            return QStringLiteral("%1: %2").arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
        if (!AtomicFile::makePrivateDirectory(dir) || ::lstat(path.constData(), &st) != 0)
            return QStringLiteral("%1 cannot be created: %2")
                .arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("%1 is a symbolic link").arg(dir);
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(dir);
    if (st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user (uid %2)").arg(dir).arg(st.st_uid);
    if ((st.st_mode & 077) != 0)
        return QStringLiteral("%1 is open to other users (mode %2, not 700)")
            .arg(dir)
            .arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'));
    return QString();
}

} // namespace zarq
