#include "update/VersionValue.h"

namespace zarq {

namespace {

// Reads a decimal number the way the original number reader does: leading blanks and a sign
// allowed; `whole` tells whether the entire text was the number. A text that is not wholly a
// number still yields the digits before its first other character.
int readNumber(const QString& text, bool* whole) {
    int i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    const int start = i;
    quint32 value = 0;
    while (i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
        value = value * 10 + static_cast<quint32>(text[i].unicode() - '0');
        ++i;
    }
    *whole = i > start && i == text.size();
    return static_cast<int>(negative ? 0u - value : value);
}

qint32 half(int upper, int lower) {
    return static_cast<qint32>((static_cast<quint32>(upper) & 0xFFFF) << 16 |
                               (static_cast<quint32>(lower) & 0xFFFF));
}

// Takes the text before the first separator out of `rest`; false when there is none.
bool takePart(QString& rest, QChar separator, QString* part) {
    const int at = rest.indexOf(separator);
    if (at < 0)
        return false;
    *part = rest.left(at);
    rest = rest.mid(at + 1);
    return true;
}

} // namespace

QString VersionValue::toString() const {
    const auto h = static_cast<quint32>(High);
    const auto l = static_cast<quint32>(Low);
    return QStringLiteral("%1.%2.%3.%4").arg(h >> 16).arg(h & 0xFFFF).arg(l >> 16).arg(l & 0xFFFF);
}

VersionValue VersionValue::fromParts(int major, int minor, int release, int build) {
    return VersionValue{half(major, minor), half(release, build)};
}

VersionValue VersionValue::parse(const QString& text) {
    VersionValue value;
    QChar separator;
    if (text.contains(QLatin1Char(',')))
        separator = QLatin1Char(',');
    else if (text.contains(QLatin1Char('.')))
        separator = QLatin1Char('.');
    bool whole = false;
    if (separator.isNull()) {
        const int number = readNumber(text, &whole);
        if (whole)
            value = VersionValue{half(number, 0), 0};
        return value;
    }
    QString rest = text;
    QString part;
    takePart(rest, separator, &part);
    const int major = readNumber(part, &whole);
    if (!whole || !rest.contains(separator)) {
        value.High = half(major, readNumber(rest, &whole));
        value.Low = 0;
        return value;
    }
    takePart(rest, separator, &part);
    value.High = half(major, readNumber(part, &whole));
    if (!whole || !rest.contains(separator)) {
        value.Low = half(readNumber(rest, &whole), 0);
        return value;
    }
    takePart(rest, separator, &part);
    const int release = readNumber(part, &whole);
    const int build = readNumber(rest, &whole);
    if (whole)
        value.Low = half(release, build);
    return value;
}

} // namespace zarq
