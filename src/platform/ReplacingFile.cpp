#include "platform/ReplacingFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarq {

namespace {

bool fail(QString* error, const char* what, const QString& path, int err) {
    if (error)
        *error = QStringLiteral("%1 %2: %3")
                     .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(err)));
    return false;
}

} // namespace

ReplacingFile::ReplacingFile(QString target) : m_target(std::move(target)) {}

ReplacingFile::~ReplacingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty() && !m_committed)
        ::unlink(QFile::encodeName(m_temporary).constData());
}

bool ReplacingFile::open(QString* error) {
    const QFileInfo info(m_target);
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                        info.fileName() + QStringLiteral(".XXXXXX"));
    m_fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (m_fd < 0)
        return fail(error, "cannot create a temporary file beside", m_target, errno);
    m_temporary = QFile::decodeName(tmpl);
    return true;
}

bool ReplacingFile::write(const char* data, qsizetype size, QString* error) {
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(error, "cannot write", m_temporary, n < 0 ? errno : EIO);
        data += n;
        size -= n;
    }
    return true;
}

bool ReplacingFile::commit(mode_t mode, QString* error) {
    if (m_temporary.isEmpty())
        return fail(error, "not opened:", m_target, EBADF);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    // Reopened by name: another writer may have replaced the content through the path.
    const QByteArray temp = QFile::encodeName(m_temporary);
    const int fd = ::open(temp.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return fail(error, "cannot reopen", m_temporary, errno);
    if (::fchmod(fd, mode & 07777) != 0 || ::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(error, "cannot flush", m_temporary, err);
    }
    ::close(fd);
    if (::rename(temp.constData(), QFile::encodeName(m_target).constData()) != 0)
        return fail(error, "cannot replace", m_target, errno);
    m_committed = true;
    return true;
}

bool ReplacingFile::copy(const QString& source, const QString& target, mode_t mode,
                         QString* error) {
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(error, "cannot open", source, errno);
    ReplacingFile out(target);
    bool ok = out.open(error);
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = fail(error, "cannot read", source, errno);
        if (n <= 0)
            break;
        ok = out.write(buffer, n, error);
    }
    ::close(in);
    return ok && out.commit(mode, error);
}

int ReplacingFile::modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

mode_t ReplacingFile::newFileMode() {
    mode_t mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                mask = mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 0666 & ~mask;
}

} // namespace zarq
