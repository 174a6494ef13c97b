#include "update/AcceptedTimestamps.h"

#include "platform/RegistryStore.h"

namespace zarq {

namespace {

const QString kKey = QStringLiteral("software\\tervan\\zarq\\UpdateTimestamps");

} // namespace

AcceptedTimestamps::AcceptedTimestamps(QString settingsFile)
    : m_file(settingsFile.isEmpty() ? RegistryStore::defaultFilePath() : std::move(settingsFile)) {}

std::optional<qint64> AcceptedTimestamps::last(const QString& url) const {
    const std::optional<RegistryValue> value = RegistryStore(m_file).PeekValue(kKey, url);
    bool ok = false;
    const qint64 seconds = value && value->type == RegSz ? value->text.toLongLong(&ok) : 0;
    return ok ? std::optional<qint64>(seconds) : std::nullopt;
}

QString AcceptedTimestamps::remember(const QString& url, qint64 timestamp) {
    try {
        RegistryStore store(m_file);
        if (!store.OpenKeyForWrite(kKey))
            return QStringLiteral("cannot open %1").arg(store.filePath());
        store.WriteString(url, QString::number(timestamp));
        return QString();
    } catch (const ERegistryException& e) {
        return e.messageWithDetail();
    }
}

} // namespace zarq
