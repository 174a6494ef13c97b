#include "netinfo/KernelWmiLocator.h"
#include "netinfo/LanAddress.h"
#include "netinfo/WmiError.h"
#include "netinfo/WmiQuery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <utility>

using namespace zarq;

namespace {

quint32 ip(const char* text) {
    return ::inet_addr(text);
}

// lo; eth0 with two addresses and the default route; wlan0 without an address; tun0 with
// a second default route through it.
KernelSnapshot fixture() {
    KernelSnapshot s;
    s.interfaces = {
        {1,
         "lo",
         IFF_UP | IFF_LOOPBACK,
         ARPHRD_LOOPBACK,
         QByteArray(6, '\0'),
         {{ip("127.0.0.1"), ip("255.0.0.0")}},
         {}},
        {2,
         "eth0",
         IFF_UP,
         ARPHRD_ETHER,
         QByteArray::fromHex("001a2b3c4d5e"),
         {{ip("192.168.1.20"), ip("255.255.255.0")}, {ip("192.168.1.21"), ip("255.255.255.0")}},
         "e1000e"},
        {3, "wlan0", IFF_UP, ARPHRD_ETHER, QByteArray::fromHex("020000000003"), {}, {}},
        {4, "tun0", IFF_UP, ARPHRD_NONE, QByteArray(), {{ip("10.8.0.2"), ip("255.255.255.0")}}, {}},
    };
    s.routes = {
        {"eth0", 2, 0, ip("192.168.1.1"), 0, 100, 0x3},
        {"eth0", 2, ip("192.168.1.0"), 0, ip("255.255.255.0"), 100, 0x1},
        {"tun0", 4, 0, ip("10.8.0.1"), 0, 200, 0x3},
    };
    return s;
}

class KernelWmiTest : public testing::Test {
protected:
    int run(const QString& query, const QString& server = QStringLiteral("."),
            const QString& nameSpace = QStringLiteral("root\\CIMV2"),
            const QString& user = QString()) {
        return RunWmiQuery(locator, server, nameSpace, user, QString(), query, table, count, error);
    }

