#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace zarq {

// The two checksums a control file can ask for, over 32-bit unsigned values with wrap-around.
// Both start at FFFFFFFF. The byte sum adds every byte. The CRC variant adds, for every byte,
// the IEEE 802.3 CRC-32 table entry xor the value shifted right by 8 (an addition where the
// real CRC-32 replaces), and complements the result; so it differs from CRC-32.
class FileChecksum {
public:
    static constexpr quint32 kStart = 0xFFFFFFFFu;
    static quint32 addBytes(quint32 sum, const char* data, qint64 size);
    static quint32 addCrcVariant(quint32 value, const char* data, qint64 size);

    static qint32 ByteSumOf(const QByteArray& bytes);
    static qint32 CrcVariantOf(const QByteArray& bytes);
    // The file read in blocks of 4096 bytes. A file that cannot be read counts as empty: byte
    // sum -1, CRC variant 0.
    // `between`, when given, runs after every block.
    static qint32 ByteSum(const QString& path, const std::function<void()>& between = {});
    static qint32 CrcVariant(const QString& path, const std::function<void()>& between = {});
};

} // namespace zarq
