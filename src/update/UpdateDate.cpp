#include "update/UpdateDate.h"

#include <QStringList>

namespace zarq {

namespace {

// The order of day, month and year as the format's first letters give them ("dd/mm/yyyy" ->
// "dmy"); the usual day-month-year when the format names them not all.
QString fieldOrder(const QString& format) {
    QString order;
    for (QChar c : format.toLower()) {
        if ((c == QLatin1Char('d') || c == QLatin1Char('m') || c == QLatin1Char('y')) &&
            !order.contains(c))
            order += c;
    }
    return order.size() == 3 ? order : QStringLiteral("dmy");
}

bool readNumber(const QString& text, int* value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 4)
        return false;
    for (QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = trimmed.toInt();
    return true;
}

} // namespace

QDateTime UpdateDate::unreadable() {
    return QDateTime(QDate(1980, 1, 1), QTime(0, 0), Qt::LocalTime);
}

QDate UpdateDate::parseDate(const QString& text, const QString& dateFormat, QChar separator) {
    const QStringList parts = text.trimmed().split(separator);
    if (parts.size() != 3)
        return QDate();
    int day = 0, month = 0, year = 0;
    const QString order = fieldOrder(dateFormat);
    for (int i = 0; i < 3; ++i) {
        int value = 0;
        if (!readNumber(parts[i], &value))
            return QDate();
        if (order[i] == QLatin1Char('d'))
            day = value;
        else if (order[i] == QLatin1Char('m'))
            month = value;
        else
            year = value;
    }
    // A two-digit year belongs to the current century.
    if (year < 100)
        year += QDate::currentDate().year() / 100 * 100;
    return QDate(year, month, day); // invalid when the day or month is out of range
}

int UpdateDate::parseTime(const QString& text, QChar separator) {
    const QStringList parts = text.trimmed().split(separator);
    if (parts.size() < 2 || parts.size() > 3)
        return -1;
    int hours = 0, minutes = 0, seconds = 0;
    if (!readNumber(parts[0], &hours) || !readNumber(parts[1], &minutes))
        return -1;
    if (parts.size() == 3 && !readNumber(parts[2], &seconds))
        return -1;
    if (hours > 23 || minutes > 59 || seconds > 59)
        return -1;
    return hours * 3600 + minutes * 60 + seconds;
}

QDateTime UpdateDate::combine(const QString& date, const QString& time, const QString& dateFormat,
                              QChar dateSeparator, QChar timeSeparator) {
    const QDate day = parseDate(date, dateFormat, dateSeparator);
    if (!day.isValid())
        return unreadable();
    QDateTime when(day, QTime(0, 0), Qt::LocalTime);
    const int seconds = parseTime(time, timeSeparator);
    if (seconds >= 0)
        when = when.addSecs(seconds);
    return when;
}

} // namespace zarq
