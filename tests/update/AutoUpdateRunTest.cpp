#include "CoreTestHome.h"
#include "RecordingUserInterface.h"
#include "TestableAutoUpdate.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

const QVector<int> kStart = {968, 966, 967, 969, 970, 963};

QVector<int> started(std::initializer_list<int> rest) {
    QVector<int> all = kStart;
    all.append(QVector<int>(rest));
    return all;
}

// Runs over the file-share transport from an update folder inside a throw-away home: the run
// and its decisions are the same for every transport, and no network is involved.
class AutoUpdateRunTest : public testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(host());
        update.UpdateType = fileUpdate;
        update.ForceUpdate = true;
        update.UpdateUpdate = auuSilent;
        update.URL = host() + "/update1.txt";
        update.OnSuccess = [this](TAutoUpdate*) { ++successes; };
    }
    QString host() const { return home.path("host"); }
    QString staging() const { return home.home() + "/.cache/tervan/tmp/"; }
    void put(const QString& name, const QByteArray& bytes) {
        QFile file(host() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray entry(int n, const QString& name, const QByteArray& more = {}) {
        return "[file" + QByteArray::number(n) + "]\nurl=" + (host() + "/" + name).toUtf8() + "\n" +
               more;
    }
    // An application component and a file with a target folder.
    void putCompleteUpdate() {
        put("zarq.bin", "new program");
        put("readme.txt", "news");
        put("update1.txt",
            "[application]\nappupdate=1\nappname=zarq\nappcomps=zarq.bin\n"
            "[files]\ncount=2\n" +
                entry(1, "zarq.bin") +
                entry(2, "readme.txt", "targetdir=" + home.path("target").toUtf8() + "\n"));
    }

    CoreTestHome home;
    TestableAutoUpdate update;
    int successes = 0;
};

} // namespace

TEST_F(AutoUpdateRunTest, AMissingControlFileEndsTheRunWithNothingElse) {
    update.RunUpdate(false);
    // 913: the file share has no such file.
    EXPECT_EQ(update.numbers(), started({915, 913, 925}));
    EXPECT_EQ(update.messages[0].text,
              QString("Start update : Non threaded update ---------------------------"));
    EXPECT_EQ(update.find(963)->text, QString("Start AutoUpdate process with version : 2.0.12.2"));
    EXPECT_EQ(update.find(967)->text, QString("IE version : (not found)"));
    EXPECT_EQ(successes, 0);
    EXPECT_EQ(update.restarts, 0);
}

TEST_F(AutoUpdateRunTest, ACompleteRunFetchesPlacesAndRestarts) {
    putCompleteUpdate();
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers(), started({915, 926, 943, 971, 971, 915, 962, 915, 948}));
    EXPECT_EQ(update.find(962)->text, QString("Found application component : zarq.bin"));
    QFile placed(home.path("target/readme.txt"));
    ASSERT_TRUE(placed.open(QIODevice::ReadOnly));
    EXPECT_EQ(placed.readAll(), QByteArray("news"));
    EXPECT_TRUE(QFile::exists(staging() + "zarq.bin")); // left for the updater
    EXPECT_FALSE(QFile::exists(update.FControlFile));   // deleted by the disconnect
    EXPECT_EQ(successes, 1);
    EXPECT_TRUE(update.RestartRequired());
    EXPECT_EQ(update.restarts, 1); // a non-threaded run restarts by itself
    for (const auto& m : update.messages)
        EXPECT_EQ(m.thread, QCoreApplication::instance()->thread()) << m.number;
}

