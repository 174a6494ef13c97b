#pragma once

#include <QByteArray>
#include <QString>

namespace zarq {

// The service's addresses. Each has a built-in default, which the environment overrides
// (ZARQ_ECHO_HOST, ZARQ_API_HOST, ZARQ_UPDATE_URL, ZARQ_SITE, ZARQ_ZONE) and which the
// command line overrides in turn. A host may carry a port ("127.0.0.1:8080").
struct ZarqConfig {
    // Built-in defaults.
    static constexpr const char* kEchoHost = "ip.tervan.com";
    static constexpr const char* kApiHost = "zarq.tervan.com";
    static constexpr const char* kUpdateUrl = "http://update.tervan.com/zarq/update1.txt";
    static constexpr const char* kSite = "http://www.tervan.com";
    // The parent zone offered by the login dialog's zone list (its only entry).
    static constexpr const char* kParentZone = "dyn.tervan.com";

    QByteArray echoHost = kEchoHost;
    QByteArray apiHost = kApiHost;
    QByteArray updateUrl = kUpdateUrl;
    QByteArray site = kSite;
    QString parentZone = QString::fromLatin1(kParentZone);

    // The defaults with the environment's overrides applied. A malformed override is
    // reported through `error` (left empty when all is well) and leaves the default in place.
    static ZarqConfig fromEnvironment(QString* error);

    // Checks "host" or "host:port" (letters, digits, '.', '-', '_'; port 1 to 65535). Returns
    // an empty string when valid, else what is wrong. Hosts go into URLs unescaped, so
    // anything else (a '/', a blank, a '?') is refused rather than sent.
    static QString checkHost(const QByteArray& host);
};

} // namespace zarq
