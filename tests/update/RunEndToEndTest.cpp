// Whole update runs of the program's configuration (forced, silent, HTTP) against the reference
// update host: one run per failure row of the run and the transfers, and the message sequence
// of a complete threaded run.

#include "UpdateHostFixture.h"

#include <QProcess>

#include <sys/stat.h>

using namespace updatetest;
using zarq::TAutoUpdate;

namespace {

class RunEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        app = home.folder("app");
        ASSERT_TRUE(host.start(root));
        // The configuration of the program's AutoUpdate1.
        update.URL = host.url("update1.txt");
        update.UpdateType = zarq::httpUpdate;
        update.UpdateConnect = zarq::aucNoConnect;
        update.UpdateUpdate = zarq::auuSilent;
        update.ForceUpdate = true;
        update.VersionCheck = zarq::vcUpdateOnly;
        update.Agent = "TErvan ZArq Client 1.0";
        update.SetLogFileName("UPDATE.LOG");
        update.SetUserInterface(&ui);
        update.OnSuccess = [this](TAutoUpdate*) { ++successes; };
    }
    // A control file whose one application component is `component`, fetched into the
    // staging folder; `extra` adds entries.
    void serveControlFile(const QByteArray& files) {
        writeFile(root + "update1.txt", "[update]\r\nsignature=AutoUpdate\r\n"
                                        "[application]\r\nappupdate=1\r\nappname=zarq\r\n"
                                        "appcomps=zarq\r\n" +
                                            files);
    }

    TempHome home;
    QString root, app;
    UpdateHost host{home.folder("work")};
    ScriptedUserInterface ui;
    ProbeUpdate update;
    int successes = 0;
};

const QList<int> kStart = {968, 966, 967, 969, 970, 963, 918, 921, 915};

TEST_F(RunEndToEndTest, AMissingControlFileLogs925AndNothingElseHappens) {
    update.RunUpdate(false);
    // The host's 404 for it, then 925, and only the closing of the connection follows.
    EXPECT_EQ(update.numbers(), (kStart + QList<int>{916, 925, 949, 949}));
    EXPECT_EQ(update.find(925)->status, 2);
    EXPECT_EQ(host.requestedPaths(), QStringList{"/update1.txt"});
    EXPECT_EQ(home.stagingFiles(), QStringList());
    EXPECT_EQ(update.restarts, 0);
    EXPECT_EQ(successes, 0);
}

TEST_F(RunEndToEndTest, ARefusedStagingFolderSaysWhyAndFetchesNothing) {
    serveControlFile("[files]\r\ncount=0\r\n");
    QDir().mkpath(home.path() + "/cache");
    ASSERT_EQ(::chmod(QFile::encodeName(home.path() + "/cache").constData(), 0777), 0);
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers(),
              (kStart.mid(0, kStart.size() - 1) + QList<int>{976, 925, 949, 949}));
    EXPECT_TRUE(update.find(976)->text.contains("/cache can be written by other users"))
        << update.find(976)->text.toStdString();
    EXPECT_TRUE(host.requestedPaths().isEmpty());
}

TEST_F(RunEndToEndTest, ARunRemovesWhatEarlierRunsLeftStagedButNeverTheUpdater) {
    serveControlFile("[files]\r\ncount=0\r\n");
    QDir().mkpath(home.staging());
    ::chmod(QFile::encodeName(home.staging()).constData(), 0700);
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    for (const char* name : {"leftover.bin", "zarq_NEW", "updater.exe"}) {
        writeFile(home.staging() + name, "old");
        QFile file(home.staging() + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(hourAgo, QFileDevice::FileModificationTime));
    }
    writeFile(home.staging() + "fresh.bin", "being written by another run");
    update.RunUpdate(false);
    EXPECT_EQ(home.stagingFiles(), (QStringList{"fresh.bin", "updater.exe"}));
}

