#include "netinfo/WqlQuery.h"
#include "FakeWmi.h"

#include <gtest/gtest.h>

using namespace zarq;
using namespace zarq::test;

namespace {

TEST(WqlQuery, ParsesTheSupportedForms) {
    struct Case {
        QString text;
        QStringList columns;
        QString className;
        QString property;
        WqlQuery::Comparison comparison;
        QVariant literal;
        bool hasCondition;
    };
    using C = WqlQuery::Comparison;
    const Case cases[] = {
        {"SELECT NextHop FROM Win32_IP4RouteTable WHERE Destination='0.0.0.0'",
         {"NextHop"},
         "Win32_IP4RouteTable",
         "Destination",
         C::Equal,
         "0.0.0.0",
         true},
        {"SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID<>NULL",
         {},
         "Win32_NetworkAdapter",
         "NetConnectionID",
         C::NotEqual,
         QVariant(),
         true},
        {"SELECT SettingID FROM Win32_NetworkAdapterConfiguration WHERE Index=12",
         {"SettingID"},
         "Win32_NetworkAdapterConfiguration",
         "Index",
         C::Equal,
         "12",
         true},
        {"select a,b , c from X where d != \"it\\'s\"",
         {"a", "b", "c"},
         "X",
         "d",
         C::NotEqual,
         "it's",
         true},
        {"  SELECT\ta\nFROM X  ", {"a"}, "X", "", C::Equal, QVariant(), false},
        {"SELECT * FROM X WHERE On = true", {}, "X", "On", C::Equal, "TRUE", true},
        {"SELECT * FROM X WHERE Metric1 = -3", {}, "X", "Metric1", C::Equal, "-3", true},
        {"SELECT * FROM X WHERE IPAddress=''", {}, "X", "IPAddress", C::Equal, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const WqlQuery q = WqlQuery::parse(c.text);
        EXPECT_EQ(q.columns(), c.columns);
        EXPECT_EQ(q.selectsAll(), c.columns.isEmpty());
        EXPECT_EQ(q.className(), c.className);
        ASSERT_EQ(q.condition().has_value(), c.hasCondition);
        if (c.hasCondition) {
            EXPECT_EQ(q.condition()->property, c.property);
            EXPECT_EQ(q.condition()->comparison, c.comparison);
            EXPECT_EQ(q.condition()->literal, c.literal);
        }
    }
}

TEST(WqlQuery, RefusesEverythingElseWithAClearMessage) {
    const char* invalid[] = {
        "",
        "SELECT",
        "SELECT FROM X",
        "SELECT a FROM",
        "SELECT a, FROM X",
        "SELECT a b FROM X",
        "SELECT * , a FROM X",
        "SELECT a FROM X WHERE",
        "SELECT a FROM X WHERE b",
        "SELECT a FROM X WHERE b =",
        "SELECT a FROM X WHERE b = 'open",
        "SELECT a FROM X WHERE b LIKE 'x'",
        "SELECT a FROM X WHERE b = c",
        "SELECT a FROM X WHERE b = 1 AND c = 2",
        "SELECT a FROM X WHERE b < 1",
        "SELECT a FROM X ORDER BY a",
        "SELECT a FROM X;",
        "SELECT a FROM X WHERE b = 1.2.3",
        "DELETE FROM X",
        "ASSOCIATORS OF {X}",
        "SELECT a FROM SELECT",
    };
    for (const char* text : invalid) {
        try {
            WqlQuery::parse(QString::fromLatin1(text));
            ADD_FAILURE() << "accepted: " << text;
        } catch (const WmiError& e) {
            EXPECT_TRUE(e.message().startsWith(QLatin1String("Invalid query: "))) << text;
        }
    }
}

TEST(WqlQuery, QuotedTextIsReadBackUnchanged) {
    struct Case {
        QString text;
        QString literal;
    };
    const Case cases[] = {
        {"eth0", "'eth0'"},
        {"q'x", "'q\\'x'"},
        {"a\\b", "'a\\\\b'"},
        {"x\\", "'x\\\\'"},
        {"\\'", "'\\\\\\''"},
        {"", "''"},
        {"say \"hi\"", "'say \"hi\"'"},
        {QStringLiteral("网卡 乗"), QStringLiteral("'网卡 乗'")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(WqlQuery::quoted(c.text), c.literal);
        const WqlQuery q =
            WqlQuery::parse(QStringLiteral("SELECT * FROM X WHERE p=") + WqlQuery::quoted(c.text));
        ASSERT_TRUE(q.condition().has_value());
        EXPECT_EQ(q.condition()->literal, c.text);
        EXPECT_TRUE(q.accepts(prop("p", CimString, c.text)));
    }
}

TEST(WqlQuery, ConditionsOnScalarsArraysAndNull) {
    struct Case {
        const char* where;
        WmiProperty property;
        bool accepted;
    };
    const Case cases[] = {
        {"p='10.0.0.1'", prop("p", CimString, strings({"10.0.0.9", "10.0.0.1"})), true},
        {"p='10.0.0.1'", prop("p", CimString, strings({"10.0.0.9"})), false},
        {"p='10.0.0.1'", prop("p", CimString, QVariantList{}), false},
        {"p<>'10.0.0.1'", prop("p", CimString, strings({"10.0.0.9"})), true},
        {"p<>'10.0.0.1'", prop("p", CimString, strings({"10.0.0.1"})), false},
        {"p='ETH0'", prop("p", CimString, "eth0"), true},
        {"p='eth0'", prop("p", CimString, "eth1"), false},
        {"p=NULL", prop("p", CimString, QVariant()), true},
        {"p=NULL", prop("p", CimString, "x"), false},
        {"p<>NULL", prop("p", CimString, "x"), true},
        {"p<>NULL", prop("p", CimString, QVariant()), false},
        {"p='x'", prop("p", CimString, QVariant()), false},
        {"p<>'x'", prop("p", CimString, QVariant()), false},
        {"p=7", prop("p", CimUint32, 7), true},
        {"p=07", prop("p", CimUint32, 7), true},
        {"p='7'", prop("p", CimUint32, 7), true},
        {"p=8", prop("p", CimUint32, 7), false},
        {"p<>8", prop("p", CimUint32, 7), true},
        {"p='seven'", prop("p", CimUint32, 7), false},
        {"p=TRUE", prop("p", CimBoolean, true), true},
        {"p=1", prop("p", CimBoolean, false), false},
        {"p=FALSE", prop("p", CimBoolean, false), true},
    };
    for (const Case& c : cases) {
        const WqlQuery q =
            WqlQuery::parse(QStringLiteral("SELECT * FROM X WHERE ") + QLatin1String(c.where));
        EXPECT_EQ(q.accepts(c.property), c.accepted) << c.where;
    }
    EXPECT_TRUE(
        WqlQuery::parse(QStringLiteral("SELECT * FROM X")).accepts(prop("p", CimString, "")));
}

} // namespace