    int snapshots = 0;
    KernelWmiLocator locator{[this] {
        ++snapshots;
        return fixture();
    }};
    T2DimStrArray table;
    int count = 0;
    QString error;
};

TEST_F(KernelWmiTest, ResolverQueriesGetTheKernelsAnswers) {
    struct Case {
        QString query;
        T2DimStrArray expected;
    };
    const Case cases[] = {
        {"SELECT NextHop FROM Win32_IP4RouteTable WHERE Destination='0.0.0.0'",
         {{"Instance", "NextHop"}, {"1", "192.168.1.1"}, {"2", "10.8.0.1"}}},
        {"SELECT Index FROM Win32_NetworkAdapterConfiguration WHERE "
         "DefaultIPGateway='192.168.1.1'",
         {{"Instance", "Index"}, {"1", "2"}}},
        {"SELECT SettingID FROM Win32_NetworkAdapterConfiguration WHERE Index=2",
         {{"Instance", "SettingID"}, {"1", "eth0"}}},
        {"SELECT IPAddress FROM Win32_NetworkAdapterConfiguration WHERE SettingID='eth0'",
         {{"Instance", "IPAddress"}, {"1", "192.168.1.20|192.168.1.21"}}},
        {"SELECT IPAddress, IPSubnet, IPEnabled FROM Win32_NetworkAdapterConfiguration WHERE "
         "SettingID='wlan0'",
         {{"Instance", "IPAddress", "IPSubnet", "IPEnabled"}, {"1", "NULL", "NULL", "False"}}},
        {"SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID<>NULL",
         {{"Instance", "Index", "NetConnectionID", "Name", "MACAddress"},
          {"1", "2", "eth0", "eth0 (e1000e)", "00:1A:2B:3C:4D:5E"},
          {"2", "3", "wlan0", "wlan0", "02:00:00:00:00:03"},
          {"3", "4", "tun0", "tun0", "NULL"}}},
        {"SELECT Index, DefaultIPGateway FROM Win32_NetworkAdapterConfiguration",
         {{"Instance", "Index", "DefaultIPGateway"},
          {"1", "1", "NULL"},
          {"2", "2", "192.168.1.1"},
          {"3", "3", "NULL"},
          {"4", "4", "10.8.0.1"}}},
        {"SELECT destination, MASK, metric1, InterfaceIndex FROM Win32_IP4RouteTable WHERE "
         "NextHop='0.0.0.0'",
         {{"Instance", "Destination", "Mask", "Metric1", "InterfaceIndex"},
          {"1", "192.168.1.0", "255.255.255.0", "100", "2"}}},
        {"SELECT Index FROM win32_networkadapterconfiguration WHERE Index=9", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        EXPECT_EQ(run(c.query), c.expected.isEmpty() ? 0 : c.expected[0].size() - 1);
        EXPECT_EQ(table, c.expected);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    }
}

TEST_F(KernelWmiTest, PropertiesCarryTheirCimTypes) {
    std::unique_ptr<WmiServices> services =
        locator.connectServer(".", "root\\CIMV2", QString(), QString());
    std::unique_ptr<WmiObjectSet> set = services->instancesOf(
        "Win32_NetworkAdapterConfiguration", WmiServices::ReturnImmediatelyShallow);
    ASSERT_EQ(set->count(), 4);
    const std::optional<WmiObject> lo = set->next();
    ASSERT_TRUE(lo);
    QMap<QString, WmiProperty> byName;
    for (const WmiProperty& p : lo->properties)
        byName[p.name] = p;
    EXPECT_EQ(byName.keys().size(), 9);
    EXPECT_EQ(byName["Index"].cimType, CimUint32);
    EXPECT_EQ(byName["IPAddress"].cimType, CimString);
    EXPECT_TRUE(byName["IPAddress"].isArray());
    EXPECT_TRUE(byName["IPSubnet"].isArray());
    EXPECT_EQ(byName["IPEnabled"].cimType, CimBoolean);
    EXPECT_EQ(byName["DHCPEnabled"].cimType, CimBoolean);
    EXPECT_TRUE(byName["MACAddress"].isNull());
}

TEST_F(KernelWmiTest, EveryConnectionTakesAFreshSnapshot) {
    EXPECT_EQ(GetLanAddress(locator), "192.168.1.20|192.168.1.21");
    EXPECT_EQ(snapshots, 4);
}

TEST(KernelWmi, AdapterIsFoundByItsSettingIDWhateverItIsCalled) {
    // Quotes and backslashes would end or bend the quoted literal of the query; "乗" is a
    // double-byte character whose second byte in the system code page is a backslash.
    const QString names[] = {
        QStringLiteral("网卡0"), QStringLiteral("q'x"),  QStringLiteral("a\\b"),
        QStringLiteral("x\\"),   QStringLiteral("'\\'"), QStringLiteral("乗"),
        QStringLiteral("\"x\""),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        KernelSnapshot s = fixture();
        s.interfaces[1].name = name;
        s.routes[0].interfaceName = name;
        s.routes[1].interfaceName = name;
        KernelWmiLocator locator([&] { return s; });
        EXPECT_EQ(GetLanAddress(locator), "192.168.1.20|192.168.1.21");
    }
}

TEST_F(KernelWmiTest, ReadOnceSharesOneSnapshotBetweenConnections) {
    KernelWmiLocator shared(KernelWmiLocator::readOnce([this] {
        ++snapshots;
        return fixture();
    }));
    EXPECT_EQ(GetLanAddress(shared), "192.168.1.20|192.168.1.21");
    EXPECT_EQ(snapshots, 1);
}

TEST_F(KernelWmiTest, ReadOnceKeepsNoFailedRead) {
    bool fail = true;
    KernelWmiLocator shared(KernelWmiLocator::readOnce([&] {
        ++snapshots;
        if (std::exchange(fail, false))
            throw WmiError(QStringLiteral("kernel not readable"));
        KernelSnapshot s = fixture();
        s.routes.clear();
        return s;
    }));
    EXPECT_EQ(
        RunWmiQuery(shared, ".", "root\\CIMV2", {}, {}, "Win32_IP4RouteTable", table, count, error),
        -1);
    EXPECT_EQ(error, "kernel not readable");
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(RunWmiQuery(shared, ".", "root\\CIMV2", {}, {}, "Win32_NetworkAdapter", table,
                              count, error),
                  4);
        EXPECT_EQ(count, 4);
        EXPECT_EQ(RunWmiQuery(shared, ".", "root\\CIMV2", {}, {}, "Win32_IP4RouteTable", table,
                              count, error),
                  0);
    }
    EXPECT_EQ(snapshots, 2);
}

TEST_F(KernelWmiTest, OtherServersNamespacesAndCredentialsAreRefused) {
    struct Case {
        QString server;
        QString nameSpace;
        QString user;
        QString error;
    };
    const Case cases[] = {
        {"otherhost", "root\\CIMV2", "", "The RPC server is unavailable."},
        {".", "root\\default", "", "Invalid namespace: root\\default"},
        {".", "root", "", "Invalid namespace: root"},
        {".", "root\\CIMV2", "admin", "User credentials cannot be used for local connections"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(QStringLiteral("Win32_NetworkAdapter"), c.server, c.nameSpace, c.user), -1);
        EXPECT_EQ(error, c.error);
    }
    for (const QString& local : {QStringLiteral(""), QStringLiteral("localhost")}) {
        EXPECT_EQ(run(QStringLiteral("Win32_NetworkAdapter"), local, "ROOT/cimv2"), 4);
    }
    EXPECT_EQ(snapshots, 2);
}

TEST_F(KernelWmiTest, UnknownClassesPropertiesAndTextsFail) {
    struct Case {
        QString query;
        QString error;
    };
    const Case cases[] = {
        {"Win32_Process", "Invalid class: Win32_Process"},
        {"SELECT * FROM Win32_Process", "Invalid class: Win32_Process"},
        {"SELECT Speed FROM Win32_NetworkAdapter",
         "Invalid query: Win32_NetworkAdapter has no property Speed"},
        {"SELECT Index FROM Win32_NetworkAdapter WHERE Speed=1",
         "Invalid query: Win32_NetworkAdapter has no property Speed"},
        {"SELECT Index FROM Win32_NetworkAdapter WHERE", "Invalid query: expected a property name "
                                                         "after WHERE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.query), -1) << c.query.toStdString();
        EXPECT_EQ(error, c.error);
    }
}

TEST(KernelSnapshot, ParsesTheRouteTable) {
    const QByteArray text =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "eth1\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n" // not up
        "garbage line\n"
        "eth2\tZZ\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n";
    const QList<KernelRoute> routes = KernelSnapshot::parseRouteTable(text);
    ASSERT_EQ(routes.size(), 2);
    EXPECT_EQ(routes[0].interfaceName, "eth0");
    EXPECT_TRUE(routes[0].isDefault());
    EXPECT_EQ(KernelSnapshot::dottedText(routes[0].gateway), "192.0.2.1");
    EXPECT_EQ(routes[0].metric, 100);
    EXPECT_FALSE(routes[1].isDefault());
    EXPECT_EQ(KernelSnapshot::dottedText(routes[1].destination), "192.0.2.0");
    EXPECT_EQ(KernelSnapshot::dottedText(routes[1].mask), "255.255.255.0");
    EXPECT_FALSE(routes[1].hasGateway());
}

TEST(KernelSnapshot, ReadsThisMachine) {
    const KernelSnapshot s = KernelSnapshot::read();
    bool loopback = false;
    for (const KernelInterface& i : s.interfaces) {
        if (i.isLoopback()) {
            loopback = true;
            EXPECT_EQ(i.index, ::if_nametoindex("lo"));
        }
    }
    EXPECT_TRUE(loopback);
    for (qsizetype n = 1; n < s.interfaces.size(); ++n)
        EXPECT_LT(s.interfaces[n - 1].index, s.interfaces[n].index);
    EXPECT_THROW(KernelSnapshot::read(QStringLiteral("/nonexistent/route")), std::exception);
}

} // namespace
