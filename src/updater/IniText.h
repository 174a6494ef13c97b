#pragma once

#include <QList>
#include <QString>

namespace zarq {

// An INI file read the way Windows' profile functions read it: "[section]" lines open a
// section, "key=value" lines give values, section and key names match without regard to case
// (the first match counts), values are trimmed and lose one pair of enclosing quotes, lines
// beginning with ";" are comments. Text is UTF-8 when it is valid UTF-8, else code page 936
// (list files written for the Windows client).
class IniText {
public:
    static IniText load(const QString& path);
    static IniText parse(const QByteArray& bytes);

    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const;
    // An optional sign and the decimal digits that follow it; `defaultValue` when there are none.
    int integer(const QString& section, const QString& key, int defaultValue) const;

private:
    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    QList<Entry> m_entries;
};

} // namespace zarq
