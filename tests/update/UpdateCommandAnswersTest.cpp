// `zarq --update` answers the control file's instructions without a person: messages, news
// and licence are printed; the question, the news and the licence count as declined unless
// --yes was given.

#include "UpdateHostFixture.h"

using namespace updatetest;

namespace {

struct Outcome : ZarqOutcome {
    bool has(const QString& line) const { return lines.contains(line); }
    int indexOf(const QString& line) const { return lines.indexOf(line); }
};

class UpdateCommandAnswersTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        app = home.folder("app");
        ASSERT_TRUE(host.start(root));
        writeFile(root + "news.txt", "Faster sign-in\r\nFewer boxes\r\n");
        writeFile(root + "licence.txt", "Use it kindly\r\n");
        writeFile(root + "readme.txt", "new readme");
        writeFile(root + "update1.txt",
                  "[action]\r\nmsg=Update ready\\nRead on\r\nquery=Install now?\r\n"
                  "[whatsnew]\r\nfile=" +
                      host.url("news.txt").toUtf8() +
                      "\r\ncaption=News\r\n[eula]\r\nfile=" + host.url("licence.txt").toUtf8() +
                      "\r\ncaption=Licence\r\n[files]\r\ncount=1\r\n[file1]\r\nurl=" +
                      host.url("readme.txt").toUtf8() + "\r\ntargetdir={APP}\\docs\r\n");
    }
    Outcome run(const QStringList& args) {
        Outcome outcome;
        static_cast<ZarqOutcome&>(outcome) = runZarq(app, args, host.url("update1.txt"));
        return outcome;
    }

    TempHome home;
    QString root, app;
    UpdateHost host{home.folder("work")};
};

} // namespace

TEST_F(UpdateCommandAnswersTest, WithoutYesTheMessageIsPrintedAndTheQuestionDeclined) {
    const Outcome out = run({"--update"});
    EXPECT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    const int message = out.indexOf("zarq: update message: Update ready");
    ASSERT_GE(message, 0) << out.lines.join('\n').toStdString();
    EXPECT_EQ(out.lines.value(message + 1), "Read on");
    EXPECT_TRUE(out.has("zarq: update question answered No: Install now?"));
    EXPECT_EQ(host.requestedPaths(), QStringList({"/update1.txt"}));
    EXPECT_FALSE(QFile::exists(app + "docs/readme.txt"));
}

TEST_F(UpdateCommandAnswersTest, NewsAndLicenceArePrintedAndDeclinedWithoutYes) {
    // Without the question, the news is the first thing declined.
    writeFile(root + "update1.txt",
              readFile(root + "update1.txt").replace("query=Install now?\r\n", ""));
    const Outcome out = run({"--update"});
    const int news = out.indexOf("zarq: update news: News");
    ASSERT_GE(news, 0) << out.lines.join('\n').toStdString();
    EXPECT_EQ(out.lines.mid(news + 1, 2), QStringList({"  Faster sign-in", "  Fewer boxes"}));
    EXPECT_TRUE(out.has("zarq: update news answered No: News"));
    EXPECT_TRUE(out.has("zarq: update [938] Whatsnew not accepted (Status:14) (Error:0)"));
    EXPECT_FALSE(out.has("zarq: update licence: Licence")); // not shown after declined news
    // The licence is still fetched, as the run always does, but not shown; no file follows.
    EXPECT_EQ(host.requestedPaths(), QStringList({"/update1.txt", "/news.txt", "/licence.txt"}));
    EXPECT_FALSE(QFile::exists(app + "docs/readme.txt"));
}

TEST_F(UpdateCommandAnswersTest, WithYesEverythingIsAcceptedAndTheFileFetched) {
    const Outcome out = run({"--update", "--yes"});
    EXPECT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_TRUE(out.has("zarq: update question answered Yes (--yes): Install now?"));
    EXPECT_TRUE(out.has("zarq: update news answered Yes (--yes): News"));
    const int licence = out.indexOf("zarq: update licence: Licence");
    ASSERT_GE(licence, 0) << out.lines.join('\n').toStdString();
    EXPECT_EQ(out.lines.value(licence + 1), "  Use it kindly");
    EXPECT_TRUE(out.has("zarq: update licence answered Yes (--yes): Licence"));
    EXPECT_EQ(readFile(app + "docs/readme.txt"), "new readme");
}

TEST_F(UpdateCommandAnswersTest, YesBelongsToUpdate) {
    const Outcome out = run({"--headless", "--yes"});
    EXPECT_EQ(out.exitCode, 2);
    EXPECT_TRUE(out.has("zarq: --yes answers the questions of --update and needs it"))
        << out.lines.join('\n').toStdString();
}
