#include "update/CabinetExtractor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/CabinetBytes.h"
#include "support/TestFiles.h"

using testcab::craftCabinet;
using testfiles::filesBelow;
using testfiles::readFile;
using testfiles::writeFile;
using zarq::ExtractCabinet;

namespace {

QString runGcab(const QString& workDir, const QString& cab, const QStringList& files) {
    QProcess gcab;
    gcab.setWorkingDirectory(workDir);
    gcab.start(QStringLiteral("gcab"), QStringList{QStringLiteral("-c"), cab} + files);
    if (!gcab.waitForFinished(30000) || gcab.exitCode() != 0)
        return QString::fromLocal8Bit(gcab.readAllStandardError());
    return {};
}

TEST(CabinetTest, ExtractsAGcabCabinetWithFoldersAndTimeStamps) {
    QTemporaryDir work;
    const QString src = work.filePath(QStringLiteral("src"));
    writeFile(src + QStringLiteral("/sub/a.txt"), "file in a folder\n");
    writeFile(src + QStringLiteral("/top.txt"), "top\n");
    const QDateTime stamp(QDate(2021, 3, 4), QTime(5, 6, 8), Qt::LocalTime);
    for (const char* name : {"/sub/a.txt", "/top.txt"}) {
        QFile f(src + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QString cab = work.filePath(QStringLiteral("pack.cab"));
    const QString gcabError =
        runGcab(src, cab, {QStringLiteral("sub/a.txt"), QStringLiteral("top.txt")});
    ASSERT_TRUE(gcabError.isEmpty()) << gcabError.toStdString();

    const QString dest = work.filePath(QStringLiteral("app"));
    writeFile(dest + QStringLiteral("/top.txt"), "old content that is longer");
    QStringList refused;
    EXPECT_EQ(ExtractCabinet(cab, dest, &refused), 0);
    EXPECT_TRUE(refused.isEmpty());
    EXPECT_EQ(filesBelow(dest), QStringLiteral("sub/a.txt top.txt"));
    EXPECT_EQ(readFile(dest + QStringLiteral("/sub/a.txt")), QByteArray("file in a folder\n"));
    EXPECT_EQ(readFile(dest + QStringLiteral("/top.txt")), QByteArray("top\n"));
    EXPECT_EQ(QFileInfo(dest + QStringLiteral("/sub/a.txt")).lastModified(), stamp);
}

TEST(CabinetTest, TheCabinetsTimeIsLocalTime) {
    QTemporaryDir work;
    const QString cab = work.filePath(QStringLiteral("t.cab"));
    writeFile(cab, craftCabinet({{"t.txt", "x"}}));
    ASSERT_EQ(ExtractCabinet(cab, work.filePath(QStringLiteral("d"))), 0);
    EXPECT_EQ(QFileInfo(work.filePath(QStringLiteral("d/t.txt"))).lastModified(),
              QDateTime(QDate(2020, 6, 15), QTime(10, 20, 30), Qt::LocalTime));
}

TEST(CabinetTest, NamesThatLeaveTheDestinationAreRefusedAndNothingIsWrittenOutside) {
    QTemporaryDir work;
    const QString dest = work.filePath(QStringLiteral("app"));
    const QString outside = work.filePath(QStringLiteral("outside"));
    QDir().mkpath(dest);
    QDir().mkpath(outside);
    // A link inside the destination that leads out of it.
    ASSERT_TRUE(QFile::link(outside, dest + QStringLiteral("/link")));
    const QString cab = work.filePath(QStringLiteral("evil.cab"));
    const QString absolute = work.filePath(QStringLiteral("absolute.txt"));
    writeFile(cab, craftCabinet({{"..\\climb.txt", "1"},
                                 {"ok.txt", "fine"},
                                 {QFile::encodeName(absolute), "2"},
                                 {"sub\\..\\..\\climb2.txt", "3"},
                                 {"link\\through.txt", "4"},
                                 {"link\\deeper\\x.txt", "5"},
                                 {"sub\\..\\inside.txt", "6"}}));
    QStringList refused;
    EXPECT_EQ(ExtractCabinet(cab, dest, &refused), 0);
    EXPECT_EQ(refused.join(QLatin1Char('|')),
              QStringList({"../climb.txt", absolute, "sub/../../climb2.txt", "link/through.txt",
                           "link/deeper/x.txt"})
                  .join(QLatin1Char('|')));
    EXPECT_EQ(filesBelow(work.path()),
              QStringLiteral("app/inside.txt app/link app/ok.txt evil.cab"));
    EXPECT_EQ(readFile(dest + QStringLiteral("/ok.txt")), QByteArray("fine"));
}

TEST(CabinetTest, ACabinetLargerThanItsBoundIsRefusedWhole) {
    QTemporaryDir dir;
    const QString cab = dir.filePath(QStringLiteral("pack.cab"));
    writeFile(cab,
              craftCabinet({{"a.txt", QByteArray(600, 'a')}, {"b.txt", QByteArray(600, 'b')}}));
    const QString dest = dir.filePath(QStringLiteral("out"));
    // 1,200 bytes in all: a budget of 1,000 refuses the cabinet before its first file.
    EXPECT_EQ(ExtractCabinet(cab, dest, nullptr, 1000), -1);
    EXPECT_EQ(filesBelow(dest), QString());
    EXPECT_EQ(ExtractCabinet(cab, dest, nullptr, 1200), 0);
    EXPECT_EQ(readFile(dest + QStringLiteral("/b.txt")), QByteArray(600, 'b'));
}

TEST(CabinetTest, AFileThatIsNoCabinetFailsAndWritesNothing) {
    QTemporaryDir work;
    const QString notCab = work.filePath(QStringLiteral("plain.cab"));
    writeFile(notCab, QByteArray(4000, 'x'));
    const QString dest = work.filePath(QStringLiteral("app"));
    EXPECT_EQ(ExtractCabinet(notCab, dest), -1);
    EXPECT_EQ(ExtractCabinet(work.filePath(QStringLiteral("missing.cab")), dest), -1);
    EXPECT_EQ(filesBelow(work.path()), QStringLiteral("plain.cab"));
}

} // namespace
