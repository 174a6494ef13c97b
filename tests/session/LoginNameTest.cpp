#include "session/LoginName.h"

#include <gtest/gtest.h>

using namespace zarq;

namespace {

TEST(LoginName, NamesThatWouldBreakTheRequestAreRefusedWithTheReason) {
    struct Case {
        QString name;
        QString problem; // empty: usable
    };
    const Case cases[] = {
        {"demo", ""},
        {"my-home_1.sub", ""},
        {"", ""}, // an empty name is sent as specified: "." and the zone
        {QStringLiteral("张三"), ""},
        {"de mo", "it holds a blank"},
        {"demo ", "it holds a blank"},
        {"a&b", "it holds \"&\""},
        {"a?b", "it holds \"?\""},
        {"a#b", "it holds \"#\""},
        {"a/b", "it holds \"/\""},
        {"x\r\nHost: evil", "it holds a control character (U+000D)"},
        {"x\nHost: evil", "it holds a control character (U+000A)"},
        {QStringLiteral("x") + QChar(0) + QStringLiteral("y"),
         "it holds a control character (U+0000)"},
        {"x\x7f", "it holds a control character (U+007F)"},
        {QStringLiteral("x\u0085"), "it holds a control character (U+0085)"},
        {QStringLiteral("x\u3000"), "it holds a blank (U+3000)"},
        {QStringLiteral("x\U0001F600"), "it holds a character the request cannot carry (U+1F600)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(LoginName::shown(c.name).toStdString());
        EXPECT_EQ(LoginName::problem(c.name), c.problem);
    }
}

TEST(LoginName, WithoutRefusedKeepsEverythingElseInOrder) {
    EXPECT_EQ(LoginName::withoutRefused(QStringLiteral(" a&b?c#d/e\tf\r\ng ")),
              QStringLiteral("abcdefg"));
    EXPECT_EQ(LoginName::withoutRefused(QStringLiteral("张三-1")), QStringLiteral("张三-1"));
    for (const char c : {'&', '?', '#', '/', ' ', '\t', '\r', '\n', '\x01', '\x7f'})
        EXPECT_TRUE(LoginName::isRefused(QLatin1Char(c))) << int(c);
    for (const char c : {'a', 'Z', '0', '-', '_', '.', '%', '=', '+'})
        EXPECT_FALSE(LoginName::isRefused(QLatin1Char(c))) << c;
}

TEST(LoginName, ShownWritesControlCharactersAsEscapes) {
    EXPECT_EQ(LoginName::shown(QStringLiteral("a\r\nb\tc\x01")),
              QStringLiteral("a\\r\\nb\\tc\\x01"));
}

} // namespace
