#pragma once

#include <QByteArray>

namespace zarq {

// The parts of a URL as the HTTP client splits it; every part empty unless found.
struct HttpUrlParts {
    QByteArray scheme;
    QByteArray user;
    QByteArray password;
    QByteArray host;
    QByteArray port;
    QByteArray path; // path and query, "#" fragment included, bytes untouched

    bool operator==(const HttpUrlParts&) const = default;
};

// Splits `url`; `basePath` is the request path that "./" and "../" forms are relative to.
// No percent decoding or encoding takes place.
HttpUrlParts SplitHttpUrl(const QByteArray& url, const QByteArray& basePath);

} // namespace zarq
