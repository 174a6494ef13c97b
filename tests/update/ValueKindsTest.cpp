#include "update/ValueKinds.h"
#include "update/FileChecksum.h"
#include "update/FileVersion.h"
#include "update/FolderPlaceholders.h"
#include "update/UpdateDate.h"
#include "update/VersionValue.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace zarq;

TEST(ValueKinds, IntegersDecimalAndHexadecimalElseTheDefault) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"-7", -7},
        {"+7", 7},
        {"$10", 16},
        {"0x2", 2},
        {"0X1f", 31},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 99},
        {"two", 99},
        {"", 99},
        {"12abc", 99},
        {"0x", 99},
        {"$123456789", 99},
        {"0xG1", 99},
        {"1.5", 99},
        {"-", 99},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueKinds::ParseInteger(QString::fromLatin1(c.text), 99), c.expected) << c.text;
}

TEST(ValueKinds, LinesTurnBackslashNIntoCarriageReturns) {
    EXPECT_EQ(ValueKinds::ExpandLines("first\\nsecond\\n"), QString("first\rsecond\r"));
    EXPECT_EQ(ValueKinds::ExpandLines("no\\tbreak"), QString("no\\tbreak"));
}

TEST(VersionValue, TextsOfTheRules) {
    struct Case {
        const char* text;
        const char* shown; // four parts; 65535.65535 for an invalid half
        bool valid;
    };
    const Case cases[] = {
        {"1,2,3,4", "1.2.3.4", true},
        {"1.2.3.4", "1.2.3.4", true},
        {"1.2,3.4", "1.3.0.0", true}, // the comma is the only separator
        {"2.0.12", "2.0.12.0", true},
        {"7", "7.0.0.0", true},
        {"2.1", "2.1.0.0", true},
        {"1.2.3.x", "1.2.65535.65535", false},
        {"1.2.3.4.5", "1.2.65535.65535", false},
        {"70000.1.0.0", "4464.1.0.0", true},
        {"x", "65535.65535.65535.65535", false},
        {"", "65535.65535.65535.65535", false},
        {"1a.5", "1.5.0.0", true}, // part 1 not wholly a number: the rest is the minor part
        {"1.2b.9", "1.2.9.0", true},
        {" 3.4", "3.4.0.0", true},
        {"2.0.12.2", "2.0.12.2", true},
    };
    for (const Case& c : cases) {
        const VersionValue v = VersionValue::parse(QString::fromLatin1(c.text));
        EXPECT_EQ(v.toString(), QString::fromLatin1(c.shown)) << c.text;
        EXPECT_EQ(v.isValid(), c.valid) << c.text;
    }
}

TEST(VersionValue, HalvesHoldMajorMinorAndReleaseBuild) {
    const VersionValue v = VersionValue::parse("2.0.12.3");
    EXPECT_EQ(v.High, 2 * 65536);
    EXPECT_EQ(v.Low, 12 * 65536 + 3);
}

TEST(UpdateDate, DatesAndTimesInTheComponentsFormats) {
    struct Case {
        const char* date;
        const char* time;
        QDateTime expected;
    };
    const QDateTime unreadable(QDate(1980, 1, 1), QTime(0, 0));
    const Case cases[] = {
        {"31/12/2009", "23:59", QDateTime(QDate(2009, 12, 31), QTime(23, 59))},
        {"25/07/2008", "", QDateTime(QDate(2008, 7, 25), QTime(0, 0))},
        {"25/07/2008", "10:11:12", QDateTime(QDate(2008, 7, 25), QTime(10, 11, 12))},
        {"25/07/2008", "noon", QDateTime(QDate(2008, 7, 25), QTime(0, 0))},
        {"25/07/2008", "24:00", QDateTime(QDate(2008, 7, 25), QTime(0, 0))},
        {"2009-12-31", "23:59", unreadable},
        {"31/13/2009", "", unreadable},
        {"30/02/2009", "", unreadable},
        {"", "12:00", unreadable},
        {"1/2/2010", "", QDateTime(QDate(2010, 2, 1), QTime(0, 0))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpdateDate::combine(c.date, c.time, "dd/mm/yyyy", '/', ':'), c.expected)
            << c.date << " " << c.time;
    }
}

