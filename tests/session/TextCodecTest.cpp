#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using zarq::TextCodec;

TEST(TextCodec, ChineseTextBecomesCodePage936Bytes) {
    // "中文" in GBK is D6 D0 CE C4; ASCII passes unchanged.
    EXPECT_EQ(TextCodec::toCp936(QStringLiteral("a中文.b")), QByteArray("a\xD6\xD0\xCE\xC4.b"));
    EXPECT_EQ(TextCodec::fromCp936(QByteArray("a\xD6\xD0\xCE\xC4.b")), QStringLiteral("a中文.b"));
    const QString mixed = QStringLiteral("蓝杉果 TERVAN 动态域名客户端，");
    EXPECT_EQ(TextCodec::fromCp936(TextCodec::toCp936(mixed)), mixed);
}

TEST(TextCodec, AsciiBytesReadAsThemselvesWithAndWithoutHigherBytes) {
    // Every code below 128, NUL and controls included, is the same character: alone (a text
    // of ASCII only) and next to a double-byte character (a text that needs the conversion).
    QByteArray ascii;
    QString expected;
    for (int c = 0; c < 128; ++c) {
        ascii.append(char(c));
        expected.append(QChar(c));
    }
    EXPECT_EQ(TextCodec::fromCp936(ascii), expected);
    EXPECT_EQ(TextCodec::fromCp936(ascii + "\xD6\xD0"), expected + QStringLiteral("中"));
}

TEST(TextCodec, UnencodableAndInvalidInputIsReplacedNotDropped) {
    // A character outside code page 936 becomes one '?', like the Windows conversion.
    EXPECT_EQ(TextCodec::toCp936(QStringLiteral("x\U0001F600y")), QByteArray("x?y"));
    // A lone lead byte or an invalid pair becomes U+FFFD; the rest survives.
    EXPECT_EQ(TextCodec::fromCp936(QByteArray("ab\xD6")), QStringLiteral("ab\uFFFD"));
    EXPECT_EQ(TextCodec::fromCp936(QByteArray("\xFF"
                                              "z")),
              QStringLiteral("\uFFFDz"));
}

TEST(TextCodec, TrimRemovesCodesZeroToThirtyTwoAtBothEndsOnly) {
    struct Case {
        QByteArray in, out;
    };
    const Case cases[] = {
        {"", ""},
        {" \t\r\n", ""},
        {QByteArray("\0\x01 1.2.3.4\r\n\x1f", 12), "1.2.3.4"},
        {"  a b  ", "a b"},
        {"\x7f"
         "a\x7f",
         "\x7f"
         "a\x7f"},                  // 127 is not blank
        {"\xA1\xA1x", "\xA1\xA1x"}, // a GBK full-width space is not blank either
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextCodec::trimmed(c.in), c.out);
        EXPECT_EQ(TextCodec::trimmed(QString::fromLatin1(c.in)), QString::fromLatin1(c.out));
    }
}
