#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace zarq {

// The update control file, read with the rules of the Windows INI reader: "[name]" opens a
// section, "key=value" gives a value, section and key names match without regard to case, the
// first of repeated sections or keys counts, values are trimmed (and lose one pair of enclosing
// quotes) and keep at most 2047 bytes. The bytes are UTF-8 when the whole file is valid UTF-8
// (with or without a byte order mark), as editors here write it, else code page 936, as the
// Windows client's files are. Nothing is ever written.
class ControlFile {
public:
    static constexpr int kMaxValueBytes = 2047;

    ControlFile() = default;
    static ControlFile fromBytes(const QByteArray& bytes);
    // An unreadable or missing file reads as an empty one.
    static ControlFile fromFile(const QString& path);

    bool hasValue(const QString& section, const QString& key) const;
    // The value as read; `def` when the key is absent.
    QString ReadString(const QString& section, const QString& key,
                       const QString& def = QString()) const;
    // An integer value ("$"/"0x" for hexadecimal); `def` when absent or not a number.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // A flag: on only when the integer value is exactly 1.
    bool ReadFlag(const QString& section, const QString& key, int def) const;

private:
    // Upper-cased section name -> upper-cased key name -> raw value bytes.
    QHash<QString, QHash<QString, QByteArray>> FSections;
    bool FUtf8 = false;
    QString decode(const QByteArray& bytes) const;
};

} // namespace zarq
