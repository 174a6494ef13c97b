#include "platform/ZarqConfig.h"

#include <QStringList>

namespace zarq {

QString ZarqConfig::checkHost(const QByteArray& host) {
    if (host.isEmpty())
        return QStringLiteral("the host is empty");
    const qsizetype colon = host.indexOf(':');
    const QByteArray name = colon < 0 ? host : host.left(colon);
    if (name.isEmpty())
        return QStringLiteral("\"%1\" has no host name").arg(QString::fromLatin1(host));
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok)
            return QStringLiteral("\"%1\" is not a host name (only letters, digits, '.', '-' and "
                                  "'_', optionally followed by ':port')")
                .arg(QString::fromLatin1(host));
    }
    if (colon >= 0) {
        const QByteArray port = host.mid(colon + 1);
        bool ok = !port.isEmpty() && port.size() <= 5;
        for (const char c : port)
            ok = ok && c >= '0' && c <= '9';
        const int value = ok ? port.toInt() : 0;
        if (!ok || value < 1 || value > 65535)
            return QStringLiteral("\"%1\" has no valid port (1 to 65535)")
                .arg(QString::fromLatin1(host));
    }
    return {};
}

ZarqConfig ZarqConfig::fromEnvironment(QString* error) {
    ZarqConfig config;
    QStringList problems;
    auto host = [&](const char* variable, QByteArray& target) {
        const QByteArray value = qgetenv(variable);
        if (value.isEmpty())
            return;
        const QString why = checkHost(value);
        if (why.isEmpty())
            target = value;
        else
            problems << QStringLiteral("%1: %2").arg(QLatin1String(variable), why);
    };
    host("ZARQ_ECHO_HOST", config.echoHost);
    host("ZARQ_API_HOST", config.apiHost);
    if (const QByteArray v = qgetenv("ZARQ_UPDATE_URL"); !v.isEmpty())
        config.updateUrl = v;
    if (const QByteArray v = qgetenv("ZARQ_SITE"); !v.isEmpty())
        config.site = v;
    if (const QString v = qEnvironmentVariable("ZARQ_ZONE"); !v.isEmpty())
        config.parentZone = v;
    if (error)
        *error = problems.join(QStringLiteral("; "));
    return config;
}

} // namespace zarq
