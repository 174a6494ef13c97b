#include "CoreTestHome.h"
#include "TestableAutoUpdate.h"

#include "update/UpdateLog.h"
#include "update/UpdateMessages.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(UpdateMessages, TextsAndCodesOfTheTable) {
    struct Case {
        int number;
        const char* argument;
        const char* text;
        int status;
        int error; // -1: supplied at the time
    };
    const Case cases[] = {
        {915, "http://h/update1.txt", "Download : http://h/update1.txt", 3, 0},
        {916, "404", "Http status : 404", 6, -1},
        {917, "x", "File not found : x", 2, 1},
        {922, "", "Cannot open Internet connection", 1, 0},
        {925, "ignored", "Update control file not found", 2, 0},
        {927, "", "Invalid signature in update control file", 11, 4},
        {930, "", "No new version found", 4, 0},
        {946, "u", "Cannot download update file : u", 2, 0},
        {956, "Authentication cancelled", "Authentication cancelled", 0, 0},
        {963, "2.0.12.2", "Start AutoUpdate process with version : 2.0.12.2", 0, 0},
        {968, "Threaded update", "Start update : Threaded update ---------------------------", 0,
         0},
        {972, "/t/a", "Cannot delete file : /t/a", 19, 6},
        {973, "a to b", "Cannot rename file : a to b", 19, 7},
        {975, "d", "Cannot change FTP directory to : d", 3, 8},
        {976, "Couldn't connect", "System error : Couldn't connect", 1, -1},
        {18, "Exec: patcher.exe x", "Exec: patcher.exe x", 3, 0},
    };
    for (const Case& c : cases) {
        const UpdateMessage* m = UpdateMessages::Find(c.number);
        ASSERT_NE(m, nullptr) << c.number;
        EXPECT_EQ(UpdateMessages::Format(c.number, c.argument), QString(c.text)) << c.number;
        EXPECT_EQ(m->StatusCode, c.status) << c.number;
        EXPECT_EQ(m->ErrCode, c.error) << c.number;
    }
    EXPECT_EQ(UpdateMessages::Find(1000), nullptr);
    EXPECT_TRUE(UpdateMessages::Format(1000, "x").isEmpty());
}

TEST(UpdateLog, LineOfANumberedMessage) {
    const QDateTime when(QDate(2008, 7, 25), QTime(9, 5, 3));
    EXPECT_EQ(UpdateLog::MessageLine(when, 916, "Http status : 404", 6, 404),
              QString("25/07/2008 09:05:03 : [916] Http status : 404 (Status:6) (Error:404)"));
}

TEST(UpdateLog, ABareNameLivesInTheDocumentsFolderAnyOtherAsWritten) {
    CoreTestHome home;
    UpdateLog::SetFileName("UPDATE.LOG");
    EXPECT_EQ(UpdateLog::FilePath(), home.documents() + "/UPDATE.LOG");
    UpdateLog::SetFileName("/var/tmp/x/update.log");
    EXPECT_EQ(UpdateLog::FilePath(), QString("/var/tmp/x/update.log"));
    UpdateLog::SetFileName("logs\\update.log");
    EXPECT_EQ(UpdateLog::FilePath(), QString("logs\\update.log"));
    UpdateLog::SetFileName("c:update.log");
    EXPECT_EQ(UpdateLog::FilePath(), QString("c:update.log"));
    // Without a documents folder the home folder takes its place.
    QDir(home.documents()).removeRecursively();
    UpdateLog::SetFileName("UPDATE.LOG");
    EXPECT_EQ(UpdateLog::FilePath(), home.home() + "/UPDATE.LOG");
}

TEST(UpdateLog, LoggingOnAppendsNumberedLinesLoggingOffOnlyDirectLines) {
    CoreTestHome home;
    TestableAutoUpdate update;
    update.SetLogFileName(home.path("update.log"));
    update.Logging = true;
    update.Log(915, "http://h/a");
    update.Log(956, "Authentication cancelled");
    update.Logging = false;
    update.Log(925);
    AppendLogLine("Unable to delete file /t/a");

    const QByteArray log = readAll(home.path("update.log"));
    const QList<QByteArray> lines = log.split('\n');
    ASSERT_EQ(lines.size(), 4) << log.constData(); // three lines and the empty rest
    EXPECT_TRUE(log.endsWith("\r\n"));
    const QRegularExpression numbered(
        R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d : \[915\] Download : http://h/a \(Status:3\) )"
        R"(\(Error:0\)\r$)");
    EXPECT_TRUE(numbered.match(QString::fromUtf8(lines[0])).hasMatch()) << lines[0].constData();
    EXPECT_TRUE(lines[1].endsWith(" : [956] Authentication cancelled (Status:0) (Error:0)\r"))
        << lines[1].constData();
    EXPECT_EQ(lines[2], QByteArray("Unable to delete file /t/a\r"));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    EXPECT_FALSE(QFile::permissions(home.path("update.log")) & others);
}

TEST(UpdateLog, AppendingNeverTruncates) {
    CoreTestHome home;
    const QString path = home.path("kept.log");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier line\r\n");
    }
    UpdateLog::SetFileName(path);
    ASSERT_TRUE(AppendLogLine("later line"));
    EXPECT_EQ(readAll(path), QByteArray("earlier line\r\nlater line\r\n"));
}

TEST(UpdateLog, AnUnwritableLogIsReportedNotFatal) {
    CoreTestHome home;
    UpdateLog::SetFileName(home.path("missing-folder/update.log"));
    EXPECT_FALSE(AppendLogLine("line"));
    TestableAutoUpdate update;
    update.SetLogFileName(home.path("missing-folder/update.log"));
    update.Logging = true;
    update.Log(918); // no exception, and the message still reaches the host
    ASSERT_EQ(update.messages.size(), 1);
}

TEST(UpdateLog, OnStatusGetsTheTextWithItsArgumentAndTheCodes) {
    CoreTestHome home;
    TestableAutoUpdate update;
    update.SetLogFileName(home.path("update.log"));
    QStringList texts;
    QList<QPair<int, int>> codes;
    update.OnStatus = [&](TAutoUpdate* sender, const QString& text, int status, int error) {
        EXPECT_EQ(sender, &update);
        texts.append(text);
        codes.append({status, error});
    };
    update.Log(946, "http://h/a.exe");
    update.Log(956, "ignored argument");
    EXPECT_EQ(texts, QStringList({"Cannot download update file : http://h/a.exe",
                                  "Authentication cancelled"}));
    EXPECT_EQ(codes, (QList<QPair<int, int>>{{2, 0}, {0, 0}}));
    // Logging is off by default: nothing was written.
    EXPECT_FALSE(QFile::exists(home.path("update.log")));
}

TEST(UpdateLog, OneLogFilePerProcessSetWhenANameIsAssigned) {
    CoreTestHome home;
    TestableAutoUpdate first;
    first.SetLogFileName(home.path("first.log"));
    TestableAutoUpdate second; // made later, with the default name it was never assigned
    EXPECT_EQ(second.LogFileName(), QString("UPDATER.LOG"));
    second.Logging = true;
    second.Log(918);
    EXPECT_TRUE(readAll(home.path("first.log")).contains("[918] Checking for Internet connection"));
    EXPECT_FALSE(QFile::exists(home.documents() + "/UPDATER.LOG"));
}
