#include "platform/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq {

namespace {

QString errnoText(const char* what, int err) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(err)));
}

bool makeDirs(const QString& dir) {
    // Parents that are created get mode 0700: the settings are private.
    if (QFileInfo(dir).isDir())
        return true;
    const QString parent = QFileInfo(dir).path();
    if (parent != dir && !makeDirs(parent))
        return false;
    return ::mkdir(QFile::encodeName(dir).constData(), 0700) == 0 || errno == EEXIST;
}

void syncDirectory(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool AtomicFile::makePrivateDirectory(const QString& dir) {
    return makeDirs(dir);
}

QString AtomicFile::write(const QString& path, const QByteArray& content) {
    const QString dir = QFileInfo(path).absolutePath();
    if (!makeDirs(dir))
        return errnoText("cannot create the directory", errno);
    QByteArray tmpl = QFile::encodeName(dir + QStringLiteral("/.") + QFileInfo(path).fileName() +
                                        QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC); // mode 0600
    if (fd < 0)
        return errnoText("cannot create a temporary file", errno);
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n =
            ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(tmpl.constData());
            return errnoText("cannot write", err);
        }
        done += n;
    }
    if (::fchmod(fd, 0600) != 0 || ::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(tmpl.constData());
        return errnoText("cannot flush", err);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        return errnoText("cannot close", err);
    }
    if (::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        return errnoText("cannot replace the file", err);
    }
    syncDirectory(dir);
    return {};
}

QString AtomicFile::moveAside(const QString& path, const QDateTime& when, QString* movedTo) {
    const QString stamp = when.toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QByteArray from = QFile::encodeName(path);
    for (int n = 0; n < 1000; ++n) {
        const QString target = n == 0 ? QStringLiteral("%1.%2.bad").arg(path, stamp)
                                      : QStringLiteral("%1.%2-%3.bad").arg(path, stamp).arg(n);
        // RENAME_NOREPLACE: an older .bad copy of the same second is never replaced.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                        RENAME_NOREPLACE) == 0) {
            syncDirectory(QFileInfo(path).absolutePath());
            if (movedTo)
                *movedTo = target;
            return {};
        }
        if (errno == EINVAL) {
            // File systems without RENAME_NOREPLACE: a hard link refuses an existing name too.
            if (::link(from.constData(), QFile::encodeName(target).constData()) == 0) {
                ::unlink(from.constData());
                syncDirectory(QFileInfo(path).absolutePath());
                if (movedTo)
                    *movedTo = target;
                return {};
            }
        }
        if (errno != EEXIST)
            return errnoText("cannot rename", errno);
    }
    return QStringLiteral("no free name for the copy");
}

} // namespace zarq
