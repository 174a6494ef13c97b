#include "update/ValueKinds.h"

namespace zarq {

namespace {

int hexDigit(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

} // namespace

int ValueKinds::ParseInteger(const QString& text, int def) {
    QStringView digits(text);
    bool hex = false;
    if (digits.startsWith(QLatin1Char('$'))) {
        hex = true;
        digits = digits.mid(1);
    } else if (digits.startsWith(QLatin1String("0x")) || digits.startsWith(QLatin1String("0X"))) {
        hex = true;
        digits = digits.mid(2);
    }
    if (hex) {
        if (digits.isEmpty() || digits.size() > 8)
            return def;
        quint32 value = 0;
        for (QChar c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return def;
            value = value * 16 + static_cast<quint32>(d);
        }
        return static_cast<int>(value);
    }
    bool negative = false;
    if (digits.startsWith(QLatin1Char('-')) || digits.startsWith(QLatin1Char('+'))) {
        negative = digits.front() == QLatin1Char('-');
        digits = digits.mid(1);
    }
    if (digits.isEmpty())
        return def;
    qint64 value = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return def;
        value = value * 10 + (c.unicode() - '0');
        if (value > qint64(1) << 31)
            return def;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL || value < -2147483648LL)
        return def;
    return static_cast<int>(value);
}

QString ValueKinds::ExpandLines(const QString& text) {
    QString lines = text;
    return lines.replace(QLatin1String("\\n"), QLatin1String("\r"));
}

} // namespace zarq
