#pragma once

#include <QString>
#include <QStringList>

namespace zarq {

// Where the resolver configuration is read from: the nameserver lines of `resolvConf`;
// when those name only the local stub resolver 127.0.0.53, the servers behind the stub
// from `upstreamConf`.
struct DnsConfigFiles {
    QString resolvConf = QStringLiteral("/etc/resolv.conf");
    QString upstreamConf = QStringLiteral("/run/systemd/resolve/resolv.conf");
};

// Clears `lines` and fills it with "DNS <n>: <address>", one line per server, numbered from
// 1. With no server at all there is still the line "DNS 1: ". Throws SystemError when the
// configuration exists but cannot be read (`lines` is then left as it was).
void GetDnsServers(QStringList& lines, const DnsConfigFiles& files = DnsConfigFiles());

// The addresses of the nameserver lines of a resolv.conf text, in order.
QStringList nameserversOf(const QByteArray& resolvConf);

} // namespace zarq
