#include "updater/UpdaterParameters.h"
#include "platform/CommandLine.h"

#include <gtest/gtest.h>

using zarq::CommandLine;
using zarq::UpdaterParameters;

namespace {

// A command line as the program writes it, taken apart as the updater receives it.
struct LineCase {
    const char* name;
    const char* text;
    pid_t pid;
    bool logging;
    const char* application;
    const char* parameter;
    const char* staging;
    QStringList components;
    bool restarts;
    QStringList restart;
};

class UpdaterCommandLine : public testing::TestWithParam<LineCase> {};

TEST_P(UpdaterCommandLine, IsTakenApartAsTheProgramMeantIt) {
    const LineCase& c = GetParam();
    const auto p = UpdaterParameters::parse(CommandLine::split(QString::fromUtf8(c.text)));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->processId, c.pid);
    EXPECT_EQ(p->logging, c.logging);
    EXPECT_EQ(p->application, QString::fromUtf8(c.application));
    EXPECT_EQ(p->applicationParameter, QString::fromUtf8(c.parameter));
    EXPECT_EQ(p->stagingFolder, QString::fromUtf8(c.staging));
    EXPECT_EQ(p->components.join(QLatin1Char('|')), c.components.join(QLatin1Char('|')));
    EXPECT_EQ(p->restarts(), c.restarts);
    EXPECT_EQ(p->restartCommand().join(QLatin1Char('|')), c.restart.join(QLatin1Char('|')));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UpdaterCommandLine,
    testing::Values(
        // A folder with a blank: parameter 3 quoted; the empty appparam travels as a quoted
        // blank and the program is restarted without an argument.
        LineCase{"blank_in_folder_empty_param",
                 "4321 L \"/home/u/my apps/zarq\" \" \" \"/home/u/.cache/tervan/tmp/\" zarq_NEW "
                 "readme.txt_NEW",
                 4321,
                 true,
                 "/home/u/my apps/zarq",
                 " ",
                 "/home/u/.cache/tervan/tmp/",
                 {"zarq_NEW", "readme.txt_NEW"},
                 true,
                 {"/home/u/my apps/zarq"}},
        LineCase{"parameter_with_blank",
                 "77 X /opt/z/zarq \"--from update\" \"/t/\" a.cab b.inf",
                 77,
                 false,
                 "/opt/z/zarq",
                 "--from update",
                 "/t/",
                 {"a.cab", "b.inf"},
                 true,
                 {"/opt/z/zarq", "--from update"}},
        LineCase{"plain_parameter",
                 "5 X /opt/z/zarq -x \"/t/\" c_NEW",
                 5,
                 false,
                 "/opt/z/zarq",
                 "-x",
                 "/t/",
                 {"c_NEW"},
                 true,
                 {"/opt/z/zarq", "-x"}},
        LineCase{"null_restarts_nothing",
                 "12 L null \" \" \"/t/\" zarq_NEW",
                 12,
                 true,
                 "null",
                 " ",
                 "/t/",
                 {"zarq_NEW"},
                 false,
                 {"null"}},
        LineCase{"lower_case_l_is_no_logging",
                 "12 l /a/z \" \" \"/t/\"",
                 12,
                 false,
                 "/a/z",
                 " ",
                 "/t/",
                 {},
                 true,
                 {"/a/z"}},
        LineCase{"missing_parameters_are_empty", "12", 12, false, "", "", "", {}, false, {""}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(UpdaterCommandLineTest, AFirstParameterThatIsNoDecimalNumberEndsTheUpdater) {
    for (const char* first : {"", "abc", "12a", "-5", "+5", " 5", "0x10", "99999999999", "１２"})
        EXPECT_FALSE(UpdaterParameters::parse({QString::fromUtf8(first), "L", "/a/z"}).has_value())
            << first;
    EXPECT_FALSE(UpdaterParameters::parse({}).has_value());
}

} // namespace
