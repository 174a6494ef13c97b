#include "update/LocalChecksums.h"

#include "update/FileChecksum.h"

#include <QFileInfo>

namespace zarq {

void LocalChecksums::clear() {
    m_read = 0;
    m_known.clear();
}

std::optional<qint32> LocalChecksums::checksum(const QString& path, bool crc,
                                               const std::function<void()>& between) {
    const QFileInfo info(path);
    const qint64 size = info.isFile() ? info.size() : 0;
    const QString key = QStringLiteral("%1 %2 %3 ")
                            .arg(crc ? 1 : 0)
                            .arg(size)
                            .arg(info.lastModified().toMSecsSinceEpoch()) +
                        info.absoluteFilePath();
    if (const auto known = m_known.constFind(key); known != m_known.constEnd())
        return *known;
    if (m_read + size > m_budget)
        return std::nullopt;
    m_read += size;
    const qint32 value =
        crc ? FileChecksum::CrcVariant(path, between) : FileChecksum::ByteSum(path, between);
    m_known.insert(key, value);
    return value;
}

} // namespace zarq
