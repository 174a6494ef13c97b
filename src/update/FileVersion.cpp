#include "update/FileVersion.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace zarq {

namespace {

constexpr quint32 kSectionNote = 7;
// Bounds that keep a damaged or hostile file from costing more than a glance.
constexpr quint32 kMaxSections = 4096;
constexpr quint64 kMaxNoteSection = 1 << 20;

// Reads integers of the file's width and byte order out of a header.
class Fields {
public:
    Fields(const QByteArray& bytes, bool bigEndian) : FBytes(bytes), FBig(bigEndian) {}
    bool has(qint64 at, int size) const { return at >= 0 && at + size <= FBytes.size(); }
    quint64 get(qint64 at, int size) const {
        quint64 value = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(FBytes[at + (FBig ? i : size - 1 - i)]);
            value = value << 8 | byte;
        }
        return value;
    }

private:
    const QByteArray& FBytes;
    bool FBig;
};

QByteArray readAt(QFile& file, quint64 offset, quint64 size) {
    if (!file.seek(static_cast<qint64>(offset)))
        return QByteArray();
    return file.read(static_cast<qint64>(size));
}

// Looks through one note section for Zarq's version note.
bool findNote(const QByteArray& notes, bool bigEndian, quint64 align, VersionValue* version) {
    const Fields f(notes, bigEndian);
    const auto pad = [align](quint64 n) { return (n + align - 1) / align * align; };
    qint64 at = 0;
    while (f.has(at, 12)) {
        const quint64 nameSize = f.get(at, 4);
        const quint64 descSize = f.get(at + 4, 4);
        const quint64 type = f.get(at + 8, 4);
        const qint64 name = at + 12;
        const qint64 desc = name + static_cast<qint64>(pad(nameSize));
        if (nameSize > kMaxNoteSection || descSize > kMaxNoteSection ||
            !f.has(desc, static_cast<int>(descSize)))
            return false;
        if (type == FileVersion::kNoteType && nameSize == 5 && descSize == 8 &&
            std::memcmp(notes.constData() + name, "Zarq", 5) == 0) {
            *version = VersionValue::fromParts(
                static_cast<int>(f.get(desc, 2)), static_cast<int>(f.get(desc + 2, 2)),
                static_cast<int>(f.get(desc + 4, 2)), static_cast<int>(f.get(desc + 6, 2)));
            return true;
        }
        at = desc + static_cast<qint64>(pad(descSize));
    }
    return false;
}

} // namespace

VersionValue FileVersion::read(const QString& path) {
    VersionValue none;
    // Only a regular file has a version; opening a named pipe the control file names would
    // block the run.
    if (!QFileInfo(path).isFile())
        return none;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return none;
    const QByteArray header = file.read(64);
    if (header.size() < 52 || !header.startsWith("\x7f"
                                                 "ELF"))
        return none;
    const bool wide = header[4] == 2;
    const bool bigEndian = header[5] == 2;
    if (wide && header.size() < 64)
        return none;
    if ((header[4] != 1 && !wide) || (header[5] != 1 && !bigEndian))
        return none;
    const Fields h(header, bigEndian);
    const int word = wide ? 8 : 4;
    const quint64 sectionTable = h.get(wide ? 0x28 : 0x20, word);
    const quint64 entrySize = h.get(wide ? 0x3A : 0x2E, 2);
    const quint64 count = h.get(wide ? 0x3C : 0x30, 2);
    if (count == 0 || count > kMaxSections || entrySize < (wide ? 64u : 40u))
        return none;
    const QByteArray table = readAt(file, sectionTable, entrySize * count);
    if (static_cast<quint64>(table.size()) != entrySize * count)
        return none;
    const Fields s(table, bigEndian);
    for (quint64 i = 0; i < count; ++i) {
        const qint64 entry = static_cast<qint64>(i * entrySize);
        if (s.get(entry + 4, 4) != kSectionNote)
            continue;
        const quint64 offset = s.get(entry + (wide ? 0x18 : 0x10), word);
        const quint64 size = s.get(entry + (wide ? 0x20 : 0x14), word);
        const quint64 align = s.get(entry + (wide ? 0x30 : 0x20), word) == 8 ? 8 : 4;
        if (size > kMaxNoteSection)
            continue;
        VersionValue version;
        if (findNote(readAt(file, offset, size), bigEndian, align, &version))
            return version;
    }
    return none;
}

} // namespace zarq