TEST_F(AutoUpdateRunTest, AThreadedRunHappensOnTheComponentsThreadAndEndsInThreadDone) {
    putCompleteUpdate();
    QVector<int> beforeDone;
    update.OnThreadUpdateDone = [&](TAutoUpdate*) {
        beforeDone = update.numbers();
        EXPECT_TRUE(update.Threaded());
    };
    update.StartThreadedUpdate();
    EXPECT_TRUE(update.Threaded());
    // The run waits for this thread's event loop: nothing has happened yet.
    EXPECT_TRUE(update.messages.isEmpty());
    ASSERT_TRUE(waitFor([&] { return !update.Threaded(); }));
    EXPECT_EQ(update.numbers(), started({915, 926, 943, 971, 971, 915, 962, 915, 948, 960, 961}));
    EXPECT_EQ(update.messages[0].text,
              QString("Start update : Threaded update ---------------------------"));
    EXPECT_EQ(beforeDone.last(), 948);
    EXPECT_EQ(update.restarts, 1); // once, from ThreadDone
    for (const auto& m : update.messages)
        EXPECT_EQ(m.thread, QCoreApplication::instance()->thread()) << m.number;
}

TEST_F(AutoUpdateRunTest, AComponentDestroyedWhileItsThreadWaitsEndsCleanly) {
    putCompleteUpdate();
    auto* early = new TestableAutoUpdate;
    early->UpdateType = fileUpdate;
    early->URL = update.URL;
    early->StartThreadedUpdate();
    delete early; // before this thread ran the hand-over: the worker is released and joined
    QCoreApplication::processEvents();
    SUCCEED();
}

TEST_F(AutoUpdateRunTest, AFailedFileClearsTheRestartButTheNextFileIsFetched) {
    put("readme.txt", "news");
    put("update1.txt", "[application]\nappupdate=1\nappname=zarq\nappcomps=zarq.bin\n"
                       "[files]\ncount=2\n" +
                           entry(1, "zarq.bin") + entry(2, "readme.txt"));
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers(), started({915, 926, 943, 971, 971, 915, 913, 946, 915, 948}));
    EXPECT_EQ(update.find(946)->text, "Cannot download update file : " + host() + "/zarq.bin");
    EXPECT_TRUE(QFile::exists(staging() + "readme.txt"));
    EXPECT_FALSE(update.FAppUpdate);
    EXPECT_EQ(update.restarts, 0);
    EXPECT_EQ(successes, 0); // a run that lost a file is no success
}

TEST_F(AutoUpdateRunTest, CancellingThroughOnProgressCancelEndsWithoutRestart) {
    putCompleteUpdate();
    QString current;
    update.OnFileProgress = [&](TAutoUpdate*, const QString& file, qint64, qint64) {
        current = file;
    };
    update.OnProgressCancel = [&](TAutoUpdate*, bool& cancel) {
        // the last listed file: a later transfer would start with a fresh cancel state
        if (current.endsWith("/readme.txt"))
            cancel = true;
    };
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(964));
    EXPECT_TRUE(update.FCancelled);
    EXPECT_FALSE(update.RestartRequired());
    EXPECT_EQ(update.restarts, 0);
    EXPECT_EQ(successes, 0);
    EXPECT_FALSE(update.numbers().contains(948)); // the finishing steps skip a cancelled run

    // The next run starts afresh.
    update.OnProgressCancel = nullptr;
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_FALSE(update.FCancelled);
    EXPECT_EQ(update.restarts, 1);
}

