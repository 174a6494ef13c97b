#include "netinfo/NetworkReport.h"
#include "netinfo/AdapterTable.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/if_arp.h>

using namespace zarq;
using namespace Qt::Literals::StringLiterals;

namespace {

AdapterRecord adapter(const QString& description, const QByteArray& mac,
                      QList<IpAddrString> addresses, QList<IpAddrString> gateways) {
    AdapterRecord r;
    r.adapterName = description;
    r.description = description;
    r.address = mac;
    r.ipAddressList = std::move(addresses);
    r.gatewayList = std::move(gateways);
    return r;
}

const QByteArray mac = QByteArray::fromHex("000c294f8e35");

QString report(const QList<AdapterRecord>& records, const QStringList& dns) {
    QString memo = QStringLiteral("old text");
    NetworkReport::getipinfo(
        memo, [&] { return records; }, [&](QStringList& l) { l = dns; });
    return memo;
}

struct ReportCase {
    const char* name;
    QList<AdapterRecord> records;
    QStringList dns;
    QString expected;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class NetworkReportTable : public testing::TestWithParam<ReportCase> {};

TEST_P(NetworkReportTable, HasTheExactText) {
    EXPECT_EQ(report(GetParam().records, GetParam().dns), GetParam().expected);
}

const IpAddrString lan{"192.168.1.20", "255.255.255.0"};
const IpAddrString router{"192.168.1.1", "255.255.255.255"};

std::vector<ReportCase> reportCases() {
    return {
        {"OneAdapterTwoDnsServers",
         {adapter("Example Ethernet Adapter", mac, {lan}, {router})},
         {"DNS 1: 192.168.1.1", "DNS 2: 10.0.0.53"},
         u"网卡名称: Example Ethernet Adapter\r\n"
         u"网卡MAC: 00:0C:29:4F:8E:35\r\n"
         u"IP地址:    192.168.1.20/255.255.255.0\r\n"
         u"网关:    192.168.1.1/255.255.255.255\r\n"
         u"\r\n"
         u"DNS 1: 192.168.1.1\r\n"
         u"DNS 2: 10.0.0.53\r\n"_s},
        {"NoMacBytesNoGateway",
         {adapter("ppp0", {}, {lan}, {IpAddrString{}})},
         {"DNS 1: "},
         u"网卡名称: ppp0\r\n网卡MAC: \r\nIP地址:    192.168.1.20/255.255.255.0\r\n\r\n"
         u"DNS 1: \r\n"_s},
        {"TwoAddressesOnOneLine",
         {adapter("eth0", mac, {lan, {"10.0.0.5", "255.0.0.0"}}, {IpAddrString{}})},
         {},
         u"网卡名称: eth0\r\n网卡MAC: 00:0C:29:4F:8E:35\r\n"
         u"IP地址:    192.168.1.20/255.255.255.0   10.0.0.5/255.0.0.0\r\n\r\n"_s},
        {"EmptyAddressEntry",
         {adapter("eth0", mac, {IpAddrString{}}, {IpAddrString{}})},
         {},
         u"网卡名称: eth0\r\n网卡MAC: 00:0C:29:4F:8E:35\r\nIP地址:    \r\n\r\n"_s},
        {"ZeroAddressIsShownLikeAnyOther",
         {adapter("eth0", mac, {{"0.0.0.0", "0.0.0.0"}}, {IpAddrString{}})},
         {},
         u"网卡名称: eth0\r\n网卡MAC: 00:0C:29:4F:8E:35\r\nIP地址:    0.0.0.0/0.0.0.0\r\n\r\n"_s},
        {"GatewayWithEmptyAddressIsShown",
         {adapter("eth0", mac, {lan}, {{"", "255.255.255.255"}})},
         {},
         u"网卡名称: eth0\r\n网卡MAC: 00:0C:29:4F:8E:35\r\n"
         u"IP地址:    192.168.1.20/255.255.255.0\r\n网关:    /255.255.255.255\r\n\r\n"_s},
        {"TwoGatewaysOneLine",
         {adapter("eth0", mac, {lan}, {router, {"192.168.1.254", "255.255.255.255"}})},
         {},
         u"网卡名称: eth0\r\n网卡MAC: 00:0C:29:4F:8E:35\r\n"
         u"IP地址:    192.168.1.20/255.255.255.0\r\n"
         u"网关:    192.168.1.1/255.255.255.255   192.168.1.254/255.255.255.255\r\n\r\n"_s},
        {"TwoAdaptersThenDns",
         {adapter("eth0", mac, {lan}, {router}),
          adapter("wlan0", QByteArray::fromHex("0200000000ff"), {{"0.0.0.0", "0.0.0.0"}},
                  {IpAddrString{}})},
         {"DNS 1: 192.168.1.1", "DNS 2: 2001:db8::53"},
         u"网卡名称: eth0\r\n网卡MAC: 00:0C:29:4F:8E:35\r\n"
         u"IP地址:    192.168.1.20/255.255.255.0\r\n网关:    192.168.1.1/255.255.255.255\r\n\r\n"
         u"网卡名称: wlan0\r\n网卡MAC: 02:00:00:00:00:FF\r\nIP地址:    0.0.0.0/0.0.0.0\r\n\r\n"
         u"DNS 1: 192.168.1.1\r\nDNS 2: 2001:db8::53\r\n"_s},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkReportTable, testing::ValuesIn(reportCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NetworkReport, EveryAdapterIsReportedHoweverMany) {
    QList<AdapterRecord> records;
    for (int n = 0; n < 300; ++n)
        records.append(adapter(QStringLiteral("veth%1").arg(n), mac, {lan}, {IpAddrString{}}));
    const QString text = report(records, {"DNS 1: 10.0.0.53"});
    EXPECT_EQ(text.count(QStringLiteral("网卡名称: ")), 300);
    EXPECT_TRUE(text.contains(QStringLiteral("网卡名称: veth299\r\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n\r\nDNS 1: 10.0.0.53\r\n")));
}

TEST(NetworkReport, FailedAdapterReadLeavesTheMemoAlone) {
    QString memo = QStringLiteral("before");
    const auto failing = []() -> QList<AdapterRecord> { throw SystemError::fromErrno(EACCES); };
    EXPECT_THROW(NetworkReport::getipinfo(memo, failing, [](QStringList&) {}), SystemError);
    EXPECT_EQ(memo, QStringLiteral("before"));
}

TEST(NetworkReport, FailedDnsReadKeepsTheAdapterLines) {
    QString memo = QStringLiteral("before");
    const QList<AdapterRecord> records{adapter("eth0", {}, {lan}, {IpAddrString{}})};
    try {
        NetworkReport::getipinfo(
            memo, [&] { return records; }, [](QStringList&) { throw SystemError::fromErrno(EIO); });
        ADD_FAILURE() << "no error";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), EIO);
        EXPECT_TRUE(
            QString::fromUtf8(e.what()).startsWith(QStringLiteral("System Error.  Code: ")));
    }
    EXPECT_EQ(memo,
              u"网卡名称: eth0\r\n网卡MAC: \r\nIP地址:    192.168.1.20/255.255.255.0\r\n\r\n"_s);
}

TEST(MacToText, TwoUpperCaseDigitsPerByte) {
    struct Case {
        QByteArray bytes;
        quint32 count;
        QString expected;
    };
    const Case cases[] = {
        {QByteArray::fromHex("001a2b3c4d5e"), 6, "00:1A:2B:3C:4D:5E"},
        {{}, 0, ""},
        {QByteArray::fromHex("ff"), 1, "FF"},
        {QByteArray::fromHex("0102030405060708"), 8, "01:02:03:04:05:06:07:08"},
        {QByteArray::fromHex("01020304050607080910"), 10, "01:02:03:04:05:06:07:08"},
        {QByteArray::fromHex("001a2b3c4d5e"), 3, "00:1A:2B"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MacToText(c.bytes, c.count), c.expected) << c.bytes.toHex().constData();
}

TEST(TInfoIPAddress, AsTextKeepsTheSlashUnlessBothAreEmpty) {
    EXPECT_EQ(TInfoIPAddress().AsText(), "");
    EXPECT_EQ(TInfoIPAddress({"1.2.3.4", "255.0.0.0"}).AsText(), "1.2.3.4/255.0.0.0");
    EXPECT_EQ(TInfoIPAddress({"", "255.0.0.0"}).AsText(), "/255.0.0.0");
    EXPECT_EQ(TInfoIPAddress({"1.2.3.4", ""}).AsText(), "1.2.3.4/");
}

TEST(TIPInfo, CopiesRecordsAndRefusesIndexesOutOfRange) {
    AdapterRecord r = adapter("eth0 (e1000e)", mac, {lan, IpAddrString{}}, {router});
    r.adapterName = "eth0";
    r.index = 2;
    r.type = AdapterTable::TypeEthernet;
    const TIPInfo info([&] { return QList<AdapterRecord>{r}; });
    ASSERT_EQ(info.AdapterCount(), 1);
    const TAdapter& a = info.Adapters(0);
    EXPECT_EQ(a.AdapterName, "eth0");
    EXPECT_EQ(a.Description, "eth0 (e1000e)");
    EXPECT_EQ(a.AddressLength, 6u);
    EXPECT_EQ(a.MacAddress, "00:0C:29:4F:8E:35");
    EXPECT_EQ(a.Index, 2u);
    EXPECT_EQ(a.AdapterType, 6u);
    EXPECT_EQ(a.CurrentIPAddress.AsText(), "");
    ASSERT_EQ(a.IPAddressCount(), 2);
    EXPECT_EQ(a.IPAddresses(1).AsText(), "");
    ASSERT_EQ(a.GatewayCount(), 1);
    EXPECT_EQ(a.Gateways(0).IPAddress, "192.168.1.1");
    EXPECT_THROW(info.Adapters(1), std::out_of_range);
    EXPECT_THROW(info.Adapters(-1), std::out_of_range);
    EXPECT_THROW(a.IPAddresses(2), std::out_of_range);
    EXPECT_THROW(a.Gateways(1), std::out_of_range);
}

TEST(LoadAddressList, ReplacesTheListWithTheChain) {
    QList<TInfoIPAddress> list{TInfoIPAddress({"9.9.9.9", "255.255.255.255"})};
    LoadAddressList({lan, router}, list);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].AsText(), "192.168.1.20/255.255.255.0");
    EXPECT_EQ(list[1].AsText(), "192.168.1.1/255.255.255.255");
}

TEST(AdapterTable, MapsInterfacesToAdapterRecords) {
    KernelSnapshot s;
    s.interfaces = {
        {1,
         "lo",
         IFF_LOOPBACK,
         ARPHRD_LOOPBACK,
         QByteArray(6, '\0'),
         {{::inet_addr("127.0.0.1"), ::inet_addr("255.0.0.0")}},
         {}},
        {2,
         "eth0",
         IFF_UP,
         ARPHRD_ETHER,
         mac,
         {{::inet_addr("192.168.1.20"), ::inet_addr("255.255.255.0")}},
         "e1000e"},
        {5, "wg0", IFF_UP, ARPHRD_NONE, {}, {}, {}},
    };
    s.routes = {
        {"eth0", 2, 0, ::inet_addr("192.168.1.1"), 0, 0, 3},
        {"eth0", 2, 0, ::inet_addr("192.168.1.1"), 0, 50, 3}, // same gateway, other metric
        {"wg0", 5, 0, 0, 0, 0, 1},                            // default route without gateway
    };
    const QString text = report(AdapterTable::fromSnapshot(s), {});
    EXPECT_EQ(text, u"网卡名称: eth0 (e1000e)\r\n网卡MAC: 00:0C:29:4F:8E:35\r\n"
                    u"IP地址:    192.168.1.20/255.255.255.0\r\n"
                    u"网关:    192.168.1.1/255.255.255.255\r\n\r\n"
                    u"网卡名称: wg0\r\n网卡MAC: \r\nIP地址:    0.0.0.0/0.0.0.0\r\n\r\n"_s);
    const QList<AdapterRecord> records = AdapterTable::fromSnapshot(s);
    EXPECT_EQ(records[0].type, AdapterTable::TypeEthernet);
    EXPECT_EQ(records[1].type, AdapterTable::TypeOther);
}

TEST(AdapterTable, ThisMachineHasItsAdaptersInIndexOrder) {
    QList<AdapterRecord> records;
    try {
        records = AdapterTable::read();
    } catch (const SystemError& e) {
        if (e.code() == ENODATA)
            GTEST_SKIP() << "this machine has no network adapter besides loopback";
        throw;
    }
    for (qsizetype n = 0; n < records.size(); ++n) {
        EXPECT_NE(records[n].adapterName, "lo");
        EXPECT_EQ(records[n].index, ::if_nametoindex(records[n].adapterName.toLocal8Bit()));
        if (n > 0) {
            EXPECT_LT(records[n - 1].index, records[n].index);
        }
    }
}

class DnsServersTest : public testing::Test {
protected:
    QString write(const QString& name, const QByteArray& content) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(DnsServersTest, NameserverLinesInOrder) {
    struct Case {
        QByteArray resolvConf;
        QByteArray upstream; // empty: no such file
        QStringList expected;
    };
    const Case cases[] = {
        {"nameserver 192.168.1.1\nnameserver 10.0.0.53\n",
         {},
         {"DNS 1: 192.168.1.1", "DNS 2: 10.0.0.53"}},
        {"# generated\n; comment\nsearch example.org\n  nameserver\t8.8.8.8  # x\n"
         "nameserver 2001:db8::53\noptions edns0\n#nameserver 1.1.1.1\n",
         {},
         {"DNS 1: 8.8.8.8", "DNS 2: 2001:db8::53"}},
        {"nameserver 127.0.0.53\noptions edns0 trust-ad\n",
         "nameserver 192.0.2.53\n",
         {"DNS 1: 192.0.2.53"}},
        {"nameserver 127.0.0.53\n", {}, {"DNS 1: 127.0.0.53"}},
        {"nameserver 127.0.0.53\nnameserver 9.9.9.9\n",
         "nameserver 192.0.2.53\n",
         {"DNS 1: 127.0.0.53", "DNS 2: 9.9.9.9"}},
        {"search example.org\n", {}, {"DNS 1: "}},
    };
    for (const Case& c : cases) {
        DnsConfigFiles files;
        files.resolvConf = write("resolv.conf", c.resolvConf);
        files.upstreamConf =
            c.upstream.isEmpty() ? dir.filePath("missing") : write("upstream.conf", c.upstream);
        QStringList lines{"stale"};
        GetDnsServers(lines, files);
        EXPECT_EQ(lines, c.expected) << c.resolvConf.constData();
    }
}

TEST_F(DnsServersTest, MissingFileMeansNoServerAndUnreadableFails) {
    DnsConfigFiles files;
    files.resolvConf = dir.filePath("missing");
    QStringList lines{"stale"};
    GetDnsServers(lines, files);
    EXPECT_EQ(lines, QStringList{"DNS 1: "});

    files.resolvConf = dir.path(); // a directory cannot be read as a file
    lines = QStringList{"stale"};
    try {
        GetDnsServers(lines, files);
        ADD_FAILURE() << "no error";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), EISDIR);
    }
    EXPECT_EQ(lines, QStringList{"stale"});
}

} // namespace
