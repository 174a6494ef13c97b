#include "netinfo/NetlinkFilter.h"

#include <linux/if.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>

namespace zarq {

namespace {

constexpr unsigned kStateFlags = IFF_UP | IFF_RUNNING | IFF_LOWER_UP;

// The table a route message belongs to: RTA_TABLE when present (tables above 255), else the
// header's byte.
unsigned routeTable(const nlmsghdr* h, const rtmsg* r) {
    unsigned table = r->rtm_table;
    int left = int(h->nlmsg_len) - int(NLMSG_LENGTH(sizeof(rtmsg)));
    for (const rtattr* a = RTM_RTA(r); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        if (a->rta_type == RTA_TABLE && RTA_PAYLOAD(a) >= sizeof(quint32))
            std::memcpy(&table, RTA_DATA(a), sizeof(quint32));
    }
    return table;
}

} // namespace

bool NetlinkFilter::linkMatters(unsigned index, unsigned flags, bool removed) {
    const auto known = m_linkFlags.constFind(index);
    const bool seen = known != m_linkFlags.constEnd();
    const unsigned before = seen ? *known : 0;
    if (removed)
        m_linkFlags.remove(index);
    else
        m_linkFlags.insert(index, flags & kStateFlags);
    // The first message about an interface tells its state, not a change of it; a changed
    // state matters only on the interface that carries the traffic (other interfaces matter
    // through the address and route messages their changes bring).
    const bool changed = removed || (seen && before != (flags & kStateFlags));
    return changed && index == defaultInterface();
}

bool NetlinkFilter::matters(const QByteArray& bytes) {
    bool result = false;
    int left = int(bytes.size());
    // The datagram's bytes are copied into an aligned buffer: the NLMSG macros assume it.
    QByteArray aligned(bytes.size() + int(NLMSG_ALIGNTO), '\0');
    char* base = aligned.data();
    base += (NLMSG_ALIGNTO - reinterpret_cast<quintptr>(base) % NLMSG_ALIGNTO) % NLMSG_ALIGNTO;
    std::memcpy(base, bytes.constData(), size_t(bytes.size()));
    for (auto* h = reinterpret_cast<const nlmsghdr*>(base); NLMSG_OK(h, left);
         h = NLMSG_NEXT(h, left)) {
        switch (h->nlmsg_type) {
        case RTM_NEWADDR:
        case RTM_DELADDR:
            if (h->nlmsg_len >= NLMSG_LENGTH(sizeof(ifaddrmsg)) &&
                static_cast<const ifaddrmsg*>(NLMSG_DATA(h))->ifa_family == AF_INET)
                result = true;
            break;
        case RTM_NEWROUTE:
        case RTM_DELROUTE: {
            if (h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
                break;
            const auto* r = static_cast<const rtmsg*>(NLMSG_DATA(h));
            if (r->rtm_family == AF_INET && r->rtm_type == RTN_UNICAST &&
                !(r->rtm_flags & RTM_F_CLONED) && routeTable(h, r) == RT_TABLE_MAIN)
                result = true;
            break;
        }
        case RTM_NEWLINK:
        case RTM_DELLINK: {
            if (h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
                break;
            const auto* i = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
            if (linkMatters(unsigned(i->ifi_index), i->ifi_flags, h->nlmsg_type == RTM_DELLINK))
                result = true;
            break;
        }
        default:
            break; // neighbours, statistics, errors and the rest change nothing we report
        }
    }
    return result;
}

} // namespace zarq
