#include "netinfo/DnsServers.h"

#include "netinfo/FileText.h"
#include "platform/SystemError.h"

#include <cerrno>

namespace zarq {

namespace {

// The file's nameservers; none when the file does not exist (the resolver then has none
// configured either).
QStringList serversIn(const QString& path) {
    try {
        return nameserversOf(readWholeFile(path));
    } catch (const SystemError& e) {
        if (e.code() == ENOENT)
            return {};
        throw;
    }
}

} // namespace

QStringList nameserversOf(const QByteArray& resolvConf) {
    QStringList servers;
    for (const QByteArray& raw : resolvConf.split('\n')) {
        const QList<QByteArray> words = raw.simplified().split(' ');
        if (words.size() >= 2 && words.at(0) == "nameserver")
            servers.append(QString::fromLatin1(words.at(1)));
    }
    return servers;
}

void GetDnsServers(QStringList& lines, const DnsConfigFiles& files) {
    QStringList servers = serversIn(files.resolvConf);
    if (servers == QStringList{QStringLiteral("127.0.0.53")}) {
        const QStringList upstream = serversIn(files.upstreamConf);
        if (!upstream.isEmpty())
            servers = upstream;
    }
    lines.clear();
    if (servers.isEmpty())
        servers.append(QString()); // the first entry always gives a line
    for (qsizetype n = 0; n < servers.size(); ++n)
        lines.append(QStringLiteral("DNS %1: %2").arg(n + 1).arg(servers.at(n)));
}

} // namespace zarq
