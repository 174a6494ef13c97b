#include "update/UpdateTempFolder.h"

#include "platform/FolderChain.h"
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
    // The whole way down is checked, not just the last folder: whoever could write a folder
    // above it could swap the staging folder for one of theirs once the updater is written.
    if (const QString why = FolderChain::check(folder.chopped(1), FolderChain::Mode::Create);
        !why.isEmpty()) {
        *error = why + QStringLiteral("; refused");
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
