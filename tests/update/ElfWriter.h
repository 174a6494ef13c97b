#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// A minimal ELF file: header, the given note sections, and the section table at the end.
class ElfWriter {
public:
    ElfWriter(bool wide, bool bigEndian) : FWide(wide), FBig(bigEndian) {}

    void addNote(const QByteArray& owner, quint32 type, const QByteArray& desc) {
        QByteArray note;
        put(note, owner.size() + 1, 4);
        put(note, desc.size(), 4);
        put(note, type, 4);
        note += owner + QByteArray(1, '\0');
        note += QByteArray((4 - note.size() % 4) % 4, '\0');
        note += desc;
        note += QByteArray((4 - note.size() % 4) % 4, '\0');
        FNotes.append(note);
    }
    static QByteArray parts(quint16 a, quint16 b, quint16 c, quint16 d, bool big) {
        QByteArray out;
        for (quint16 v : {a, b, c, d}) {
            for (int i = 0; i < 2; ++i)
                out += char(big ? (v >> (8 * (1 - i))) & 0xFF : (v >> (8 * i)) & 0xFF);
        }
        return out;
    }
    QByteArray bytes() const {
        const int headerSize = FWide ? 64 : 52;
        const int entrySize = FWide ? 64 : 40;
        QByteArray body;
        QList<QPair<int, int>> places;
        for (const QByteArray& note : FNotes) {
            places.append({headerSize + body.size(), note.size()});
            body += note;
        }
        const int tableAt = headerSize + body.size();
        QByteArray out("\x7f"
                       "ELF");
        out += char(FWide ? 2 : 1);
        out += char(FBig ? 2 : 1);
        out += char(1);
        out += QByteArray(9, '\0');
        put(out, 2, 2);             // e_type
        put(out, 62, 2);            // e_machine
        put(out, 1, 4);             // e_version
        put(out, 0, FWide ? 8 : 4); // e_entry
        put(out, 0, FWide ? 8 : 4); // e_phoff
        put(out, tableAt, FWide ? 8 : 4);
        put(out, 0, 4); // e_flags
        put(out, headerSize, 2);
        put(out, 0, 2); // e_phentsize
        put(out, 0, 2); // e_phnum
        put(out, entrySize, 2);
        put(out, FNotes.size() + 1, 2);
        put(out, 0, 2); // e_shstrndx
        out += body;
        out += QByteArray(entrySize, '\0'); // the null section
        for (const auto& [offset, size] : places) {
            QByteArray entry;
            put(entry, 0, 4); // sh_name
            put(entry, 7, 4); // SHT_NOTE
            put(entry, 2, FWide ? 8 : 4);
            put(entry, 0, FWide ? 8 : 4);
            put(entry, offset, FWide ? 8 : 4);
            put(entry, size, FWide ? 8 : 4);
            put(entry, 0, 4);
            put(entry, 0, 4);
            put(entry, 4, FWide ? 8 : 4);
            put(entry, 0, FWide ? 8 : 4);
            out += entry;
        }
        return out;
    }

private:
    void put(QByteArray& out, quint64 value, int size) const {
        for (int i = 0; i < size; ++i) {
            const int shift = FBig ? 8 * (size - 1 - i) : 8 * i;
            out += char((value >> shift) & 0xFF);
        }
    }
    bool FWide;
    bool FBig;
    QList<QByteArray> FNotes;
};