TEST_F(AutoUpdateRunTest, NothingDueClosesTheRunBeforeTheFileList) {
    const QByteArray local = home.path("local.txt").toUtf8();
    {
        QFile file(home.path("local.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }
    put("update1.txt", "[update]\nlocalversion=" + local +
                           "\nnewchecksum=293\nnewversion=9.9\n"
                           "[application]\nappupdate=1\nappname=zarq\n"
                           "[files]\ncount=1\n" +
                           entry(1, "x"));
    update.ForceUpdate = false;
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers(), started({915, 926, 931, 944, 930}));
    EXPECT_FALSE(update.numbers().contains(943));
    EXPECT_FALSE(update.FAppUpdate);
    EXPECT_EQ(update.FNewVersion, QString("9.9"));

    // Forced: the update section is not read, and FNewVersion stays as it was.
    update.ForceUpdate = true;
    update.FNewVersion.clear();
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(943));
    EXPECT_FALSE(update.numbers().contains(931));
    EXPECT_TRUE(update.FNewVersion.isEmpty());
}

TEST_F(AutoUpdateRunTest, InstructionsGoThroughTheUserInterface) {
    put("x", "data");
    put("update1.txt", "[action]\nmsg=line one\\nline two\nquery=Go on?\n"
                       "[files]\ncount=1\n" +
                           entry(1, "x"));
    RecordingUserInterface ui;
    update.SetUserInterface(&ui);
    ui.answer = false;
    update.RunUpdate(false);
    EXPECT_EQ(ui.asked, QStringList({"message: line one\rline two", "query: Go on?"}));
    EXPECT_EQ(update.numbers(), started({915, 926, 934, 936}));

    ui.answer = true;
    ui.asked.clear();
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(943));
    EXPECT_EQ(successes, 1);

    // Without a person the question is declined.
    update.SetUserInterface(nullptr);
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_FALSE(update.numbers().contains(943));
}

TEST_F(AutoUpdateRunTest, NewsAndLicenceAreShownWithTheirTextsAndDefaultButtons) {
    put("x", "data");
    put("news.txt", "first\nsecond\n");
    put("licence.txt", "terms\n");
    put("update1.txt", "[application]\nappupdate=1\nappname=zarq\n"
                       "[whatsnew]\nfile=" +
                           (host() + "/news.txt").toUtf8() +
                           "\ncaption=News\n[eula]\nfile=" + (host() + "/licence.txt").toUtf8() +
                           "\ncaption=Licence\naccept=Yes I do\n[files]\ncount=1\n" +
                           entry(1, "x"));
    RecordingUserInterface ui;
    update.SetUserInterface(&ui);
    QStringList before;
    update.OnBeforeFileDownload = [&](TAutoUpdate*, int index, const QString& description,
                                      QString& url) {
        before.append(QString::number(index) + ":" + description.section('/', -1) + ":" +
                      url.section('/', -1));
    };
    update.RunUpdate(false);
    EXPECT_EQ(ui.asked, QStringList({"whatsnew: News,first|second,Ok,Cancel",
                                     "eula: Licence,terms,Ok,Yes I do,I do not accept"}));
    EXPECT_EQ(before, QStringList({"0:news.txt:news.txt", "1::x"}));
    EXPECT_TRUE(update.numbers().contains(943));
    EXPECT_LT(update.numbers().indexOf(937), update.numbers().indexOf(939));

    // Declined news: 938, no licence shown, nothing fetched, no restart.
    ui.answer = false;
    ui.asked.clear();
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_EQ(ui.asked.size(), 1);
    EXPECT_TRUE(update.numbers().contains(938));
    EXPECT_FALSE(update.numbers().contains(943));
    EXPECT_FALSE(update.FAppUpdate);

    // A host that decides in place of the dialogs.
    update.OnDownloadedWhatsNew = [](TAutoUpdate*, const QStringList& text, int& res) {
        res = text.contains("second") ? 1 : 0;
    };
    update.OnDownloadedEULA = [](TAutoUpdate*, const QStringList&, int& res) { res = 2; };
    ui.asked.clear();
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_TRUE(ui.asked.isEmpty());
    EXPECT_FALSE(update.numbers().contains(943)); // the licence was declined
}

