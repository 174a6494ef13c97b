#pragma once

#include <QDateTime>
#include <QString>

namespace zarq {

// Dates and times of the control file, read with the component's formats (not the machine's):
// a date is day, month and year in the order the date format gives, separated by the date
// separator; a time is hours and minutes, optionally seconds, separated by the time separator.
// All local time.
class UpdateDate {
public:
    // The date that stands for one that cannot be read: 1 January 1980, 00:00.
    static QDateTime unreadable();
    // An invalid QDate when the text is not a date in this format.
    static QDate parseDate(const QString& text, const QString& dateFormat, QChar separator);
    // -1 when the text is not a time, else the seconds since midnight.
    static int parseTime(const QString& text, QChar separator);
    // The date with its time added; an unreadable date gives unreadable(), an unreadable or
    // empty time adds nothing.
    static QDateTime combine(const QString& date, const QString& time, const QString& dateFormat,
                             QChar dateSeparator, QChar timeSeparator);
};

} // namespace zarq
