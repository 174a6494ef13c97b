#pragma once

#include <QByteArray>

namespace zarq {

// Writes the LZ file format that Windows' LZ expansion and libmspack read ("SZDD", mode "A"):
// a 14-byte header (signature, mode, the expanded name's last character, the expanded length)
// and LZSS data over a 4096-byte window. Used at build time to pack the updater program.
class SzddWriter {
public:
    // The compressed form of `data`; `missingChar` is the character that the compressed file's
    // name lacks ("e" for updater.ex_ -> updater.exe).
    static QByteArray compress(const QByteArray& data, char missingChar);
};

} // namespace zarq