TEST_F(RunEndToEndTest, A404OnAListedFileIs916And946AndNoRestart) {
    serveControlFile("[files]\r\ncount=2\r\n[file1]\r\nurl=" + host.url("zarq").toUtf8() +
                     "\r\n[file2]\r\nurl=" + host.url("readme.txt").toUtf8() +
                     "\r\ntargetdir=" + app.toUtf8() + "\r\n");
    writeFile(root + "readme.txt", "new readme");
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers(),
              (kStart + QList<int>{926, 943, 971, 971, 915, 916, 946, 915, 948, 949, 949}));
    const Message* status = update.find(916);
    EXPECT_EQ(status->text, "404");
    EXPECT_EQ(status->status, 6);
    EXPECT_EQ(status->error, 404);
    EXPECT_EQ(update.find(946)->text, host.url("zarq"));
    EXPECT_EQ(readFile(app + "readme.txt"), "new readme"); // the next entry is still fetched
    EXPECT_FALSE(update.RestartRequired());
    EXPECT_EQ(update.restarts, 0);
    EXPECT_EQ(home.stagingFiles(), QStringList()); // the control file is gone too
}

TEST_F(RunEndToEndTest, AReadOnlyTargetIsReplaced) {
    serveControlFile("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("readme.txt").toUtf8() +
                     "\r\ntargetdir=" + app.toUtf8() + "\r\n");
    writeFile(root + "readme.txt", "new readme");
    writeFile(app + "readme.txt", "old readme");
    ASSERT_EQ(::chmod(QFile::encodeName(app + "readme.txt").constData(), 0444), 0);
    update.RunUpdate(false);
    EXPECT_EQ(readFile(app + "readme.txt"), "new readme");
    EXPECT_EQ(update.find(946), nullptr);
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(update.restarts, 0); // no component fetched
}

TEST_F(RunEndToEndTest, AnInterruptedDownloadLeavesTheOldTargetIntact) {
    serveControlFile("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("data.bin").toUtf8() +
                     "\r\ntargetdir=" + app.toUtf8() + "\r\n");
    writeFile(root + "data.bin", patternBytes(500000));
    writeFile(app + "data.bin", "old data");
    ASSERT_TRUE(host.control("fault=close&path=/data.bin&after=200000"));
    update.RunUpdate(false);
    EXPECT_EQ(readFile(app + "data.bin"), "old data");
    EXPECT_EQ(update.numbers().mid(kStart.size()),
              (QList<int>{926, 943, 971, 915, 976, 946, 948, 949, 949}));
    EXPECT_EQ(home.stagingFiles(), QStringList());
    EXPECT_EQ(successes, 0);
}

TEST_F(RunEndToEndTest, CancellingThroughOnProgressCancelLogs964AndEndsWithoutRestart) {
    serveControlFile("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("zarq").toUtf8() + "\r\n");
    writeFile(root + "zarq", patternBytes(100000));
    update.OnProgressCancel = [](TAutoUpdate* sender, bool& cancel) {
        // Let the control file through, cancel the component's transfer.
        if (static_cast<ProbeUpdate*>(sender)->find(926))
            cancel = true;
    };
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers().mid(kStart.size()),
              (QList<int>{926, 943, 971, 915, 964, 946, 949, 949}));
    EXPECT_TRUE(update.FCancelled);
    EXPECT_FALSE(update.RestartRequired());
    EXPECT_EQ(update.restarts, 0);
    EXPECT_EQ(successes, 0);
    EXPECT_EQ(home.stagingFiles(), QStringList());
}

TEST_F(RunEndToEndTest, ACancelledTransferCancelsTheRunSoLaterEntriesAreNotFetched) {
    serveControlFile("[files]\r\ncount=2\r\n[file1]\r\nurl=" + host.url("zarq").toUtf8() +
                     "\r\n[file2]\r\nurl=" + host.url("readme.txt").toUtf8() +
                     "\r\ntargetdir=" + app.toUtf8() + "\r\n");
    writeFile(root + "zarq", patternBytes(100000));
    writeFile(root + "readme.txt", "new readme");
    update.OnProgressCancel = [](TAutoUpdate* sender, bool& cancel) {
        if (static_cast<ProbeUpdate*>(sender)->find(926))
            cancel = true;
    };
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers().mid(kStart.size()),
              (QList<int>{926, 943, 971, 971, 915, 964, 946, 949, 949}));
    EXPECT_FALSE(host.requestedPaths().contains("/readme.txt"));
    EXPECT_FALSE(QFileInfo::exists(app + "readme.txt"));
    EXPECT_TRUE(update.FCancelled);
    EXPECT_EQ(successes, 0);
    EXPECT_EQ(update.restarts, 0);
}

