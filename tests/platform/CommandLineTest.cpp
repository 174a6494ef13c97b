#include "platform/CommandLine.h"

#include <gtest/gtest.h>

using zarq::CommandLine;

namespace {

struct SplitCase {
    const char* text;
    QStringList args;
};

class CommandLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, TakesTheTextApartByBlanksAndQuotes) {
    EXPECT_EQ(CommandLine::split(QString::fromUtf8(GetParam().text)), GetParam().args);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineSplit,
    testing::Values(
        SplitCase{"", {}}, SplitCase{"   \t ", {}}, SplitCase{"a", {"a"}},
        SplitCase{"  a   b\tc  ", {"a", "b", "c"}},
        // The updater's command line: a folder with a blank, the empty parameter as a quoted
        // blank, the staging folder quoted with its trailing separator, then the components.
        SplitCase{"4321 L \"/home/u/my apps/zarq\" \" \" \"/home/u/.cache/tervan/tmp/\" zarq_NEW "
                  "readme.txt_NEW",
                  {"4321", "L", "/home/u/my apps/zarq", " ", "/home/u/.cache/tervan/tmp/",
                   "zarq_NEW", "readme.txt_NEW"}},
        // Quotes group inside a word and are removed; a backslash stays as it is.
        SplitCase{"a\"b c\"d e", {"ab cd", "e"}},
        SplitCase{"\"C:\\Temp\\\" x", {"C:\\Temp\\", "x"}}, SplitCase{"\"\" x", {"", "x"}},
        SplitCase{"x \"unclosed y", {"x", "unclosed y"}},
        // No shell: its characters are plain text.
        SplitCase{"run $HOME;rm '*' |x", {"run", "$HOME;rm", "'*'", "|x"}},
        SplitCase{"\xe4\xb8\xad\xe6\x96\x87 b", {"\xe4\xb8\xad\xe6\x96\x87", "b"}}));

} // namespace
