#include "CoreTestHome.h"
#include "ElfWriter.h"
#include "TestableAutoUpdate.h"

#include "update/FileVersion.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

// Local files of every kind the decision meets: "abc" (byte sum 293, CRC variant 1821220161,
// 3 bytes, no version), Zarq executables of versions 1.0.1.0 and 1.0.1.5, a missing file and
// one that cannot be read (a directory stands in, since tests may run as root).
class CheckFileTest : public testing::Test {
protected:
    void SetUp() override {
        write("abc.txt", "abc");
        ElfWriter elf(true, false);
        elf.addNote("Zarq", FileVersion::kNoteType, ElfWriter::parts(1, 0, 1, 0, false));
        write("zarq", elf.bytes());
        ElfWriter build5(true, false);
        build5.addNote("Zarq", FileVersion::kNoteType, ElfWriter::parts(1, 0, 1, 5, false));
        write("zarq-build5", build5.bytes());
        QDir().mkpath(path("unreadable"));
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString path(const QString& name) const { return home.path(name); }

    CoreTestHome home;
    TestableAutoUpdate update;
};

} // namespace

TEST_F(CheckFileTest, DecisionTable) {
    struct Case {
        const char* newVersion;
        const char* local; // name in the test folder; "" for an empty path
        int newChecksum;
        int newSize;
        TAutoUpdateVersionCheck mode;
        bool crc;
        bool fetch;
    };
    const Case cases[] = {
        // nothing to compare, or no local path: always fetched
        {"", "missing", -1, 0, vcUpdateOnly, false, true},
        {"2.0", "", -1, 0, vcUpdateOnly, false, true},
        // a missing file under vcAlways
        {"2.0", "missing", -1, 0, vcAlways, false, true},
        {"", "missing", -1, 5, vcAlways, false, true},
        // checksum: the only criterion when given
        {"", "abc.txt", 293, 0, vcUpdateOnly, false, false},
        {"", "abc.txt", 294, 0, vcUpdateOnly, false, true},
        {"", "abc.txt", 293, 99, vcUpdateOnly, false, false},
        {"9.9", "abc.txt", 293, 0, vcUpdateOnly, false, false},
        {"", "abc.txt", 1821220161, 0, vcUpdateOnly, true, false},
        {"", "abc.txt", 293, 0, vcUpdateOnly, true, true},
        {"", "missing", 5, 0, vcUpdateOnly, false, true},
        {"", "missing", 0, 0, vcUpdateOnly, true, false}, // CRC variant of nothing is 0
        {"", "unreadable", 0, 0, vcAlways, true, false},
        {"", "unreadable", -2, 0, vcAlways, true, true},
        // size
        {"", "abc.txt", -1, 3, vcUpdateOnly, false, false},
        {"", "abc.txt", -1, 4, vcUpdateOnly, false, true},
        {"", "missing", -1, 4, vcUpdateOnly, false, false},
        {"", "unreadable", -1, 4, vcUpdateOnly, false, false},
        {"", "unreadable", -1, 4, vcAlways, false, true},
        // version
        {"1.0.1.1", "zarq", -1, 0, vcUpdateOnly, false, true},
        {"1.0.1", "zarq", -1, 0, vcUpdateOnly, false, false},
        {"1.0.1.0", "zarq", -1, 0, vcUpdateOnly, false, false},
        {"1.1", "zarq", -1, 0, vcUpdateOnly, false, true},
        {"0.9.9.9", "zarq", -1, 0, vcAlways, false, false},
        // an older release or build under the same major.minor is no update: a downgrade
        {"1.0.0.9", "zarq", -1, 0, vcUpdateOnly, false, false},
        {"1.0.0.9", "zarq", -1, 0, vcAlways, false, false},
        {"1.0.1.4", "zarq-build5", -1, 0, vcUpdateOnly, false, false},
        {"1.0.1.6", "zarq-build5", -1, 0, vcUpdateOnly, false, true},
        {"1.0.1.x", "zarq", -1, 0, vcAlways, false, false},
        {"2.0", "abc.txt", -1, 0, vcUpdateOnly, false, false},
        {"2.0", "abc.txt", -1, 0, vcAlways, false, true},
        {"2.0", "missing", -1, 0, vcUpdateOnly, false, false},
        // the same criteria under vcAlways with files that exist
        {"", "abc.txt", 293, 0, vcAlways, false, false},
        {"", "abc.txt", -1, 3, vcAlways, false, false},
        {"1.0.1.1", "zarq", -1, 0, vcAlways, false, true},
        {"1.0.1.0", "zarq", -1, 0, vcAlways, false, false},
        // an unreadable file has no version
        {"2.0", "unreadable", -1, 0, vcUpdateOnly, false, false},
        {"2.0", "unreadable", -1, 0, vcAlways, false, true},
    };
    for (const Case& c : cases) {
        update.VersionCheck = c.mode;
        update.UseCRC32 = c.crc;
        QString newVersion = c.newVersion;
        QString local = QString(c.local).isEmpty() ? QString() : path(c.local);
        EXPECT_EQ(update.CheckFile(newVersion, local, c.newChecksum, c.newSize), c.fetch)
            << c.newVersion << " " << c.local << " nc=" << c.newChecksum << " ns=" << c.newSize
            << " always=" << (c.mode == vcAlways) << " crc=" << c.crc;
    }
}

