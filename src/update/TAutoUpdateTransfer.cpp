// Transfers of the update component: one URL (HTTP, HTTPS, FTP) or one file-share path into a
// folder, through a "UPDT" temporary file that replaces the target only once it is complete.

#include "update/CurlRequest.h"
#include "update/CurlSession.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateLog.h"
#include "update/UpdateMessages.h"
#include "update/UpdateTempFolder.h"

#include "platform/ReplacingFile.h"
#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace zarq {

namespace {

constexpr qint64 kNetworkBlock = 4096;
constexpr qint64 kFileShareBlock = 16384;
// Bytes gathered before they are written: one write per many network blocks keeps the system
// calls off the transfer's path, while progress is still reported per block.
constexpr qsizetype kWriteBatch = 64 * 1024;
// Milliseconds between two looks at the thread's other events while data keeps coming.
constexpr qint64 kEventInterval = 5;

QString withSlash(const QString& dir) {
    return dir.isEmpty() || dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// The path of a URL's resource on an FTP server: the URL's path without the scheme and host,
// or the URL itself when it is a bare path.
QString ftpPath(const QString& url) {
    QString path = url;
    if (path.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive)) {
        path = path.mid(6);
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        path = slash < 0 ? QString() : path.mid(slash + 1);
    }
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

} // namespace

bool TAutoUpdate::IsPlainFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString TAutoUpdate::FileNameFromURL(const QString& URL) {
    QString name = URL;
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    name = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
    name = name.mid(name.lastIndexOf(QLatin1Char('?')) + 1);
    if (OnFileNameFromURL) {
        QString changed = name;
        OnFileNameFromURL(this, name, changed);
        name = changed;
    }
    return name;
}

QString TAutoUpdate::HostFromURL(const QString& URL) const {
    QString host = URL;
    const qsizetype scheme = host.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        host = host.mid(scheme + 3);
    host = host.left(host.indexOf(QLatin1Char('/')));
    return host.left(host.indexOf(QLatin1Char('\\')));
}

bool TAutoUpdate::LoginPrompt(const QString& Caption, QString& User, QString& Password) {
    return UserInterface().Login(Caption, User, Password);
}

bool TAutoUpdate::TransferFile(const QString& URL, const QString& Directory) {
    Log(915, URL);
    const QString name = FileNameFromURL(URL);
    if (!IsPlainFileName(name)) {
        Log(917, URL);
        return false;
    }
    if (UpdateType == fileUpdate) {
        const bool hasFileName = !Directory.isEmpty() && !Directory.endsWith(QLatin1Char('/'));
        const QString target = hasFileName ? Directory : Directory + name;
        if (!CopyLocalFile(QString(URL).replace(QLatin1Char('\\'), QLatin1Char('/')), target))
            return false;
        DoFileDownloaded(target);
        return true;
    }

    auto* session = static_cast<CurlSession*>(FConnection.get());
    std::unique_ptr<CurlRequest> request;
    const auto open = [&](CurlRequest::Setup setup) {
        request.reset();
        if (session == nullptr)
            return false;
        request = std::make_unique<CurlRequest>(*session, std::move(setup));
        if (request->open())
            return true;
        NoteTransportError(request->errorCode(), request->errorText());
        return false;
    };
    const auto ask = [&] {
        QString user, password;
        if (!LoginPrompt(QStringLiteral("Connect to ") + HostFromURL(URL), user, password)) {
            Log(956);
            return false;
        }
        UserID = user;
        Password = password;
        return true;
    };
    const auto httpSetup = [&] {
        CurlRequest::Setup setup;
        setup.url = TextCodec::toCp936(URL);
        // Always the file as it is now on the host, never a cached copy. Each request has a
        // connection of its own, so the keep-alive options need nothing here.
        setup.headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
        if (!UserID.isEmpty() || !Password.isEmpty())
            setup.headers.append(
                "Authorization: Basic " +
                TextCodec::toCp936(UserID + QLatin1Char(':') + Password).toBase64());
        return setup;
    };

    bool opened = false;
    if (UpdateType == httpUpdate) {
        if (Authenticate == waAlways && (UserID.isEmpty() || Password.isEmpty()) && !ask())
            return false;
        opened = open(httpSetup());
        if (opened && request->status() == 401 && Authenticate == waAuto) {
            if (!ask())
                return false;
            opened = open(httpSetup());
        }
        if (opened && request->status() >= 300) {
            const int status = int(request->status());
            LogCode(916, QString::number(status), status);
            return false;
        }
    } else {
        if (!FFTPDirSet && !FTPDirectory.isEmpty() && FConnection)
            EnterFtpDirectory();
        opened = open(CurlRequest::Setup::ftp(FtpUrl(ftpPath(URL)), UserID, Password, FTPPassive));
    }
    if (!opened) {
        if (session == nullptr)
            NoteTransportError(CURLE_FAILED_INIT, QStringLiteral("no open connection"));
        LogSystemError();
        Log(917, URL);
        return false;
    }
    const qint64 expected = qMax<qint64>(0, request->contentLength());
    const QString target = withSlash(Directory) + name;
    const bool stored = StoreDownload(
        [&](const char** data, qint64 max) {
            const qint64 n = qMin(max, request->peek(data));
            if (n < 0)
                NoteTransportError(request->errorCode(), request->errorText());
            else
                request->consume(n);
            return n;
        },
        kNetworkBlock, expected, target);
    request.reset();
    if (stored)
        DoFileDownloaded(target);
    return stored;
}

bool TAutoUpdate::CopyLocalFile(const QString& Source, const QString& Target) {
    const QFileInfo source(Source), target(Target);
    if (Source == Target ||
        (source.exists() && source.canonicalFilePath() == target.canonicalFilePath())) {
        Log(912, Source);
        return false;
    }
    const int fd = ::open(QFile::encodeName(Source).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Log(913, Source);
        return false;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size <= 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        Log(914, Source);
        return false;
    }
    QByteArray block(kFileShareBlock, Qt::Uninitialized);
    const bool stored = StoreDownload(
        [&](const char** data, qint64 max) -> qint64 {
            ssize_t n;
            do
                n = ::read(fd, block.data(), size_t(qMin(max, qint64(block.size()))));
            while (n < 0 && errno == EINTR);
            if (n < 0)
                NoteSystemError(errno);
            *data = block.constData();
            return n;
        },
        kFileShareBlock, size, Target);
    ::close(fd);
    return stored;
}

bool TAutoUpdate::StoreDownload(const std::function<qint64(const char**, qint64)>& read,
                                qint64 blockSize, qint64 expectedSize, const QString& target) {
    const QString folder = UseWinTempDir ? TemporaryDirectory() : TempDirectory;
    QString temporary, error;
    const int fd = folder.isEmpty() && UseWinTempDir
                       ? -1
                       : UpdateTempFolder::createTempFile(folder, &temporary, &error);
    const int createError = errno;
    if (fd < 0) {
        if (!error.isEmpty())
            NoteTransportError(createError, error);
        LogSystemError();
        return false;
    }
    const char* data = nullptr;
    qint64 position = 0;
    const auto tooLarge = [&] {
        NoteTransportError(EFBIG, QStringLiteral("File too large: more than %1 bytes for %2")
                                      .arg(FTransferLimit)
                                      .arg(QFileInfo(target).fileName()));
        LogSystemError();
    };
    bool cancel = false, failed = false, gotData = false;
    qint64 got = 0;
    const bool hashing = !FExpectedSha256.isEmpty();
    crypto_hash_sha256_state hash;
    crypto_hash_sha256_init(&hash);
    QByteArray pending;
    pending.reserve(kWriteBatch);
    const auto flush = [&] {
        // The disk is never filled: what is written must leave the reserve free.
        struct statvfs fs {};
        if (::fstatvfs(fd, &fs) == 0) {
            const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
            const qint64 reserve = FreeSpaceReserve(fd);
            if (free - pending.size() < reserve) {
                NoteTransportError(ENOSPC, QStringLiteral("The disk would be left with less than "
                                                          "%1 bytes free for %2")
                                               .arg(reserve)
                                               .arg(QFileInfo(target).fileName()));
                LogSystemError();
                pending.resize(0);
                return false;
            }
        }
        const bool ok = writeAll(fd, pending.constData(), pending.size());
        pending.resize(0);
        if (!ok) {
            // A full disk and the like: the same end as a failed read, and the reason logged.
            NoteSystemError(errno);
            LogSystemError();
        }
        return ok;
    };
    // The thread's other events (the user interface) run between blocks. Asking for them costs
    // a poll of every watched socket, which at loopback speed would cost more than the block
    // itself, so they are asked for every few milliseconds; a read that has to wait for data
    // runs the event loop anyway.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    do {
        if (sinceEvents.hasExpired(kEventInterval)) {
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        got = read(&data, blockSize);
        if (got < 0) {
            // Which rule or fault ended it: the stall, the rate floor, the deadline, a reset.
            LogSystemError();
            failed = true;
            break;
        }
        // Checked before the bytes are written: the file never grows beyond the limit, and a
        // declared length beyond it ends the transfer at its first block.
        if (position + got > FTransferLimit || expectedSize > FTransferLimit) {
            tooLarge();
            failed = true;
            break;
        }
        if (FRunBytes + position + got > FRunByteLimit) {
            NoteTransportError(EFBIG, QStringLiteral("Too much for one run: more than %1 bytes "
                                                     "with %2")
                                          .arg(FRunByteLimit)
                                          .arg(QFileInfo(target).fileName()));
            LogSystemError();
            failed = true;
            break;
        }
        if (hashing)
            crypto_hash_sha256_update(&hash, reinterpret_cast<const unsigned char*>(data),
                                      std::size_t(got));
        pending.append(data, qsizetype(got));
        if (pending.size() >= kWriteBatch && !flush()) {
            failed = true;
            break;
        }
        position += got;
        if (OnFileProgress)
            OnFileProgress(this, target, position, expectedSize);
        cancel = CheckCancel(cancel);
        if (got > 0)
            gotData = true;
    } while (got > 0 && !cancel);
    // No flush to disk before the rename: the rename replaces the old file in one step, ext4
    // and btrfs write out a file renamed over another before the rename itself, and a flush
    // here would cost the transfer a large part of its speed.
    if (!failed && !cancel && !pending.isEmpty() && !flush())
        failed = true;
    if (::close(fd) != 0 && !failed && !cancel) {
        NoteSystemError(errno);
        LogSystemError();
        failed = true;
    }
    if (hashing && !failed && !cancel && gotData) {
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256_final(&hash, digest);
        const QByteArray actual(reinterpret_cast<const char*>(digest), sizeof digest);
        if (actual != FExpectedSha256) {
            NoteTransportError(EBADMSG, QStringLiteral("SHA-256 of %1 is %2, its entry says %3")
                                            .arg(QFileInfo(target).fileName(),
                                                 QString::fromLatin1(actual.toHex()),
                                                 QString::fromLatin1(FExpectedSha256.toHex())));
            LogSystemError();
            failed = true;
        }
    }
    FCancelled = cancel;
    // Nothing complete arrived: the temporary file goes, the old target stays as it was.
    if (cancel || failed || !gotData) {
        if (!QFile::remove(temporary))
            AppendLogLine(QStringLiteral("Unable to delete file ") + temporary);
        return false;
    }
    FRunBytes += position;
    return PlaceDownload(temporary, target);
}

qint64 TAutoUpdate::FreeSpaceReserve(int fd) const {
    if (FFreeSpaceReserve >= 0)
        return FFreeSpaceReserve;
    struct statvfs fs {};
    if (::fstatvfs(fd, &fs) != 0)
        return 0;
    const qint64 size = qint64(fs.f_blocks) * qint64(fs.f_frsize);
    return qMin(size / 20, qint64(256) * 1024 * 1024);
}

bool TAutoUpdate::PlaceDownload(const QString& temporary, const QString& target) {
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(target);
    struct stat old {};
    const bool existed = ::lstat(to.constData(), &old) == 0;
    // The new file takes the old one's permissions (an executable stays one), made writable
    // for its owner; a new file outside the private folder gets the usual ones.
    mode_t mode = 0600;
    if (existed && S_ISREG(old.st_mode))
        mode = (old.st_mode & 07777) | S_IWUSR;
    else if (!existed &&
             QFileInfo(target).absolutePath() + QLatin1Char('/') != UpdateTempFolder::path())
        mode = ReplacingFile::newFileMode();
    ::chmod(from.constData(), mode);

    // rename() replaces the old target in one step, so there is no moment without a file and
    // a failure leaves the old one as it was.
    int renameError = EISDIR;
    bool placed = false;
    if (!(existed && S_ISDIR(old.st_mode))) {
        placed = ::rename(from.constData(), to.constData()) == 0;
        renameError = errno;
    }
    if (!placed && renameError == EXDEV) {
        // Another file system: copy next to the target first, then replace it in one step.
        QString nearTarget, error;
        const int fd =
            UpdateTempFolder::createTempFile(QFileInfo(target).absolutePath(), &nearTarget, &error);
        QFile in(temporary);
        if (fd >= 0) {
            bool ok = in.open(QIODevice::ReadOnly);
            QByteArray block(kFileShareBlock, Qt::Uninitialized);
            for (qint64 n = 0; ok && (n = in.read(block.data(), block.size())) != 0;)
                ok = n > 0 && writeAll(fd, block.constData(), n);
            ok = ok && ::fdatasync(fd) == 0 && ::fchmod(fd, mode) == 0;
            ::close(fd);
            const QByteArray near = QFile::encodeName(nearTarget);
            placed = ok && ::rename(near.constData(), to.constData()) == 0;
            if (!placed)
                QFile::remove(nearTarget);
        }
    }
    if (placed)
        return true;
    if (existed) {
        Log(972, target);
        AppendLogLine(QStringLiteral("Unable to delete file ") + target);
    } else {
        Log(973, temporary + QStringLiteral(" to ") + target);
        AppendLogLine(QStringLiteral("Unable to rename file ") + temporary +
                      QStringLiteral(" to ") + target);
    }
    QFile::remove(temporary);
    return false;
}

bool TAutoUpdate::TransferLimited(const QString& URL, const QString& Directory, qint64 limit,
                                  const QByteArray& sha256) {
    const qint64 saved = FTransferLimit;
    FTransferLimit = limit;
    FExpectedSha256 = sha256;
    const bool ok = TransferFile(URL, Directory);
    FTransferLimit = saved;
    FExpectedSha256.clear();
    return ok;
}

std::optional<QStringList> TAutoUpdate::DownloadText(const QString& URL, const QString& sha256) {
    QByteArray digest;
    if (!ExpectedDigest(URL, sha256, &digest))
        return std::nullopt;
    const QString folder = TemporaryDirectory();
    if (folder.isEmpty() || !TransferLimited(URL, folder, kTextLimit, digest))
        return std::nullopt;
    const QString path = folder + FileNameFromURL(URL);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = TextCodec::fromUtf8OrCp936(file.readAll());
    file.close();
    QFile::remove(path);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace zarq
