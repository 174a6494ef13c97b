#include "updater/resource/UpdaterResource.h"

#include "platform/ReplacingFile.h"

#include <QFile>

namespace zarq {

QByteArray UpdaterResource::packed() {
    QFile file(QString::fromLatin1(kPath));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool UpdaterResource::write(const QString& path, QString* error) {
    const QByteArray bytes = packed();
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("the updater resource is missing");
        return false;
    }
    ReplacingFile out(path);
    return out.open(error) && out.write(bytes.constData(), bytes.size(), error) &&
           out.commit(0600, error);
}

} // namespace zarq