TEST_F(CheckFileTest, AVersionComparisonRewritesBothVersionsAndIsLogged) {
    QString newVersion = "1.0.2";
    QString local = path("zarq");
    EXPECT_TRUE(update.CheckFile(newVersion, local, -1, 0));
    EXPECT_EQ(newVersion, QString("1.0.2.0"));
    EXPECT_EQ(local, QString("1.0.1.0"));
    ASSERT_EQ(update.messages.size(), 1);
    EXPECT_EQ(update.messages[0].number, 944);
    EXPECT_EQ(update.messages[0].text,
              "Version check : Version compare of " + path("zarq") + ":1.0.1.0 with 1.0.2:1.0.2.0");
}

TEST_F(CheckFileTest, AChecksumComparisonIsLoggedInDecimal) {
    QString newVersion, local = path("abc.txt");
    update.CheckFile(newVersion, local, -5, 0);
    ASSERT_EQ(update.messages.size(), 1);
    EXPECT_EQ(update.messages[0].text,
              "Version check : Checksum compare of " + path("abc.txt") + ":293:-5");
}

TEST_F(CheckFileTest, EachLocalFileIsReadOnceAndTheRunsReadingIsBounded) {
    // 2,000 entries naming one 64 KiB file: it is read once, not 2,000 times.
    write("big.bin", QByteArray(64 * 1024, 'x'));
    QByteArray control = "[files]\ncount=2000\n";
    for (int i = 1; i <= 2000; ++i)
        control += "[file" + QByteArray::number(i) + "]\nurl=http://h/f" + QByteArray::number(i) +
                   "\nlocalversion=" + path("big.bin").toUtf8() + "\nnewchecksum=5\n";
    update.load(control);
    ASSERT_EQ(update.ReadFileList(), 2000);
    EXPECT_EQ(update.FilterFileList(), 0);
    EXPECT_EQ(update.FFileList.size(), 2000);
    EXPECT_EQ(update.FChecksums.bytesRead(), 64 * 1024);
    // A changed file is read again.
    write("big.bin", QByteArray(64 * 1024 + 1, 'y'));
    QString newVersion, local = path("big.bin");
    update.CheckFile(newVersion, local, 5, 0);
    EXPECT_EQ(update.FChecksums.bytesRead(), 2 * 64 * 1024 + 1);

    // Past the budget the remaining entries fail with the reason, unread.
    update.FChecksums = zarq::LocalChecksums(100 * 1024);
    update.messages.clear();
    local = path("big.bin");
    EXPECT_TRUE(update.CheckFile(newVersion, local, 5, 0)); // 64 KiB: within
    write("other.bin", QByteArray(64 * 1024, 'z'));
    local = path("other.bin");
    EXPECT_FALSE(update.CheckFile(newVersion, local, 5, 0));
    ASSERT_NE(update.find(976), nullptr);
    EXPECT_TRUE(update.find(976)->text.contains("too much to check"))
        << update.find(976)->text.toStdString();
    EXPECT_EQ(update.FChecksums.bytesRead(), 64 * 1024 + 1);
}

