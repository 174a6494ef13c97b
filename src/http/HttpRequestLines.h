#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

namespace zarq {

// What goes into the header of one request. Empty texts leave their lines out.
struct HttpRequestFields {
    QByteArray method = "GET";
    QByteArray path = "/";
    QByteArray version = "1.0";
    QByteArray sender;
    QByteArray accept;
    QByteArray reference;
    QByteArray connection;
    QByteArray acceptLanguage;
    QByteArray contentTypePost; // sent with POST and PUT only
    QByteArray agent;
    QByteArray host;
    QByteArray port; // "80" or empty gives the short "Host: " form
    bool noCache = false;
    QByteArray proxyConnection;
    QDateTime modifiedSince; // invalid: no "If-Modified-Since: "
    QByteArray cookie;
    QByteArray rangeBegin;
    QByteArray rangeEnd;
};

// The request lines, in the order they go out, without line ends. Bytes are kept as given.
QList<QByteArray> ComposeRequestLines(const HttpRequestFields& f);

} // namespace zarq
