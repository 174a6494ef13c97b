// Which kernel messages make a network-change event, replayed from recorded datagrams, and
// how a burst becomes one event.
#include "netinfo/NetlinkFilter.h"
#include "RecordedNetlink.h"
#include "netinfo/NetworkChangeWatcher.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace zarq;
namespace rec = zarq::test::netlink;

namespace {

template <size_t N> std::vector<QByteArray> datagrams(const std::array<const char*, N>& hex) {
    std::vector<QByteArray> out;
    for (const char* h : hex)
        out.push_back(QByteArray::fromHex(h));
    return out;
}

std::vector<QByteArray> operator+(std::vector<QByteArray> a, const std::vector<QByteArray>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(NetlinkFilter, RecordedChangesTable) {
    struct Case {
        const char* what;
        unsigned defaultIndex;
        std::vector<QByteArray> in;
        std::vector<bool> out;
    };
    const Case cases[] = {
        {"IPv4 address added: the address and its main-table subnet route, not the local table",
         3,
         datagrams(rec::kAddressAdded),
         {true, false, true, false}},
        {"default route added", 3, datagrams(rec::kDefaultRouteAdded), {true}},
        {"IPv6 address and routes", 3, datagrams(rec::kIpv6AddressAdded), {false, false, false}},
        {"neighbour entry", 3, datagrams(rec::kNeighbourAdded), {false}},
        {"route in another table", 3, datagrams(rec::kOtherTableRoute), {false}},
        {"new interfaces appear", 3, datagrams(rec::kVethAdded), {false, false}},
        {"another interface comes up and goes down",
         3,
         datagrams(rec::kVethAdded) + datagrams(rec::kOtherLinkFlap),
         {false, false, false, false, false, false}},
        {"the default route's interface gets its carrier",
         3,
         datagrams(rec::kLinksUp),
         {false, false, false, false, false, false, false, true}},
        {"an interface gets its carrier while no default route exists",
         0,
         datagrams(rec::kLinksUp),
         {false, false, false, false, false, false, false, false}},
        {"the default route's interface loses its carrier (its peer went down)",
         3,
         datagrams(rec::kLinksUp) + datagrams(rec::kDefaultLinkLostCarrier),
         {false, false, false, false, false, false, false, true, false, false, false, false, false,
          false, false, false, true}},
        {"the default route's interface changes its mtu: the same state is no change",
         3,
         datagrams(rec::kLinksUp) + datagrams(rec::kDefaultLinkMtuChanged),
         {false, false, false, false, false, false, false, true, false}},
        {"the default route's interface gets running, then goes down",
         2,
         datagrams(rec::kLinksUp) + datagrams(rec::kDefaultLinkLostCarrier),
         {false, false, false, false, true, false, false, false, true, false, false, false, false,
          false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.in.size(), c.out.size());
        NetlinkFilter filter;
        filter.defaultInterface = [&c] { return c.defaultIndex; };
        for (size_t i = 0; i < c.in.size(); ++i)
            EXPECT_EQ(filter.matters(c.in[i]), c.out[i]) << "datagram " << i;
    }
}

TEST(NetlinkFilter, MalformedAndJoinedDatagrams) {
    const QByteArray address = QByteArray::fromHex(rec::kAddressAdded[0]);
    const QByteArray neighbour = QByteArray::fromHex(rec::kNeighbourAdded[0]);
    struct Case {
        const char* what;
        QByteArray bytes;
        bool matters;
    };
    const Case cases[] = {
        {"empty", QByteArray(), false},
        {"shorter than a header", address.left(7), false},
        {"header only, length claims more", address.left(16), false},
        {"body cut short", address.left(20), false},
        {"length field beyond the datagram", address.left(address.size() - 1), false},
        {"neighbour then address in one datagram", neighbour + address, true},
        {"address then a cut-off message", address + neighbour.left(10), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NetlinkFilter filter;
        EXPECT_EQ(filter.matters(c.bytes), c.matters);
    }
}

TEST(NetworkChangeWatcher, ABurstGivesOneEventAndNoiseNone) {
    NetworkChangeWatcher watcher;
    watcher.setSettleMs(50);
    int events = 0;
    QObject::connect(&watcher, &NetworkChangeWatcher::changed, [&events] { ++events; });

    for (const char* hex : rec::kNeighbourAdded)
        watcher.feed(QByteArray::fromHex(hex));
    for (const char* hex : rec::kIpv6AddressAdded)
        watcher.feed(QByteArray::fromHex(hex));
    // Several settle times pass: noise never becomes an event.
    EXPECT_FALSE(waitFor([&events] { return events > 0; }, 300));

    for (int round = 0; round < 5; ++round) {
        for (const char* hex : rec::kAddressAdded)
            watcher.feed(QByteArray::fromHex(hex));
        watcher.feed(QByteArray::fromHex(rec::kDefaultRouteAdded[0]));
    }
    EXPECT_EQ(events, 0); // nothing before the settle time
    ASSERT_TRUE(waitFor([&events] { return events > 0; }));
    EXPECT_FALSE(waitFor([&events] { return events > 1; }, 300));
    EXPECT_EQ(events, 1);
}

TEST(NetworkChangeWatcher, WithItsOwnSettleTimeABurstOverSomeHundredMillisecondsIsOneEvent) {
    // A reconnect's messages come spread over a few hundred milliseconds, not at once; with the
    // settle time the program runs with they still make one sign-in, not one per message.
    NetworkChangeWatcher watcher;
    int events = 0;
    int eventsDuringBurst = -1;
    QObject::connect(&watcher, &NetworkChangeWatcher::changed, [&events] { ++events; });

    // Five rounds of an address with its routes, 150 ms apart: 600 ms from the first to the last.
    constexpr int kRounds = 5;
    int rounds = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        for (const char* hex : rec::kAddressAdded)
            watcher.feed(QByteArray::fromHex(hex));
        watcher.feed(QByteArray::fromHex(rec::kDefaultRouteAdded[0]));
        if (++rounds == kRounds) {
            pace.stop();
            eventsDuringBurst = events;
        }
    });
    pace.start(150);

    ASSERT_TRUE(waitFor([&] { return rounds == kRounds && events > 0; }));
    EXPECT_EQ(eventsDuringBurst, 0);
    EXPECT_EQ(events, 1);
}

TEST(NetworkChangeWatcher, OpensTheKernelSocket) {
    // Joining the route groups needs no privilege.
    NetworkChangeWatcher watcher;
    EXPECT_TRUE(watcher.start()) << watcher.error().toStdString();
}

} // namespace