TEST_F(CheckFileTest, EventsRunWhileALargeFileIsChecked) {
    write("large.bin", QByteArray(8 * 1024 * 1024, 'x'));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    update.FChecksumEventIntervalMs = 0; // a look after every block, whatever the machine's speed
    QString newVersion, local = path("large.bin");
    update.CheckFile(newVersion, local, 5, 0);
    // The timer ran while the file was read (2,048 blocks), not once after it.
    EXPECT_GT(ticks, 100);
}

TEST_F(CheckFileTest, FilterKeepsWhatIsNewAndLogsEveryEntry) {
    update.load("[files]\ncount=4\n"
                "[file1]\nurl=http://h/a.exe\nlocalversion=" +
                path("abc.txt").toUtf8() +
                "\nnewchecksum=293\n"
                "[file2]\nurl=http://h/b.exe\nlocalversion=" +
                path("abc.txt").toUtf8() +
                "\nnewsize=4\ndescr=B\n"
                "[file3]\nurl=http://h/c.exe\nlocalversion=" +
                path("zarq").toUtf8() + "\nnewversion=1.0.1\n[file4]\nurl=http://h/d.exe\n");
    ASSERT_EQ(update.ReadFileList(), 4);
    EXPECT_EQ(update.FilterFileList(), 0);
    ASSERT_EQ(update.FFileList.size(), 2);
    EXPECT_EQ(update.FFileList[0].URL, QString("http://h/b.exe"));
    EXPECT_EQ(update.FFileList[1].URL, QString("http://h/d.exe"));
    EXPECT_EQ(update.numbers(), (QVector<int>{943, 971, 944, 930, 971, 971, 944, 930, 971}));
    const auto* first = update.find(971);
    EXPECT_EQ(first->text,
              "Processing file : http://h/a.exe[" + path("abc.txt") + ",nv=,nd=,ns=0,nc=293]");
    for (const auto& m : update.messages) {
        if (m.number == 930) {
            EXPECT_EQ(m.status, 0); // the filter's 930 carries status 0
        }
    }
}

TEST_F(CheckFileTest, DateBasedEntriesCompareTheFilesLastWriteTime) {
    const QDateTime release(QDate(2009, 12, 31), QTime(23, 59));
    for (const char* name : {"exact", "older", "newer"})
        write(name, "x");
    const auto touch = [&](const char* name, const QDateTime& when) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
    };
    touch("exact", release);
    touch("older", release.addSecs(-60));
    touch("newer", release.addDays(1));
    QByteArray control = "[files]\ncount=4\n";
    int i = 0;
    for (const char* name : {"exact", "older", "newer", "missing"}) {
        control += "[file" + QByteArray::number(++i) + "]\nurl=http://h/" + name +
                   "\nlocalversion=" + path(name).toUtf8() +
                   "\ndate=31/12/2009\ntime=23:59\nnewchecksum=0\n";
    }
    update.load(control);
    update.ReadFileList();
    EXPECT_EQ(update.FilterFileList(), 0);
    QStringList kept;
    for (const auto& item : update.FFileList)
        kept.append(item.URL);
    EXPECT_EQ(kept, QStringList({"http://h/older", "http://h/missing"}));
    EXPECT_FALSE(update.numbers().contains(944)); // the date alone decides
}

TEST_F(CheckFileTest, AHugeCountListsNoMoreThanTheLargestList) {
    update.load("[files]\ncount=2147483647\n[file1]\nurl=http://h/a\n[file65536]\nurl=x\n");
    EXPECT_EQ(update.ReadFileList(), 2147483647);
    ASSERT_EQ(update.FFileList.size(), 65535);
    EXPECT_EQ(update.FFileList.first().URL, QString("http://h/a"));
    EXPECT_TRUE(update.FFileList.last().URL.isEmpty());
}

