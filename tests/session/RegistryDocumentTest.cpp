#include "platform/RegistryDocument.h"

#include <gtest/gtest.h>

using namespace zarq;

namespace {

RegistryDocument parseOk(const QByteArray& text) {
    std::optional<RegistryParseError> error;
    RegistryDocument doc = RegistryDocument::parse(text, &error);
    EXPECT_FALSE(error.has_value()) << (error ? error->reason.toStdString() : std::string());
    return doc;
}

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\software\\tervan\\zarq");

} // namespace

TEST(RegistryDocument, EveryValueSurvivesARoundTrip) {
    RegistryDocument doc;
    RegistryKey& key = doc.ensureKey(kKey);
    key.values = {
        {QStringLiteral("loginname"), RegSz, QStringLiteral("张三 \"q\" \\ end"), 0, {}},
        {QStringLiteral("multi"), RegSz, QStringLiteral("line1\nline2\ttab"), 0, {}},
        {QStringLiteral("autologin"), RegDword, {}, 0xffffffffu, {}},
        {QStringLiteral("path"), RegExpandSz, QStringLiteral("%HOME%/x"), 0, {}},
        {QStringLiteral("blob"), RegBinary, {}, 0, QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("list"), 7, {}, 0, QByteArray("a\0\0\0", 4)},
        {QString(), RegSz, QStringLiteral("default"), 0, {}},
    };
    doc.ensureKey(kKey + QStringLiteral("\\sub"));
    const QByteArray text = doc.serialize();
    const RegistryDocument back = parseOk(text);
    ASSERT_EQ(back.keys().size(), 2);
    const RegistryKey* k = back.findKey(kKey.toUpper()); // key names ignore letter case
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->values.size(), key.values.size());
    for (qsizetype i = 0; i < key.values.size(); ++i) {
        const RegistryValue& a = key.values[i];
        const RegistryValue& b = k->values[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.type, b.type) << a.name.toStdString();
        EXPECT_EQ(a.text, b.text) << a.name.toStdString();
        EXPECT_EQ(a.number, b.number);
        EXPECT_EQ(a.raw, b.raw);
    }
    EXPECT_TRUE(text.startsWith("Windows Registry Editor Version 5.00\n"));
    EXPECT_TRUE(text.contains("\"autologin\"=dword:ffffffff\n"));
    EXPECT_TRUE(text.contains("\"loginname\"=\"\xE5\xBC\xA0\xE4\xB8\x89 \\\"q\\\" \\\\ end\"\n"));
}

TEST(RegistryDocument, ReadsWhatTheRegistryEditorWrites) {
    // CRLF lines, comments, continued hex lines, deletions and later duplicates.
    const QByteArray text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                            "; a comment\r\n"
                            "[HKEY_CURRENT_USER\\software\\tervan\\zarq]\r\n"
                            "\"A\"=\"1\"\r\n"
                            "\"b\" = dword:0000002a\r\n"
                            "\"bin\"=hex:01,02,\\\r\n  03\r\n"
                            "\"a\"=\"2\"\r\n"
                            "\"gone\"=\"x\"\r\n"
                            "\"gone\"=-\r\n"
                            "[HKEY_CURRENT_USER\\old]\r\n"
                            "[-HKEY_CURRENT_USER\\old]\r\n";
    const RegistryDocument doc = parseOk(text);
    ASSERT_EQ(doc.keys().size(), 1);
    const RegistryKey& k = doc.keys().front();
    ASSERT_EQ(k.values.size(), 3);
    EXPECT_EQ(k.find(QStringLiteral("a"))->text, QStringLiteral("2"));
    EXPECT_EQ(k.find(QStringLiteral("B"))->number, 42u);
    EXPECT_EQ(k.find(QStringLiteral("bin"))->raw, QByteArray("\x01\x02\x03"));
    EXPECT_EQ(k.find(QStringLiteral("gone")), nullptr);
}

TEST(RegistryDocument, BadInputNamesItsLine) {
    struct Case {
        QByteArray text;
        int line;
    };
    const QByteArray head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\k]\n";
    const Case cases[] = {
        {"REGEDIT4\n", 1},
        {"garbage", 1},
        {"Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n", 2},
        {head + "\"v\"=\"unterminated\n", 4},
        {head + "\"v\"=\"x\" trailing\n", 4},
        {head + "\"v\"=dword:123456789\n", 4},
        {head + "\"v\"=dword:\n", 4},
        {head + "\"v\"=hex:1g\n", 4},
        {head + "\"v\"=hex(1):41\n", 4},
        {head + "\"v\"=whatever\n", 4},
        {head + "no quotes\n", 4},
        {head + "\"ok\"=\"1\"\n[broken\n", 5},
        {head + QByteArray("\"v\"=\"\xC3\x28\"\n"), 4}, // not UTF-8
    };
    for (const Case& c : cases) {
        std::optional<RegistryParseError> error;
        RegistryDocument::parse(c.text, &error);
        ASSERT_TRUE(error.has_value()) << c.text.constData();
        EXPECT_EQ(error->line, c.line) << c.text.constData();
        EXPECT_FALSE(error->reason.isEmpty());
    }
}

TEST(RegistryDocument, EmptyFileIsAnEmptyRegistry) {
    EXPECT_TRUE(parseOk("").keys().isEmpty());
    EXPECT_TRUE(parseOk("\n\n").keys().isEmpty());
}