TEST(UpdateDate, OrderAndSeparatorComeFromTheFormat) {
    EXPECT_EQ(UpdateDate::parseDate("2009-12-31", "yyyy-mm-dd", '-'), QDate(2009, 12, 31));
    EXPECT_EQ(UpdateDate::parseDate("12.31.2009", "mm.dd.yyyy", '.'), QDate(2009, 12, 31));
    EXPECT_FALSE(UpdateDate::parseDate("31/12/2009", "dd.mm.yyyy", '.').isValid());
    EXPECT_EQ(UpdateDate::parseTime("10.30", '.'), 10 * 3600 + 30 * 60);
}

TEST(FolderPlaceholders, ExpansionFollowsTheScanningRules) {
    const auto lookup = [](const QString& name) -> QString {
        if (name == "APP")
            return "/opt/zarq";
        if (name == "TMP")
            return "/home/u/.cache/tervan/tmp/";
        if (name == "NEST")
            return "/n{APP}";
        if (name == "ROOT")
            return "/";
        if (name == "WINDOWS")
            return "C:\\Temp\\";
        return QString(); // unknown, or a folder that yields nothing
    };
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"{APP}/x", "/opt/zarq/./x"},
        {"{app}/x", "/opt/zarq/./x"},
        {"{TMP}x.exe", "/home/u/.cache/tervan/tmp/.x.exe"},
        {"{WINDOWS}\\x.exe", "C:\\Temp\\x.exe"},
        {"{ROOT}/etc", "/./etc"},
        {"{WIN", "{WIN"},
        {"{FOO}/x", "{FOO}/x"},
        {"{WIN}/x", "{WIN}/x"},
        {"{FOO}{APP}", "{FOO}/opt/zarq/."},
        {"{{APP}}", "{{APP}}"},        // the second brace is ordinary text: the name is "{APP"
        {"{NEST}", "/n/opt/zarq/./."}, // scanning continues inside the inserted text
        {"a}b{APP}", "a}b/opt/zarq/."},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderPlaceholders::expand(c.text, lookup), QString(c.expected)) << c.text;
}

TEST(FolderPlaceholders, AFolderNamedAfterAPlaceholderDoesNotExpandForever) {
    const QString result = FolderPlaceholders::expand(
        "{APP}/x", [](const QString&) { return QStringLiteral("/d/{APP}"); });
    const int n = FolderPlaceholders::kMaxInsertions;
    EXPECT_EQ(result, QString("/d/").repeated(n) + "{APP}" + QString("/.").repeated(n) + "/x");
}

// A control file may name any path as the file to check: one that is no regular file counts as
// a file that cannot be read, at once, instead of reading /dev/zero for ever or waiting on a pipe.
TEST(FileChecksum, OnlyRegularFilesAreRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pipe = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/zero"), pipe, dir.path()}) {
        EXPECT_EQ(FileChecksum::ByteSum(path), -1) << qPrintable(path);
        EXPECT_EQ(FileChecksum::CrcVariant(path), 0) << qPrintable(path);
        EXPECT_EQ(FileVersion::read(path).High, -1) << qPrintable(path);
    }
}

TEST(FileChecksum, ByteSumAndCrcVariantOfKnownTexts) {
    EXPECT_EQ(FileChecksum::ByteSumOf("abc"), 293);
    EXPECT_EQ(FileChecksum::CrcVariantOf("abc"), 1821220161);
    EXPECT_EQ(FileChecksum::ByteSumOf(""), -1);
    EXPECT_EQ(FileChecksum::CrcVariantOf(""), 0);
    // Unsigned arithmetic with wrap-around: FFFFFFFF + 255 + 255.
    EXPECT_EQ(FileChecksum::ByteSumOf(QByteArray(2, '\xff')), 509);
    // The accumulation is an addition: the result is not the standard CRC-32 of "abc".
    EXPECT_NE(static_cast<quint32>(FileChecksum::CrcVariantOf("abc")), 0x352441C2u);
}
