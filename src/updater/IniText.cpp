#include "updater/IniText.h"

#include "platform/TextCodec.h"

#include <QFile>
#include <algorithm>
#include <climits>

namespace zarq {

namespace {

QString unquoted(const QString& value) {
    if (value.size() >= 2 &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

IniText IniText::load(const QString& path, bool* tooLarge) {
    QFile file(path);
    const bool large = file.size() > kMaxBytes;
    if (tooLarge)
        *tooLarge = large;
    if (large || !file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.read(kMaxBytes + 1));
}

namespace {

QString indexKey(const QString& section, const QString& key) {
    return section.toUpper() + QLatin1Char('\n') + key.toUpper();
}

} // namespace

IniText IniText::parse(const QByteArray& bytes) {
    IniText ini;
    QString section;
    const QStringList lines = TextCodec::fromUtf8OrCp936(bytes).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            section = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        // The first of repeated keys counts, as the profile functions find it first.
        const QString key = indexKey(section, line.left(eq).trimmed());
        if (!ini.m_values.contains(key))
            ini.m_values.insert(key, unquoted(line.mid(eq + 1).trimmed()));
    }
    return ini;
}

QString IniText::value(const QString& section, const QString& key,
                       const QString& defaultValue) const {
    return m_values.value(indexKey(section, key), defaultValue);
}

int IniText::integer(const QString& section, const QString& key, int defaultValue) const {
    const QString text = value(section, key);
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    const qsizetype first = i;
    long long n = 0;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128 && n < INT_MAX)
        n = n * 10 + (text[i++].unicode() - '0');
    if (i == first)
        return defaultValue;
    n = std::min<long long>(n, INT_MAX);
    return static_cast<int>(negative ? -n : n);
}

} // namespace zarq
