#include "update/CabinetExtractor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using zarq::ExtractCabinet;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file below `dir`, relative to it.
QStringList filesBelow(const QString& dir) {
    QStringList found;
    QDir base(dir);
    const QFileInfoList all = QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                      QDir::Hidden | QDir::System);
    for (const QFileInfo& info : all) {
        if (info.isDir() && !info.isSymLink()) {
            for (const QString& sub : filesBelow(info.filePath()))
                found << info.fileName() + QLatin1Char('/') + sub;
        } else {
            found << info.fileName();
        }
    }
    found.sort();
    return found;
}

QString runGcab(const QString& workDir, const QString& cab, const QStringList& files) {
    QProcess gcab;
    gcab.setWorkingDirectory(workDir);
    gcab.start(QStringLiteral("gcab"), QStringList{QStringLiteral("-c"), cab} + files);
    if (!gcab.waitForFinished(30000) || gcab.exitCode() != 0)
        return QString::fromLocal8Bit(gcab.readAllStandardError());
    return {};
}

void put16(QByteArray& b, quint16 v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}
void put32(QByteArray& b, quint32 v) {
    put16(b, static_cast<quint16>(v & 0xFFFF));
    put16(b, static_cast<quint16>(v >> 16));
}

// A cabinet with one stored (uncompressed) folder holding `files`, written byte by byte so that
// it may carry names no archiver would write.
QByteArray craftCabinet(const QList<QPair<QByteArray, QByteArray>>& files) {
    QByteArray data;
    QByteArray entries;
    for (const auto& [name, content] : files) {
        put32(entries, static_cast<quint32>(content.size()));
        put32(entries, static_cast<quint32>(data.size()));
        put16(entries, 0);                                    // folder 0
        put16(entries, ((2020 - 1980) << 9) | (6 << 5) | 15); // 2020-06-15
        put16(entries, (10 << 11) | (20 << 5) | 15);          // 10:20:30
        put16(entries, 0x20);
        entries += name;
        entries.append('\0');
        data += content;
    }
    const quint32 headerSize = 36, folderSize = 8;
    const quint32 dataAt = headerSize + folderSize + static_cast<quint32>(entries.size());
    QByteArray cab("MSCF");
    put32(cab, 0);
    put32(cab, dataAt + 8 + static_cast<quint32>(data.size()));
    put32(cab, 0);
    put32(cab, headerSize + folderSize);
    put32(cab, 0);
    cab.append('\x03');
    cab.append('\x01');
    put16(cab, 1);
    put16(cab, static_cast<quint16>(files.size()));
    put16(cab, 0);
    put16(cab, 0x1234);
    put16(cab, 0);
    put32(cab, dataAt); // the folder: its data block, one block, stored
    put16(cab, 1);
    put16(cab, 0);
    cab += entries;
    put32(cab, 0); // no checksum
    put16(cab, static_cast<quint16>(data.size()));
    put16(cab, static_cast<quint16>(data.size()));
    cab += data;
    return cab;
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
    EXPECT_EQ(filesBelow(dest), (QStringList{"sub/a.txt", "top.txt"}));
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
    EXPECT_EQ(refused, (QStringList{"../climb.txt", absolute, "sub/../../climb2.txt",
                                    "link/through.txt", "link/deeper/x.txt"}));
    EXPECT_EQ(filesBelow(work.path()),
              (QStringList{"app/inside.txt", "app/link", "app/ok.txt", "evil.cab"}));
    EXPECT_EQ(readFile(dest + QStringLiteral("/ok.txt")), QByteArray("fine"));
}

TEST(CabinetTest, AFileThatIsNoCabinetFailsAndWritesNothing) {
    QTemporaryDir work;
    const QString notCab = work.filePath(QStringLiteral("plain.cab"));
    writeFile(notCab, QByteArray(4000, 'x'));
    const QString dest = work.filePath(QStringLiteral("app"));
    EXPECT_EQ(ExtractCabinet(notCab, dest), -1);
    EXPECT_EQ(ExtractCabinet(work.filePath(QStringLiteral("missing.cab")), dest), -1);
    EXPECT_EQ(filesBelow(work.path()), QStringList{"plain.cab"});
}

} // namespace
