#pragma once

#include <QByteArray>
#include <QHash>
#include <functional>

namespace zarq {

// Decides which rtnetlink messages can change the LAN address or whether the machine reaches
// the service: IPv4 addresses added or removed, IPv4 unicast routes of the main table, and an
// interface going up or down (or losing its carrier) while it holds the default route.
// Neighbour and statistics messages, routes of other tables and another interface's link flap
// without an address or route change count for nothing. Pure over bytes, so recorded kernel
// messages can be replayed in tests.
class NetlinkFilter {
public:
    // The kernel index of the interface holding the default route (0 for none), asked only for
    // link messages.
    std::function<unsigned()> defaultInterface = [] { return 0u; };

    // True when one of the messages in the datagram `bytes` matters. Malformed or truncated
    // messages are skipped, never read past.
    bool matters(const QByteArray& bytes);

private:
    bool linkMatters(unsigned index, unsigned flags, bool removed);

    QHash<unsigned, unsigned> m_linkFlags; // last IFF_UP|IFF_RUNNING|IFF_LOWER_UP per index
};

} // namespace zarq
