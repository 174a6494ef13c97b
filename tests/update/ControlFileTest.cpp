#include "update/ControlFile.h"
#include "update/ValueKinds.h"

#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace zarq;

namespace {

ControlFile parse(const char* text) {
    return ControlFile::fromBytes(QByteArray(text));
}

} // namespace

TEST(ControlFile, SectionsAndKeysMatchWithoutRegardToCase) {
    const ControlFile f = parse("[Files]\r\nCOUNT=3\r\n[file1]\r\nUrl=http://h/a.exe\r\n");
    EXPECT_EQ(f.ReadInteger("files", "count", 0), 3);
    EXPECT_EQ(f.ReadString("FILE1", "url"), QString("http://h/a.exe"));
}

TEST(ControlFile, ValuesAreTrimmedAndLoseEnclosingQuotes) {
    struct Case {
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        {"k=  value \t", "value"},
        {"  k  =value", "value"},
        {"k=\"quoted value\"", "quoted value"},
        {"k='single'", "single"},
        {"k=\"unbalanced", "\"unbalanced"},
        {"k=a=b", "a=b"},
        {"k=", ""},
        {"k=\x01\x02text\x1f", "text"},
    };
    for (const Case& c : cases) {
        const ControlFile f = ControlFile::fromBytes(QByteArray("[s]\n") + c.line + "\n");
        EXPECT_EQ(f.ReadString("s", "k", "absent"), QString(c.expected)) << c.line;
    }
}

TEST(ControlFile, AbsentKeysAndSectionsReadAsTheDefault) {
    const ControlFile f = parse("[s]\nkey only line\n=no key\nk=1\n");
    EXPECT_EQ(f.ReadString("s", "missing", "def"), QString("def"));
    EXPECT_EQ(f.ReadString("other", "k", "def"), QString("def"));
    EXPECT_EQ(f.ReadString("s", "key only line", "def"), QString("def"));
    EXPECT_FALSE(f.hasValue("s", ""));
    EXPECT_TRUE(f.hasValue("S", "K"));
    // A key before any section belongs to none.
    EXPECT_EQ(parse("k=1\n[s]\n").ReadString("s", "k", "def"), QString("def"));
}

TEST(ControlFile, TheFirstOfRepeatedSectionsAndKeysCounts) {
    const ControlFile f = parse("[s]\nk=first\nk=second\n[t]\nx=1\n[S]\nk=third\ny=2\n");
    EXPECT_EQ(f.ReadString("s", "k"), QString("first"));
    EXPECT_EQ(f.ReadString("s", "y", "def"), QString("def"));
    EXPECT_EQ(f.ReadString("t", "x"), QString("1"));
}

TEST(ControlFile, ValuesKeepAtMost2047Bytes) {
    const QByteArray longValue(3000, 'a');
    const ControlFile f = ControlFile::fromBytes("[s]\nk=" + longValue + "\n");
    EXPECT_EQ(f.ReadString("s", "k").size(), 2047);
    // A two-byte character that would straddle the limit is dropped whole.
    const QByteArray chinese = TextCodec::toCp936(QString::fromUtf8("中"));
    ASSERT_EQ(chinese.size(), 2);
    const QByteArray straddling = QByteArray(2046, 'b') + chinese + "tail";
    const QString read = ControlFile::fromBytes("[s]\nk=" + straddling + "\n").ReadString("s", "k");
    EXPECT_EQ(read, QString(2046, 'b'));
}

TEST(ControlFile, TextIsUtf8WhenValidElseCodePage936) {
    // The same file as the Windows client's tools and as an editor here write it: the same box.
    const QString text = QString::fromUtf8("有新版本\\n请升级");
    const QString whole = "[s]\r\nmsg=" + text + QString::fromUtf8("\r\n[新]\r\nk=1\r\n");
    const QByteArray cp936 = TextCodec::toCp936(whole);
    const QByteArray utf8 = whole.toUtf8();
    for (const QByteArray& bytes : {cp936, utf8, QByteArray("\xEF\xBB\xBF") + utf8}) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const ControlFile f = ControlFile::fromBytes(bytes);
        EXPECT_EQ(f.ReadString("s", "msg"), text);
        EXPECT_EQ(zarq::ValueKinds::ExpandLines(f.ReadString("s", "msg")),
                  QString::fromUtf8("有新版本\r请升级"));
        EXPECT_EQ(f.ReadInteger(QString::fromUtf8("新"), "k", 0), 1);
    }
    // A UTF-8 character that would straddle the value limit is dropped whole.
    const QByteArray straddling = QByteArray(2046, 'b') + QString::fromUtf8("中").toUtf8();
    EXPECT_EQ(ControlFile::fromBytes("[s]\nk=" + straddling + "\n").ReadString("s", "k"),
              QString(2046, 'b'));
}

TEST(ControlFile, IntegersAndFlags) {
    const ControlFile f = parse("[files]\ncount=0x2\n[a]\ncount=two\ncompressed=2\nhidden=1\n"
                                "neg=-3\n");
    EXPECT_EQ(f.ReadInteger("files", "count", 0), 2);
    EXPECT_EQ(f.ReadInteger("a", "count", 0), 0);
    EXPECT_FALSE(f.ReadFlag("a", "compressed", 0));
    EXPECT_TRUE(f.ReadFlag("a", "hidden", 0));
    EXPECT_TRUE(f.ReadFlag("a", "preselect", 1));
    EXPECT_FALSE(f.ReadFlag("a", "mandatory", 0));
    EXPECT_EQ(f.ReadInteger("a", "neg", 0), -3);
}

TEST(ControlFile, AMissingFileReadsAsEmpty) {
    const ControlFile f = ControlFile::fromFile("/nonexistent/update1.txt");
    EXPECT_EQ(f.ReadInteger("files", "count", 0), 0);
}
