#include "netinfo/WmiQuery.h"
#include "FakeWmi.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <limits>

using namespace zarq;
using namespace zarq::test;

namespace {

struct ValueCase {
    const char* name;
    WmiProperty property;
    QByteArray expected;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class WmiValueTextTable : public testing::TestWithParam<ValueCase> {};

TEST_P(WmiValueTextTable, RendersByCimType) {
    EXPECT_EQ(WmiValueText(GetParam().property), GetParam().expected);
}

const ValueCase valueCases[] = {
    {"NullInteger", prop("p", CimSint32, QVariant()), "NULL"},
    {"NullString", prop("p", CimString, QVariant()), "NULL"},
    {"NullArray", prop("p", CimString, QVariant(QMetaType(QMetaType::QVariantList))), "NULL"},
    {"NullObject", prop("p", CimObject, QVariant()), "NULL"},
    {"Sint16", prop("p", CimSint16, qint64(-5)), "-5"},
    {"Sint32Array", prop("p", CimSint32, QVariantList{1, -2, 3}), "1|-2|3"},
    {"Sint8", prop("p", CimSint8, qint64(-128)), "-128"},
    {"Uint8", prop("p", CimUint8, qint64(255)), "255"},
    {"Uint16", prop("p", CimUint16, qint64(65535)), "65535"},
    {"Uint32InRange", prop("p", CimUint32, qint64(2147483647)), "2147483647"},
    {"Sint64AsTextInRange", prop("p", CimSint64, QStringLiteral("-42")), "-42"},
    {"EmptyIntegerArray", prop("p", CimUint32, QVariantList{}), ""},
    {"Real64", prop("p", CimReal64, 1.5), "1.5"},
    {"Real64Third", prop("p", CimReal64, 1.0 / 3), "0.333333333333333"},
    {"Real64Large", prop("p", CimReal64, 1e20), "1E20"},
    {"Real64FifteenDigits", prop("p", CimReal64, 123456789012345.0), "123456789012345"},
    {"Real64Small", prop("p", CimReal64, 0.0001), "0.0001"},
    {"Real64Tiny", prop("p", CimReal64, -1.25e-5), "-1.25E-5"},
    {"Real32Zero", prop("p", CimReal32, 0.0), "0"},
    {"String", prop("p", CimString, QStringLiteral("eth0")), "eth0"},
    {"StringArray", prop("p", CimString, strings({"a", "b", "c"})), "a|b|c"},
    {"EmptyStringArray", prop("p", CimString, QVariantList{}), ""},
    {"SingleElementArray", prop("p", CimString, strings({"10.0.0.5"})), "10.0.0.5"},
    {"ChineseStringInCodePage936", prop("p", CimString, QStringLiteral("网卡")),
     "\xcd\xf8\xbf\xa8"},
    {"Uint64BeyondAnyIntegerAsText", prop("p", CimUint64, QStringLiteral("18446744073709551615")),
     "18446744073709551615"},
    {"Uint64Number", prop("p", CimUint64, quint64(5000000000ULL)), "5000000000"},
    {"Uint64Array", prop("p", CimUint64, QVariantList{quint64(1), quint64(2)}), "1|2"},
    {"BooleanTrue", prop("p", CimBoolean, true), "True"},
    {"BooleanFalse", prop("p", CimBoolean, false), "False"},
    {"Object", prop("p", CimObject, QStringLiteral("anything")), "<CIM Object>"},
    {"Datetime", prop("p", CimDatetime, QStringLiteral("20240102030405.000000+480")),
     "20240102030405.000000+480"},
    {"Reference", prop("p", CimReference, QStringLiteral("\\\\.\\root\\cimv2:X.Index=1")),
     "\\\\.\\root\\cimv2:X.Index=1"},
    {"Char16", prop("p", CimChar16, 65), "<16-bit character>"},
    {"UnknownType", prop("p", 99, QStringLiteral("x")), ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, WmiValueTextTable, testing::ValuesIn(valueCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WmiValueText, IntegersBeyond32BitsFail) {
    const WmiProperty cases[] = {
        prop("big", CimUint32, qint64(4294967295LL)),
        prop("big", CimSint64, QStringLiteral("5000000000")),
        prop("big", CimSint64, qint64(std::numeric_limits<qint32>::min()) - 1),
        prop("big", CimUint32, QVariantList{1, qint64(1) << 40}),
        prop("big", CimSint32, QStringLiteral("12abc")),
    };
    for (const WmiProperty& p : cases)
        EXPECT_THROW(WmiValueText(p), WmiError) << p.value.toString().toStdString();
}

TEST(WmiValueText, RealUsesTheLocaleDecimalSeparator) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German));
    const QByteArray text = WmiValueText(prop("p", CimReal64, 2.5));
    QLocale::setDefault(before);
    EXPECT_EQ(text, "2,5");
}

TEST(ExceptionText, TrimsControlsAndSpacesAndIsEmptyWithoutMessage) {
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(WmiError(" \t Access denied. \r\n"))),
              QStringLiteral("Access denied."));
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(42)), QString());
    EXPECT_EQ(ExceptionText(nullptr), QString());
}

