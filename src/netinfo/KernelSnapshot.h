#pragma once

#include "netinfo/KernelInterface.h"
#include "netinfo/KernelRoute.h"

#include <QList>

namespace zarq {

// What the kernel says about interfaces, their IPv4 addresses and the IPv4 routes at one
// moment. Taken afresh for every LAN address resolution and every adapter report.
class KernelSnapshot {
public:
    // Reads interfaces and addresses with getifaddrs and the main routing table from
    // `routeFile` (normally /proc/net/route). Throws SystemError when either cannot be read.
    static KernelSnapshot read(const QString& routeFile = QStringLiteral("/proc/net/route"));

    // The routes of a /proc/net/route text that are up, in the file's order.
    static QList<KernelRoute> parseRouteTable(const QByteArray& text);

    // Dotted-quad text of an address in network byte order.
    static QString dottedText(quint32 address);

    // The driver bound to the interface's device (empty for virtual interfaces).
    static QString driverName(const QString& interfaceName);

    QList<KernelInterface> interfaces; // in interface-index order
    QList<KernelRoute> routes;

    // The next hops of the default routes through the interface, each once, in route order.
    QList<quint32> defaultGateways(unsigned interfaceIndex) const;
};

} // namespace zarq