TEST_F(CheckFileTest, HostEventsCanDropEntries) {
    update.load("[files]\ncount=3\n[file1]\nurl=http://h/a\ndescr=A\ncustomversion=c1\n"
                "[file2]\nurl=http://h/b\ndescr=B\n[file3]\nurl=http://h/c\ndescr=C\n"
                "customversion=c3\n");
    update.ReadFileList();
    QStringList asked;
    update.OnFileVersionCheck = [&](TAutoUpdate*, const QString& custom, const QString& local,
                                    bool& isNew) {
        asked.append(custom + "|" + local);
        isNew = custom != "c1";
    };
    update.OnGetFileList = [&](TAutoUpdate*, QStringList& list) {
        EXPECT_EQ(list, QStringList({"B", "C"}));
        list[0].clear();
    };
    EXPECT_EQ(update.FilterFileList(), 0);
    EXPECT_EQ(asked, QStringList({"c1|", "c3|"}));
    ASSERT_EQ(update.FFileList.size(), 1);
    EXPECT_EQ(update.FFileList[0].Description, QString("C"));

    update.ReadFileList();
    update.OnFileVersionCheck = nullptr;
    update.OnGetFileList = [](TAutoUpdate*, QStringList& list) {
        for (QString& line : list)
            line.clear();
    };
    EXPECT_EQ(update.FilterFileList(), -1);
    EXPECT_TRUE(update.FFileList.isEmpty());
}

TEST_F(CheckFileTest, FileEntriesWithEveryDefault) {
    update.load("[files]\ncount=2\n[file1]\n[file2]\nurl={APP}\\dl\\x.exe\ntargetdir={APP}\\bin\n"
                "newversion=2.0\nnewsize=$10\nnewchecksum=0x20\ncustomversion=cv\n"
                "date=01/02/2010\ntime=10:00\ndescr=D\ncompressed=1\nfilesize=77\nmandatory=1\n"
                "preselect=0\nhidden=1\nlocalversion={APP}\\x.exe\n");
    ASSERT_EQ(update.ReadFileList(), 2);
    const TFileDescription& empty = update.FFileList[0];
    EXPECT_TRUE(empty.URL.isEmpty());
    EXPECT_TRUE(empty.LocalVersion.isEmpty());
    EXPECT_TRUE(empty.NewVersion.isEmpty());
    EXPECT_EQ(empty.NewSize, 0);
    EXPECT_EQ(empty.NewCheckSum, -1);
    EXPECT_TRUE(empty.TargetDir.isEmpty());
    EXPECT_FALSE(empty.Compressed);
    EXPECT_EQ(empty.FileSize, 0);
    EXPECT_FALSE(empty.Mandatory);
    EXPECT_TRUE(empty.Preselect);
    EXPECT_FALSE(empty.Hidden);
    EXPECT_FALSE(empty.Selected);

    const QString app = QDir::currentPath() + "/.";
    const TFileDescription& full = update.FFileList[1];
    EXPECT_EQ(full.URL, app + "/dl/x.exe");
    EXPECT_EQ(full.LocalVersion, app + "/x.exe");
    EXPECT_EQ(full.TargetDir, app + "/bin/");
    EXPECT_EQ(full.NewVersion, QString("2.0"));
    EXPECT_EQ(full.NewSize, 16);
    EXPECT_EQ(full.NewCheckSum, 32);
    EXPECT_EQ(full.NewCustomVer, QString("cv"));
    EXPECT_EQ(full.NewDate, QString("01/02/2010"));
    EXPECT_EQ(full.NewTime, QString("10:00"));
    EXPECT_EQ(full.Description, QString("D"));
    EXPECT_TRUE(full.Compressed);
    EXPECT_EQ(full.FileSize, 77);
    EXPECT_TRUE(full.Mandatory);
    EXPECT_FALSE(full.Preselect);
    EXPECT_TRUE(full.Hidden);
}

TEST_F(CheckFileTest, NoEntriesWithoutAPositiveCount) {
    for (const char* control : {"", "[files]\ncount=0\n", "[files]\ncount=-3\n",
                                "[files]\ncount=two\n[file1]\nurl=x\n"}) {
        update.messages.clear();
        update.load(control);
        EXPECT_LE(update.ReadFileList(), 0) << control;
        EXPECT_TRUE(update.FFileList.isEmpty());
        EXPECT_TRUE(update.messages.isEmpty()) << control; // no 943
    }
}
