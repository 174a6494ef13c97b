#pragma once

#include <QHash>
#include <QString>

namespace zarq {

// An INI file read the way Windows' profile functions read it: "[section]" lines open a
// section, "key=value" lines give values, section and key names match without regard to case
// (the first match counts), values are trimmed and lose one pair of enclosing quotes, lines
// beginning with ";" are comments. Text is UTF-8 when it is valid UTF-8, else code page 936
// (list files written for the Windows client).
class IniText {
public:
    // The largest file read: a list file names a few files; a huge one would only cost time and
    // memory while the program is not running.
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    // An unreadable file, or one larger than kMaxBytes, reads as empty; `tooLarge` tells which.
    static IniText load(const QString& path, bool* tooLarge = nullptr);
    static IniText parse(const QByteArray& bytes);

    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const;
    // An optional sign and the decimal digits that follow it; `defaultValue` when there are none.
    int integer(const QString& section, const QString& key, int defaultValue) const;

private:
    // "SECTION\nKEY" (upper case) -> the first value; looked up once per key of a list, so a
    // list of many entries costs time in proportion to its length, not to its square.
    QHash<QString, QString> m_values;
};

} // namespace zarq
