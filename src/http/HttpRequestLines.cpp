#include "http/HttpRequestLines.h"

#include <QString>

namespace zarq {

QList<QByteArray> ComposeRequestLines(const HttpRequestFields& f) {
    QList<QByteArray> lines;
    lines.append(f.method + ' ' + f.path + " HTTP/" + f.version);
    if (!f.sender.isEmpty())
        lines.append("From: " + f.sender);
    if (!f.accept.isEmpty())
        lines.append("Accept: " + f.accept);
    if (!f.reference.isEmpty())
        lines.append("Referer: " + f.reference);
    if (!f.connection.isEmpty())
        lines.append("Connection: " + f.connection);
    if (!f.acceptLanguage.isEmpty())
        lines.append("Accept-Language: " + f.acceptLanguage);
    if (f.method == "POST" || f.method == "PUT")
        lines.append("Content-Type: " + f.contentTypePost);
    if (!f.agent.isEmpty())
        lines.append("User-Agent: " + f.agent);
    if (f.port == "80" || f.port.isEmpty())
        lines.append("Host: " + f.host);
    else
        lines.append("Host: " + f.host + ':' + f.port);
    if (f.noCache)
        lines.append("Pragma: no-cache");
    if (!f.proxyConnection.isEmpty())
        lines.append("Proxy-Connection: " + f.proxyConnection);
    if (f.modifiedSince.isValid()) {
        static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const QDateTime t = f.modifiedSince.toUTC();
        const QDate d = t.date();
        const QTime tm = t.time();
        lines.append(QByteArray("If-Modified-Since: ") + kDays[d.dayOfWeek() - 1] + ", " +
                     QString::asprintf("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", d.day(),
                                       kMonths[d.month() - 1], d.year(), tm.hour(), tm.minute(),
                                       tm.second())
                         .toLatin1() +
                     " GMT");
    }
    if (!f.cookie.isEmpty())
        lines.append("Cookie: " + f.cookie);
    if (!f.rangeBegin.isEmpty() || !f.rangeEnd.isEmpty())
        lines.append("Range: bytes=" + f.rangeBegin + '-' + f.rangeEnd);
    return lines;
}

} // namespace zarq