TEST_F(AutoUpdateRunTest, TheApplicationSectionAndTheSignature) {
    put("update1.txt", "[update]\nsignature=Other\n"
                       "[application]\nappupdate=1\nappname={APP}\\zarq\nappparam=\n"
                       "appcomps={APP}\\zarq.bin\nsilentrestart=1\n");
    ASSERT_EQ(update.GetControlFile(), 0);
    EXPECT_TRUE(update.FAppUpdate);
    EXPECT_EQ(update.FAppName, QDir::currentPath() + "/./zarq");
    EXPECT_EQ(update.FAppParam, QString(" "));
    EXPECT_EQ(update.FAppComps, QDir::currentPath() + "/./zarq.bin");
    EXPECT_TRUE(update.FSilentRestart);
    EXPECT_EQ(update.FControlFile, staging() + "update1.txt");

    update.SignatureCheck = true;
    update.OnSetAppParams = [](TAutoUpdate*, QString& params) { params = "--after-update"; };
    update.messages.clear();
    EXPECT_EQ(update.GetControlFile(), 5);
    EXPECT_TRUE(update.numbers().contains(927));
    EXPECT_EQ(update.FAppParam, QString("--after-update")); // the remaining steps still ran

    update.Signature = "Other";
    EXPECT_EQ(update.GetControlFile(), 0);

    update.SignatureCheck = false;
    put("update1.txt", "[application]\nappupdate=1\n");
    EXPECT_EQ(update.GetControlFile(), 0);
    EXPECT_FALSE(update.FAppUpdate); // no appname, no restart
}

TEST_F(AutoUpdateRunTest, UpdateSectionResults) {
    const QString local = home.path("local.txt");
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("abc");
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2009, 6, 1), QTime(12, 0)),
                                     QFileDevice::FileModificationTime));
    }
    struct Case {
        QByteArray section;
        int result;
        QVector<int> messages;
    };
    const QByteArray lv = "localversion=" + local.toUtf8() + "\n";
    const Case cases[] = {
        {"", 7, {}},
        {"date=01/07/2009\n" + lv, 6, {928, 929}},
        {"date=01/05/2009\n" + lv, 7, {928, 930}},
        {"date=01/05/2009\nlocalversion=" + home.path("missing").toUtf8() + "\n", 6, {928, 929}},
        {"date=01/05/2009\nunconditional=yes\n" + lv, 8, {928, 930}},
        {"unconditional=1\n", 8, {}},
        {"newchecksum=293\n" + lv, 7, {931, 944, 930}},
        {"newchecksum=1\n" + lv, 10, {931, 944, 929}},
        {"newsize=4\n" + lv, 9, {932, 929}},
        {"newsize=3\n" + lv, 7, {932, 930}},
        {"newversion=2.0\n" + lv, 7, {933, 944, 930}},
        {"newversion=2.0\n", 7, {}}, // no local path: nothing compared
    };
    for (const Case& c : cases) {
        update.load("[update]\n" + c.section);
        update.messages.clear();
        EXPECT_EQ(update.CheckUpdateSection(), c.result) << c.section.constData();
        EXPECT_EQ(update.numbers(), c.messages) << c.section.constData();
    }
    update.load("[update]\ndate=01/07/2009\ntime=08:30\n" + lv);
    update.CheckUpdateSection();
    EXPECT_EQ(update.FUpdateDate, QDateTime(QDate(2009, 7, 1), QTime(8, 30)));
    const auto* status930 = [&] {
        update.load("[update]\nnewsize=3\n" + lv);
        update.messages.clear();
        update.CheckUpdateSection();
        return update.find(930);
    }();
    ASSERT_NE(status930, nullptr);
    EXPECT_EQ(status930->status, 4);
}

TEST_F(AutoUpdateRunTest, TheHostsValidationHasTheLastWord) {
    update.load("[update]\nunconditional=1\n[custom]\nvalidatemsg=M\nvalidateparam=P\n");
    bool offered = false;
    update.OnCustomValidate = [&](TAutoUpdate*, const QString& msg, const QString& param,
                                  bool& allow) {
        EXPECT_EQ(msg + param, QString("MP"));
        offered = allow;
        allow = false;
    };
    EXPECT_EQ(update.CheckUpdateSection(), 7);
    EXPECT_TRUE(offered);
    update.load("[update]\n");
    update.OnCustomValidate = [&](TAutoUpdate*, const QString&, const QString&, bool& allow) {
        offered = allow;
        allow = true;
    };
    EXPECT_EQ(update.CheckUpdateSection(), 12);
    EXPECT_FALSE(offered);
}
