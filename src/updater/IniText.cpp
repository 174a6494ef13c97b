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

IniText IniText::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

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
        ini.m_entries.append(
            {section, line.left(eq).trimmed(), unquoted(line.mid(eq + 1).trimmed())});
    }
    return ini;
}

QString IniText::value(const QString& section, const QString& key,
                       const QString& defaultValue) const {
    for (const Entry& e : m_entries) {
        if (e.section.compare(section, Qt::CaseInsensitive) == 0 &&
            e.key.compare(key, Qt::CaseInsensitive) == 0)
            return e.value;
    }
    return defaultValue;
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
