#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Cabinet files made byte by byte for tests.
namespace testcab {

inline void put16(QByteArray& b, quint16 v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}
inline void put32(QByteArray& b, quint32 v) {
    put16(b, static_cast<quint16>(v & 0xFFFF));
    put16(b, static_cast<quint16>(v >> 16));
}

// A cabinet with one stored (uncompressed) folder holding `files`, written byte by byte so that
// it may carry names no archiver would write.
inline QByteArray craftCabinet(const QList<QPair<QByteArray, QByteArray>>& files) {
    QByteArray data;
    QByteArray entries;
    for (const auto& [name, content] : files) {
        put32(entries, static_cast<quint32>(content.size()));
        put32(entries, static_cast<quint32>(data.size()));
        put16(entries, 0);                                    // folder 0
        put16(entries, ((2020 - 1980) << 9) | (6 << 5) | 15); // 2020-06-15
        put16(entries, (10 << 11) | (20 << 5) | 15);          // 10:20:30
        put16(entries, 0x20);
        entries += name;
        entries.append('\0');
        data += content;
    }
    const quint32 headerSize = 36, folderSize = 8;
    const quint32 dataAt = headerSize + folderSize + static_cast<quint32>(entries.size());
    QByteArray cab("MSCF");
    put32(cab, 0);
    put32(cab, dataAt + 8 + static_cast<quint32>(data.size()));
    put32(cab, 0);
    put32(cab, headerSize + folderSize);
    put32(cab, 0);
    cab.append('\x03');
    cab.append('\x01');
    put16(cab, 1);
    put16(cab, static_cast<quint16>(files.size()));
    put16(cab, 0);
    put16(cab, 0x1234);
    put16(cab, 0);
    put32(cab, dataAt); // the folder: its data block, one block, stored
    put16(cab, 1);
    put16(cab, 0);
    cab += entries;
    put32(cab, 0); // no checksum
    put16(cab, static_cast<quint16>(data.size()));
    put16(cab, static_cast<quint16>(data.size()));
    cab += data;
    return cab;
}

} // namespace testcab
