#include "platform/FolderChain.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq {

namespace {

QString errnoText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

QString modeText(mode_t mode) {
    return QStringLiteral("%1").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

// Why the folder `path` (open as `st`) may not lie on the way to the staging folder; empty
// when it may.
QString ancestorProblem(const QString& path, const struct stat& st) {
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user (uid %2)").arg(path).arg(st.st_uid);
    const bool othersWrite = (st.st_mode & 022) != 0;
    const bool sticky = (st.st_mode & S_ISVTX) != 0 && st.st_uid == 0;
    if (othersWrite && !sticky)
        return QStringLiteral("%1 can be written by other users (mode %2)")
            .arg(path, modeText(st.st_mode));
    return QString();
}

} // namespace

int FolderChain::open(const QString& dir, Mode mode, QString* error) {
    const QString clean = QDir::cleanPath(dir);
    if (!clean.startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("%1 is not an absolute path").arg(dir);
        return -1;
    }
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QString sofar;
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = -1; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        if (i >= 0) {
            const QByteArray name = QFile::encodeName(parts[i]);
            sofar += QLatin1Char('/') + parts[i];
            int next =
                ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT && mode == Mode::Create &&
                (::mkdirat(fd, name.constData(), 0700) == 0 || errno == EEXIST))
                next =
                    ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const int openError = errno;
            ::close(fd);
            fd = next;
            if (fd < 0) {
                *error =
                    openError == ELOOP || openError == ENOTDIR
                        ? QStringLiteral("%1 is a symbolic link or not a folder").arg(sofar)
                        : QStringLiteral("cannot open %1: %2").arg(sofar, errnoText(openError));
                return -1;
            }
        }
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            *error = QStringLiteral("cannot read %1: %2")
                         .arg(sofar.isEmpty() ? QStringLiteral("/") : sofar, errnoText(errno));
            if (fd >= 0)
                ::close(fd);
            return -1;
        }
        QString why;
        if (!last) {
            why = ancestorProblem(sofar.isEmpty() ? QStringLiteral("/") : sofar, st);
        } else if (st.st_uid != ::geteuid()) {
            why = QStringLiteral("%1 belongs to another user (uid %2)").arg(sofar).arg(st.st_uid);
        } else if ((st.st_mode & 077) != 0) {
            // Ours but open to others (made by hand, say): closed before anything goes in, or,
            // where nothing may be changed, refused.
            if (mode == Mode::Existing)
                why = QStringLiteral("%1 is open to other users (mode %2, not 0700)")
                          .arg(sofar, modeText(st.st_mode));
            else if (::fchmod(fd, 0700) != 0)
                why = QStringLiteral("cannot make %1 private: %2").arg(sofar, errnoText(errno));
        }
        if (!why.isEmpty()) {
            ::close(fd);
            *error = why;
            return -1;
        }
    }
    error->clear();
    return fd;
}

QString FolderChain::check(const QString& dir, Mode mode) {
    QString error;
    const int fd = open(dir, mode, &error);
    if (fd >= 0)
        ::close(fd);
    return error;
}

} // namespace zarq
