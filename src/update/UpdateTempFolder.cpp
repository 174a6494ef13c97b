#include "update/UpdateTempFolder.h"

#include "platform/PrivateFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq {

namespace {

QString errnoText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString UpdateTempFolder::path() {
    return QDir::cleanPath(PrivateFolder::underCache(QStringLiteral("tmp"))) + QLatin1Char('/');
}

QString UpdateTempFolder::ensure(QString* error) {
    const QString folder = path();
    const QByteArray native = QFile::encodeName(folder.chopped(1));
    // Each missing part is made private; parts that exist are left as they are.
    QString sofar;
    for (const QString& part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        sofar += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(sofar).constData(), 0700) != 0 && errno != EEXIST) {
            *error = QStringLiteral("cannot create %1: %2").arg(sofar, errnoText(errno));
            return QString();
        }
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(folder, errnoText(errno));
        return QString();
    }
    if (S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("%1 is a symbolic link; refused").arg(folder);
        return QString();
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("%1 is not a folder; refused").arg(folder);
        return QString();
    }
    if (st.st_uid != ::geteuid()) {
        *error = QStringLiteral("%1 belongs to another user; refused").arg(folder);
        return QString();
    }
    // Ours but readable by others (made by hand, say): close it before anything goes in.
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *error = QStringLiteral("cannot make %1 private: %2").arg(folder, errnoText(errno));
        return QString();
    }
    error->clear();
    return folder;
}

int UpdateTempFolder::createTempFile(const QString& dir, QString* path, QString* error) {
    QString base = dir.isEmpty() ? QStringLiteral("./") : dir;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    QByteArray name = QFile::encodeName(base + QStringLiteral("UPDTXXXXXX"));
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        *error =
            QStringLiteral("cannot create a temporary file in %1: %2").arg(base, errnoText(errno));
        return -1;
    }
    *path = QFile::decodeName(name);
    error->clear();
    return fd;
}

} // namespace zarq