TEST_F(RunEndToEndTest, ACompressedCabinetEntryIsExtractedIntoItsTargetFolder) {
    const QString work = home.folder("cabwork");
    ASSERT_TRUE(QDir(work).mkpath("sub"));
    writeFile(work + "sub/a.txt", "from the cabinet");
    QProcess gcab;
    gcab.setWorkingDirectory(work);
    gcab.start("gcab", {"-c", root + "pack.cab", "sub/a.txt"});
    if (!gcab.waitForFinished(30000) || gcab.exitStatus() != QProcess::NormalExit ||
        gcab.exitCode() != 0)
        GTEST_SKIP() << "gcab (Debian package gcab) cannot make the test cabinet";
    serveControlFile("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("pack.cab").toUtf8() +
                     "\r\ncompressed=1\r\ntargetdir=" + app.toUtf8() + "\r\n");
    update.ExtractCAB = true;
    update.RunUpdate(false);
    EXPECT_EQ(readFile(app + "sub/a.txt"), "from the cabinet");
    EXPECT_EQ(update.find(947), nullptr);
    EXPECT_FALSE(QFileInfo::exists(home.staging() + "pack.cab")); // used, then removed
    EXPECT_EQ(successes, 1);
}

TEST_F(RunEndToEndTest, ACompleteThreadedRunLogsTheMessagesInTheirOrder) {
    // The local copy differs by checksum, so the component is new and a comparison is logged.
    writeFile(app + "zarq", "old program");
    serveControlFile("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("zarq").toUtf8() +
                     "\r\nlocalversion=" + (app + "zarq").toUtf8() + "\r\nnewchecksum=12345\r\n");
    writeFile(root + "zarq", "new program");
    update.StartThreadedUpdate();
    ASSERT_TRUE(waitFor([&] { return !update.Threaded(); }));
    EXPECT_EQ(update.numbers(), (QList<int>{968, 966, 967, 969, 970, 963, 918, 921, 915, 926,
                                            943, 971, 944, 915, 962, 948, 949, 949, 960, 961}));
    EXPECT_EQ(update.find(968)->text, "Threaded update");
    EXPECT_EQ(update.find(963)->text, "2.0.12.2");
    EXPECT_EQ(update.restarts, 1);
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(readFile(home.staging() + "zarq"), "new program");
    EXPECT_EQ(readFile(app + "zarq"), "old program"); // the updater puts it in place
    // The requests carried the program's agent and asked past every cache.
    for (const QJsonObject& r : host.requests()) {
        const QJsonObject h = r["headers"].toObject();
        EXPECT_EQ(h["User-Agent"].toString(), "TErvan ZArq Client 1.0");
        EXPECT_EQ(h["Cache-Control"].toString(), "no-cache");
    }
    EXPECT_EQ(host.requestedPaths(), (QStringList{"/update1.txt", "/zarq"}));
}

TEST_F(RunEndToEndTest, NothingDueFetchesOnlyTheControlFileAndWritesNothingElse) {
    writeFile(app + "readme.txt", "same");
    serveControlFile("[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("readme.txt").toUtf8() +
                     "\r\nlocalversion=" + (app + "readme.txt").toUtf8() +
                     "\r\nnewsize=4\r\ntargetdir=" + app.toUtf8() + "\r\n");
    update.RunUpdate(false);
    EXPECT_EQ(update.numbers().mid(kStart.size()), (QList<int>{926, 943, 971, 930, 949, 949}));
    EXPECT_EQ(host.requestedPaths(), QStringList{"/update1.txt"});
    EXPECT_EQ(home.stagingFiles(), QStringList());
    EXPECT_EQ(successes, 0);
}

} // namespace