WmiObject instance(std::initializer_list<WmiProperty> properties) {
    return WmiObject{QList<WmiProperty>(properties)};
}

class RunWmiQueryTest : public testing::Test {
protected:
    int run(const QString& query) {
        return RunWmiQuery(locator, QStringLiteral("."), QStringLiteral("root\\CIMV2"), QString(),
                           QString(), query, table, count, error);
    }

    FakeWmiLocator locator;
    T2DimStrArray table{{"stale"}};
    int count = 99;
    QString error = QStringLiteral("stale");
};

TEST_F(RunWmiQueryTest, NoInstanceGivesZeroAndAnEmptyTable) {
    EXPECT_EQ(run(QStringLiteral("SELECT a FROM X")), 0);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(table.isEmpty());
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(RunWmiQueryTest, TwoInstancesOfTwoPropertiesFillTheTable) {
    locator.answers[QStringLiteral("SELECT a, b FROM X")].instances = {
        instance({prop("A", CimString, "x1"), prop("B", CimUint32, 7)}),
        instance({prop("A", CimString, "x2"), prop("B", CimUint32, QVariant())}),
    };
    EXPECT_EQ(run(QStringLiteral("SELECT a, b FROM X")), 2);
    EXPECT_EQ(count, 2);
    const T2DimStrArray expected{{"Instance", "A", "B"}, {"1", "x1", "7"}, {"2", "x2", "NULL"}};
    EXPECT_EQ(table, expected);
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(RunWmiQueryTest, OnlySelectInCapitalsRunsAsWql) {
    struct Case {
        QString text;
        QString kind;
        QString language;
        int flags;
    };
    const Case cases[] = {
        {"SELECT * FROM X", "ExecQuery", "WQL", 16},
        {"select * from X", "InstancesOf", "", 17},
        {" SELECT * FROM X", "InstancesOf", "", 17},
        {"Win32_NetworkAdapter", "InstancesOf", "", 17},
    };
    for (const Case& c : cases) {
        locator.calls.clear();
        run(c.text);
        ASSERT_EQ(locator.calls.size(), 2) << c.text.toStdString();
        EXPECT_EQ(locator.calls[0].text, QStringLiteral(".|root\\CIMV2|"));
        EXPECT_EQ(locator.calls[1].kind, c.kind) << c.text.toStdString();
        EXPECT_EQ(locator.calls[1].text, c.text);
        EXPECT_EQ(locator.calls[1].language, c.language);
        EXPECT_EQ(locator.calls[1].flags, c.flags);
    }
}

TEST_F(RunWmiQueryTest, FailingConnectionGivesMinusOneAndTheTrimmedMessage) {
    locator.connectFailure = QStringLiteral("The RPC server is unavailable. \r\n");
    EXPECT_EQ(run(QStringLiteral("SELECT a FROM X")), -1);
    EXPECT_EQ(error, QStringLiteral("The RPC server is unavailable."));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(table.isEmpty());
}

TEST_F(RunWmiQueryTest, RefusedQueryGivesMinusOne) {
    locator.answers[QStringLiteral("SELECT a FROM X")].failure = QStringLiteral("Invalid query ");
    EXPECT_EQ(run(QStringLiteral("SELECT a FROM X")), -1);
    EXPECT_EQ(error, QStringLiteral("Invalid query"));
}

TEST_F(RunWmiQueryTest, UnconvertibleValueFailsAndKeepsWhatWasFilled) {
    locator.answers[QStringLiteral("X")].instances = {
        instance({prop("N", CimUint32, 1)}),
        instance({prop("N", CimUint32, qint64(1) << 33)}),
    };
    EXPECT_EQ(run(QStringLiteral("X")), -1);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(count, 2);
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table[1], (QList<QByteArray>{"1", "1"}));
    EXPECT_EQ(table[2], (QList<QByteArray>{"2", ""}));
}

TEST_F(RunWmiQueryTest, LaterInstancesCannotWidenOrLengthenTheTable) {
    FakeAnswer& a = locator.answers[QStringLiteral("X")];
    a.instances = {
        instance({prop("A", CimString, "a1")}),
        instance(
            {prop("A", CimString, "a2"), prop("B", CimString, "b2"), prop("C", CimString, "c2")}),
        instance({}),
        instance({prop("A", CimString, "a4")}),
    };
    a.reportedCount = 3; // one instance more than reported
    EXPECT_EQ(run(QStringLiteral("X")), 1);
    const T2DimStrArray expected{{"Instance", "A"}, {"1", "a1"}, {"2", "a2"}, {"3", ""}};
    EXPECT_EQ(table, expected);
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(RunWmiQueryTest, FewerInstancesThanReportedLeaveEmptyRows) {
    FakeAnswer& a = locator.answers[QStringLiteral("X")];
    a.instances = {instance({prop("A", CimString, "a1")})};
    a.reportedCount = 2;
    EXPECT_EQ(run(QStringLiteral("X")), 1);
    const T2DimStrArray expected{{"Instance", "A"}, {"1", "a1"}, {"", ""}};
    EXPECT_EQ(table, expected);
}

} // namespace
