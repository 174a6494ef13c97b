#include "netinfo/LanAddress.h"
#include "FakeWmi.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace zarq;
using namespace zarq::test;

namespace {

const QString q1 =
    QStringLiteral("SELECT NextHop FROM Win32_IP4RouteTable WHERE Destination='0.0.0.0'");
QString q2(const QString& gateway) {
    return QStringLiteral(
               "SELECT Index FROM Win32_NetworkAdapterConfiguration WHERE DefaultIPGateway='") +
           gateway + u'\'';
}
const QString q3 = QStringLiteral("SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID<>NULL");
QString q4(int index) {
    return QStringLiteral("SELECT SettingID FROM Win32_NetworkAdapterConfiguration WHERE Index=") +
           QString::number(index);
}
QString q5(const QString& settingID) {
    return QStringLiteral(
               "SELECT IPAddress FROM Win32_NetworkAdapterConfiguration WHERE SettingID='") +
           settingID + u'\'';
}

FakeAnswer one(std::initializer_list<WmiProperty> properties) {
    FakeAnswer a;
    a.instances = {WmiObject{QList<WmiProperty>(properties)}};
    return a;
}

FakeAnswer failing() {
    FakeAnswer a;
    a.failure = QStringLiteral("Generic failure ");
    return a;
}

struct ResolverCase {
    const char* name;
    QMap<QString, FakeAnswer> answers;
    QByteArray expected;
    QStringList queries;
};

void PrintTo(const ResolverCase& c, std::ostream* os) {
    *os << c.name;
}

const QString settingS = QStringLiteral("{S}");

ResolverCase normal() {
    return {"GatewayMatchesAnAdapter",
            {{q1, one({prop("NextHop", CimString, "10.0.0.1")})},
             {q2("10.0.0.1"), one({prop("Index", CimUint32, 7)})},
             {q4(7), one({prop("SettingID", CimString, settingS)})},
             {q5(settingS), one({prop("IPAddress", CimString, strings({"10.0.0.5"}))})}},
            "10.0.0.5",
            {q1, q2("10.0.0.1"), q4(7), q5(settingS)}};
}

std::vector<ResolverCase> resolverCases() {
    std::vector<ResolverCase> cases;
    cases.push_back(normal());

    ResolverCase two = normal();
    two.name = "TwoAddressesJoined";
    two.answers[q5(settingS)] =
        one({prop("IPAddress", CimString, strings({"192.168.1.20", "192.168.1.21"}))});
    two.expected = "192.168.1.20|192.168.1.21";
    cases.push_back(two);

    ResolverCase fallback = normal();
    fallback.name = "NoConfigurationForTheGatewayFallsBack";
    fallback.answers.remove(q2("10.0.0.1"));
    fallback.answers[q3] =
        one({prop("Index", CimUint32, 7), prop("NetConnectionID", CimString, "eth0"),
             prop("Name", CimString, "eth0")});
    fallback.queries = {q1, q2("10.0.0.1"), q3, q4(7), q5(settingS)};
    cases.push_back(fallback);

    ResolverCase refused = fallback;
    refused.name = "FailedGatewayQueryFallsBack";
    refused.answers[q2("10.0.0.1")] = failing();
    cases.push_back(refused);

    cases.push_back({"NoDefaultRouteUsesIndexZero",
                     {{q4(0), one({prop("SettingID", CimString, "S0")})},
                      {q5("S0"), one({prop("IPAddress", CimString, QVariant())})}},
                     "NULL",
                     {q1, q4(0), q5("S0")}});
    cases.push_back({"NoDefaultRouteAndNoIndexZero", {}, "", {q1, q4(0), q5("")}});
    cases.push_back({"FailedRouteQueryUsesIndexZero",
                     {{q1, failing()},
                      {q4(0), one({prop("SettingID", CimString, "S0")})},
                      {q5("S0"), one({prop("IPAddress", CimString, strings({"10.1.1.1"}))})}},
                     "10.1.1.1",
                     {q1, q4(0), q5("S0")}});
    cases.push_back({"RouteButNoAdapterAtAll",
                     {{q1, one({prop("NextHop", CimString, "10.0.0.1")})}},
                     "",
                     {q1, q2("10.0.0.1"), q3}});

    ResolverCase capitals = normal();
    capitals.name = "HeadersMatchWithoutRegardToCase";
    capitals.answers[q1] = one({prop("NEXTHOP", CimString, "10.0.0.1")});
    capitals.answers[q2("10.0.0.1")] = one({prop("index", CimUint32, 7)});
    capitals.answers[q4(7)] = one({prop("SETTINGID", CimString, settingS)});
    capitals.answers[q5(settingS)] = one({prop("IpAddress", CimString, strings({"10.0.0.5"}))});
    cases.push_back(capitals);

    ResolverCase firstRoute = normal();
    firstRoute.name = "FirstOfSeveralDefaultRoutes";
    firstRoute.answers[q1].instances.append(WmiObject{{prop("NextHop", CimString, "172.16.0.1")}});
    cases.push_back(firstRoute);
    return cases;
}

class GetLanAddressTable : public testing::TestWithParam<ResolverCase> {};

TEST_P(GetLanAddressTable, RunsTheQueriesInOrder) {
    FakeWmiLocator locator;
    locator.answers = GetParam().answers;
    EXPECT_EQ(GetLanAddress(locator), GetParam().expected);
    EXPECT_EQ(locator.queries(), GetParam().queries);
    for (const FakeWmiLocator::Call& call : locator.calls) {
        if (call.kind == QLatin1String("connect"))
            EXPECT_EQ(call.text, QStringLiteral(".|root\\CIMV2|"));
        else
            EXPECT_EQ(call.kind, QStringLiteral("ExecQuery"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GetLanAddressTable, testing::ValuesIn(resolverCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GetLanAddress, NonDecimalIndexReachesTheCaller) {
    FakeWmiLocator locator;
    locator.answers[q1] = one({prop("NextHop", CimString, "10.0.0.1")});
    locator.answers[q2("10.0.0.1")] = one({prop("Index", CimString, "seven")});
    EXPECT_THROW(GetLanAddress(locator), std::invalid_argument);
}

TEST(GetDefaultRouteAdapterIndex, GivesGatewayAndIndex) {
    FakeWmiLocator locator;
    locator.answers = normal().answers;
    QByteArray index = "x";
    QByteArray gateway = "x";
    GetDefaultRouteAdapterIndex(locator, index, gateway);
    EXPECT_EQ(index, "7");
    EXPECT_EQ(gateway, "10.0.0.1");

    locator.answers.clear();
    GetDefaultRouteAdapterIndex(locator, index, gateway);
    EXPECT_EQ(index, "0");
    EXPECT_EQ(gateway, "");
}

TEST(LookupColumn, LastMatchWinsAndNothingOutsideTheTableIsRead) {
    const T2DimStrArray table{{"Instance", "Name", "NAME", "Other"}, {"1", "first", "second", "o"}};
    struct Case {
        int columns;
        int row;
        QByteArray name;
        QByteArray expected;
    };
    const Case cases[] = {
        {3, 1, "name", "second"}, {1, 1, "name", "first"}, {3, 1, "other", "o"},
        {2, 1, "other", ""},      {0, 1, "name", ""},      {-1, 1, "name", ""},
        {3, 0, "other", "Other"}, {3, 2, "name", ""},      {99, 1, "other", "o"},
        {3, 1, "missing", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LookupColumn(table, c.columns, c.row, c.name), c.expected)
            << c.columns << " " << c.row << " " << c.name.constData();
    }
    EXPECT_EQ(LookupColumn({}, 3, 1, "name"), "");
    const T2DimStrArray ragged{{"Instance", "A", "B"}, {"1"}};
    EXPECT_EQ(LookupColumn(ragged, 2, 1, "b"), "");
}

} // namespace
