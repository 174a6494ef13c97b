#include "update/FileChecksum.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace zarq {

namespace {

constexpr std::array<quint32, 256> makeCrcTable() {
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<quint32, 256> kCrcTable = makeCrcTable();

quint32 overFile(const QString& path, quint32 (*add)(quint32, const char*, qint64),
                 const std::function<void()>& between) {
    quint32 value = FileChecksum::kStart;
    // The path comes from the control file: a device such as /dev/zero would never end and a
    // named pipe would block the open, so only a regular file is read.
    if (!QFileInfo(path).isFile())
        return value;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return value;
    char block[4096];
    qint64 got = 0;
    while ((got = file.read(block, sizeof block)) > 0) {
        value = add(value, block, got);
        if (between)
            between();
    }
    return value;
}

} // namespace

quint32 FileChecksum::addBytes(quint32 sum, const char* data, qint64 size) {
    for (qint64 i = 0; i < size; ++i)
        sum += static_cast<unsigned char>(data[i]);
    return sum;
}

quint32 FileChecksum::addCrcVariant(quint32 value, const char* data, qint64 size) {
    for (qint64 i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        value += kCrcTable[(value ^ byte) & 0xFF] ^ (value >> 8);
    }
    return value;
}

qint32 FileChecksum::ByteSumOf(const QByteArray& bytes) {
    return static_cast<qint32>(addBytes(kStart, bytes.constData(), bytes.size()));
}

qint32 FileChecksum::CrcVariantOf(const QByteArray& bytes) {
    return static_cast<qint32>(~addCrcVariant(kStart, bytes.constData(), bytes.size()));
}

qint32 FileChecksum::ByteSum(const QString& path, const std::function<void()>& between) {
    return static_cast<qint32>(overFile(path, &FileChecksum::addBytes, between));
}

qint32 FileChecksum::CrcVariant(const QString& path, const std::function<void()>& between) {
    return static_cast<qint32>(~overFile(path, &FileChecksum::addCrcVariant, between));
}

} // namespace zarq
