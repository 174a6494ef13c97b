// The download loop (DownloadFiles): prompting modes, application components, placement into
// target folders and failed entries, against the reference update host.

#include "UpdateHostFixture.h"

using namespace updatetest;
using zarq::TAutoUpdate;
using zarq::TFileDescription;

namespace {

class DownloadFilesTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        ASSERT_TRUE(host.start(root));
        update.UpdateUpdate = zarq::auuSilent;
        update.SetUserInterface(&ui);
        ASSERT_EQ(update.Connect(), 0);
        update.messages.clear();
    }
    TFileDescription entry(const QString& path, const QString& targetDir = QString(),
                           const QString& description = QString()) const {
        TFileDescription e;
        e.URL = host.url(path);
        e.TargetDir = targetDir;
        e.Description = description;
        return e;
    }

    TempHome home;
    QString root;
    UpdateHost host{home.folder("work")};
    ScriptedUserInterface ui;
    ProbeUpdate update;
};

TEST_F(DownloadFilesTest, ComponentsStayStagedOthersGoToTheirFoldersAndAFailureGoesOn) {
    const QString app = home.folder("app");
    const QString docs = home.path() + "/new/docs/"; // does not exist yet
    writeFile(root + "zarq", "new program");
    writeFile(root + "readme.txt", "new readme");
    writeFile(root + "notes.txt", "notes");
    writeFile(app + "readme.txt", "old readme");
    update.FAppComps = "zarq libzarq.so";
    update.FAppUpdate = true;
    update.FFileList = {entry("zarq", app), entry("missing.bin", app), entry("readme.txt", app),
                        entry("notes.txt", docs), entry("staged.txt")};
    writeFile(root + "staged.txt", "staged");
    EXPECT_EQ(update.DownloadFiles(), -1);

    EXPECT_EQ(readFile(home.staging() + "zarq"), "new program"); // the updater's business
    EXPECT_FALSE(QFile::exists(app + "zarq"));
    EXPECT_EQ(readFile(app + "readme.txt"), "new readme");
    EXPECT_EQ(readFile(docs + "notes.txt"), "notes");
    EXPECT_EQ(readFile(home.staging() + "staged.txt"), "staged");
    EXPECT_EQ(home.stagingFiles(), (QStringList{"staged.txt", "zarq"}));
    EXPECT_TRUE(update.FAppComponentFound);
    EXPECT_FALSE(update.FAppUpdate); // a failed entry: no restart
    EXPECT_EQ(update.numbers(), (QList<int>{915, 962, 915, 916, 946, 915, 915, 915}));
    EXPECT_EQ(update.find(962)->text, "zarq");
    EXPECT_EQ(update.find(946)->text, host.url("missing.bin"));
}

TEST_F(DownloadFilesTest, AComponentIsMatchedAsASubstringWithoutRegardToCase) {
    writeFile(root + "exe_new", "x");
    update.FAppComps = "CLIENT.EXE_NEW";
    update.FFileList = {entry("exe_new", home.folder("app"))};
    EXPECT_EQ(update.DownloadFiles(), 0);
    EXPECT_TRUE(update.FAppComponentFound);
    EXPECT_TRUE(QFile::exists(home.staging() + "exe_new"));
}

TEST_F(DownloadFilesTest, PromptOnceNoFetchesNothingAndPromptAllAsksForEachFile) {
    writeFile(root + "a.txt", "a");
    writeFile(root + "b.txt", "b");
    update.FFileList = {entry("a.txt"), entry("b.txt")};
    update.UpdateUpdate = zarq::auuPromptOnce;
    ui.confirmAnswers = {false};
    EXPECT_EQ(update.DownloadFiles(), 0);
    EXPECT_EQ(ui.asked, QStringList{"confirm:Download update files ?"});
    EXPECT_TRUE(host.requests().isEmpty());

    ui.asked.clear();
    ui.confirmAnswers = {true};
    EXPECT_EQ(update.DownloadFiles(), 0);
    EXPECT_EQ(ui.asked.size(), 1); // Yes once fetches every entry without asking again
    EXPECT_EQ(host.requestedPaths(), (QStringList{"/a.txt", "/b.txt"}));

    ui.asked.clear();
    update.UpdateUpdate = zarq::auuPromptAll;
    ui.confirmAnswers = {false, true};
    EXPECT_EQ(update.DownloadFiles(), 0);
    EXPECT_EQ(ui.asked, (QStringList{"confirm:Download update file : a.txt",
                                     "confirm:Download update file : b.txt"}));
    EXPECT_EQ(host.requestedPaths().mid(2), QStringList{"/b.txt"});
}

TEST_F(DownloadFilesTest, TheEventSeesEachEntryAndMayChangeItsUrlButNotItsLocalName) {
    const QString app = home.folder("app");
    writeFile(root + "v2/a.txt", "from v2");
    writeFile(root + "b.txt", "b");
    update.FFileList = {entry("a.txt", app, "first"), entry("b.txt", app, "second")};
    QStringList seen;
    update.OnBeforeFileDownload = [&](TAutoUpdate*, int index, const QString& description,
                                      QString& url) {
        seen.append(QString::number(index) + ":" + description);
        if (index == 1)
            url = host.url("v2/a.txt");
    };
    EXPECT_EQ(update.DownloadFiles(), 0);
    EXPECT_EQ(seen, (QStringList{"1:first", "2:second"}));
    EXPECT_EQ(readFile(app + "a.txt"), "from v2");
    EXPECT_EQ(readFile(app + "b.txt"), "b");
}

TEST_F(DownloadFilesTest, AnEntryWhoseNameWouldLeaveItsFolderFailsWith917) {
    update.FAppUpdate = true;
    update.FFileList = {entry("dir/..", home.folder("app"))};
    EXPECT_EQ(update.DownloadFiles(), -1);
    EXPECT_EQ(update.numbers(), (QList<int>{915, 917, 946}));
    EXPECT_FALSE(update.FAppUpdate);
    EXPECT_TRUE(host.requests().isEmpty());
}

} // namespace
