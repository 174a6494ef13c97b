#include "updater/IniText.h"
#include "updater/UpdaterFolders.h"
#include "updater/UpdaterLog.h"

#include <gtest/gtest.h>

using zarq::IniText;
using zarq::UpdaterFolders;
using zarq::UpdaterLog;

namespace {

TEST(IniTextTest, ReadsLikeTheWindowsProfileFunctions) {
    const IniText ini = IniText::parse("; a comment\r\n"
                                       "[Files]\r\n"
                                       "Count = 3\r\n"
                                       "file1=  a.txt_NEW  \r\n"
                                       "FILE1=second wins never\r\n"
                                       "TARGET1=\"{APP}\\sub dir\"\r\n"
                                       "target2='quoted'\r\n"
                                       "broken line\r\n"
                                       "[config]\n"
                                       "LOGFILENAME=UPDATE.LOG\n"
                                       "[FILES]\n"
                                       "TARGET3=later section\n");
    EXPECT_EQ(ini.integer("FILES", "COUNT", 0), 3);
    EXPECT_EQ(ini.value("FILES", "FILE1"), QStringLiteral("a.txt_NEW"));
    EXPECT_EQ(ini.value("files", "target1"), QStringLiteral("{APP}\\sub dir"));
    EXPECT_EQ(ini.value("FILES", "TARGET2"), QStringLiteral("quoted"));
    EXPECT_EQ(ini.value("FILES", "TARGET3"), QStringLiteral("later section"));
    EXPECT_EQ(ini.value("CONFIG", "LOGFILENAME", "UPDATER.LOG"), QStringLiteral("UPDATE.LOG"));
    EXPECT_EQ(ini.value("CONFIG", "OTHER", "UPDATER.LOG"), QStringLiteral("UPDATER.LOG"));
    EXPECT_EQ(ini.value("NONE", "FILE1", "d"), QStringLiteral("d"));
}

TEST(IniTextTest, IntegersAndCodePages) {
    const IniText ini =
        IniText::parse("[A]\nn1=12abc\nn2=-7\nn3=abc\nn4=\nname=\xd6\xd0\xce\xc4\n");
    EXPECT_EQ(ini.integer("A", "n1", 0), 12);
    EXPECT_EQ(ini.integer("A", "n2", 0), -7);
    EXPECT_EQ(ini.integer("A", "n3", 5), 5);
    EXPECT_EQ(ini.integer("A", "n4", 5), 5);
    EXPECT_EQ(ini.integer("A", "missing", 9), 9);
    // Not UTF-8: read as code page 936, as the Windows client wrote it.
    EXPECT_EQ(ini.value("A", "name"), QString::fromUtf8("\xe4\xb8\xad\xe6\x96\x87"));
    EXPECT_EQ(IniText::parse("[A]\nname=\xe4\xb8\xad\xe6\x96\x87\n").value("A", "name"),
              QString::fromUtf8("\xe4\xb8\xad\xe6\x96\x87"));
}

struct TargetCase {
    const char* value;
    const char* expanded;
};

class ListTarget : public testing::TestWithParam<TargetCase> {};

TEST_P(ListTarget, PlaceholdersExpandAsTheUpdaterDoes) {
    EXPECT_EQ(UpdaterFolders::expandTarget(QString::fromUtf8(GetParam().value),
                                           QStringLiteral("/home/u/app"),
                                           QStringLiteral("/home/u/.cache/tervan/tmp")),
              QString::fromUtf8(GetParam().expanded));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ListTarget,
    testing::Values(TargetCase{"{APP}", "/home/u/app/."},
                    TargetCase{"{app}\\plugins\\", "/home/u/app/./plugins/"},
                    TargetCase{"{TMP}\\x", "/home/u/.cache/tervan/tmp/./x"},
                    TargetCase{"{SYS}\\drivers", "{SYS}/drivers"}, TargetCase{"{WIN}", "{WIN}"},
                    TargetCase{"{PF}\\Tervan", "{PF}/Tervan"}, TargetCase{"{DOC}", "{DOC}"},
                    TargetCase{"{APP", "{APP"}, TargetCase{"{{APP}", "{{APP}"},
                    TargetCase{"{x}{APP}", "{x}/home/u/app/."}, TargetCase{"plain", "plain"}));

TEST(ListTargetTest, AFolderWhoseNameHoldsAPlaceholderIsInsertedOnce) {
    EXPECT_EQ(UpdaterFolders::expandTarget("{APP}/x", "/srv/{APP}", "/t"),
              QStringLiteral("/srv/{APP}/./x"));
}

TEST(UpdaterLogTest, LineFormat) {
    const QDateTime when(QDate(2008, 7, 25), QTime(13, 5, 9), Qt::LocalTime);
    EXPECT_EQ(UpdaterLog::format(when, QStringLiteral("upd v2.0.3.4")),
              QStringLiteral("25/07/2008 13:05:09 : [000] upd v2.0.3.4"));
}

TEST(UpdaterLogTest, ABareNameLiesInTheDocumentsFolder) {
    EXPECT_EQ(UpdaterLog::pathFor("UPDATE.LOG", "/home/u/Documents"),
              QStringLiteral("/home/u/Documents/UPDATE.LOG"));
    EXPECT_EQ(UpdaterLog::pathFor("/var/tmp/u.log", "/d"), QStringLiteral("/var/tmp/u.log"));
    EXPECT_EQ(UpdaterLog::pathFor("logs\\u.log", "/d"), QStringLiteral("logs/u.log"));
    EXPECT_EQ(UpdaterLog::pathFor("c:u.log", "/d"), QStringLiteral("c:u.log"));
}

} // namespace
