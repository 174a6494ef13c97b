#include "platform/ReplacingFile.h"
#include "update/LzExpander.h"
#include "update/SzddWriter.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestFiles.h"

using testfiles::readFile;
using testfiles::writeFile;
using zarq::ExpandLZFile;
using zarq::LzExpander;
using zarq::SzddWriter;

namespace {

QByteArray randomBytes(int n, quint32 seed) {
    QRandomGenerator gen(seed);
    QByteArray b(n, '\0');
    for (char& c : b)
        c = static_cast<char>(gen.bounded(256));
    return b;
}

QByteArray repetitive(int n) {
    QByteArray b;
    while (b.size() < n)
        b += "The updater waits, places the files and starts the program again. ";
    return b.left(n);
}

struct Sample {
    const char* name;
    QByteArray data;
};

class SzddRoundTrip : public testing::TestWithParam<Sample> {};

// Our writer's output, read by libmspack, gives the input back byte for byte.
TEST_P(SzddRoundTrip, LibmspackExpandsWhatTheWriterPacked) {
    QTemporaryDir dir;
    const QString packed = dir.filePath(QStringLiteral("file.ex_"));
    writeFile(packed, SzddWriter::compress(GetParam().data, 'e'));
    ASSERT_TRUE(LzExpander::isCompressed(packed));
    EXPECT_EQ(LzExpander::expandedName(packed), QStringLiteral("file.exe"));
    QString error;
    const QString target = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(LzExpander::expandTo(packed, target, 0600, &error)) << error.toStdString();
    const QByteArray back = readFile(target);
    EXPECT_EQ(back.size(), GetParam().data.size());
    EXPECT_TRUE(back == GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SzddRoundTrip,
    testing::Values(Sample{"empty", QByteArray()}, Sample{"one", QByteArray("x")},
                    Sample{"blanks", QByteArray(40, ' ')}, Sample{"short_run", QByteArray(17, 'a')},
                    Sample{"run_4095", QByteArray(4095, 'z')},
                    Sample{"random_4095", randomBytes(4095, 1)},
                    Sample{"random_4096", randomBytes(4096, 2)},
                    Sample{"random_4097", randomBytes(4097, 3)},
                    Sample{"random_200k", randomBytes(200000, 4)},
                    Sample{"text_4096", repetitive(4096)}, Sample{"text_300k", repetitive(300000)},
                    Sample{"mixed", repetitive(9000) + randomBytes(9000, 5) + repetitive(9000)}),
    [](const testing::TestParamInfo<Sample>& info) { return std::string(info.param.name); });

TEST(SzddWriterTest, RepetitiveDataShrinks) {
    // Matches are found and used: a writer of literals only would grow the data by an eighth.
    const QByteArray data = repetitive(100000);
    EXPECT_LT(SzddWriter::compress(data, 'e').size(), data.size() / 4);
}

TEST(SzddWriterTest, HeaderCarriesSignatureModeNameCharacterAndLength) {
    const QByteArray packed = SzddWriter::compress(QByteArray(70000, 'q'), 'l');
    EXPECT_EQ(packed.left(8), QByteArray("SZDD\x88\xF0\x27\x33", 8));
    EXPECT_EQ(packed.at(8), 'A');
    EXPECT_EQ(packed.at(9), 'l');
    EXPECT_EQ(packed.mid(10, 4), QByteArray("\x70\x11\x01\x00", 4));
}

TEST(ExpandLZFileTest, ExpandsBesideUnderTheRecordedNameAndRemovesThePackedFile) {
    QTemporaryDir dir;
    const QString packed = dir.filePath(QStringLiteral("updater.ex_"));
    const QByteArray data = randomBytes(5000, 9) + repetitive(5000);
    writeFile(packed, SzddWriter::compress(data, 'e'));
    const QString expanded = ExpandLZFile(packed, 0700);
    EXPECT_EQ(expanded, dir.filePath(QStringLiteral("updater.exe")));
    EXPECT_TRUE(readFile(expanded) == data);
    EXPECT_FALSE(QFile::exists(packed));
    EXPECT_EQ(zarq::ReplacingFile::modeOf(expanded), 0700);
}

TEST(ExpandLZFileTest, AFileThatIsNotCompressedStaysIntact) {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("notes.tx_"));
    writeFile(plain, "plain text, no header");
    EXPECT_FALSE(LzExpander::isCompressed(plain));
    EXPECT_EQ(LzExpander::expandedName(plain), QStringLiteral("notes.tx_"));
    EXPECT_EQ(ExpandLZFile(plain), plain);
    EXPECT_EQ(readFile(plain), QByteArray("plain text, no header"));
    // Expanding it into another file copies it unchanged.
    const QString copy = dir.filePath(QStringLiteral("copy"));
    ASSERT_TRUE(LzExpander::expandTo(plain, copy, 0644));
    EXPECT_EQ(readFile(copy), QByteArray("plain text, no header"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(ExpandLZFileTest, AnExpansionPastItsBoundFailsBeforeWritingAnything) {
    // The bound: 100 times the packed size, at least 1 MiB, at most 1 GiB and the budget.
    struct Row {
        qint64 packed, budget, limit;
    };
    const qint64 mib = 1024 * 1024;
    for (const Row& row :
         {Row{100, 1024 * mib, mib}, Row{3 * mib, 1024 * mib, 300 * mib},
          Row{100 * mib, 1024 * mib, 1024 * mib}, Row{3 * mib, 5000, 5000}, Row{3 * mib, -1, 0}})
        EXPECT_EQ(LzExpander::expansionLimit(row.packed, row.budget), row.limit)
            << row.packed << " " << row.budget;

    QTemporaryDir dir;
    const QString packed = dir.filePath(QStringLiteral("data.bi_"));
    writeFile(packed, SzddWriter::compress(repetitive(20000), 'n'));
    // A header that claims 2 GiB from a few hundred bytes: refused unread.
    QByteArray lying = readFile(packed);
    lying[10] = 0;
    lying[11] = 0;
    lying[12] = 0;
    lying[13] = char(0x80);
    const QString claims = dir.filePath(QStringLiteral("big.bi_"));
    writeFile(claims, lying);
    QString error;
    EXPECT_FALSE(
        LzExpander::expandTo(claims, dir.filePath(QStringLiteral("big.bin")), 0644, &error));
    EXPECT_TRUE(error.contains("would expand to 2147483648 bytes")) << error.toStdString();
    // Within the ratio but past the run's budget.
    EXPECT_TRUE(ExpandLZFile(packed, 0600, 10000).isEmpty());
    EXPECT_TRUE(QFile::exists(packed));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_EQ(ExpandLZFile(packed, 0600, 20000), dir.filePath(QStringLiteral("data.bin")));
}

TEST(ExpandLZFileTest, ATruncatedFileFailsAndIsKept) {
    QTemporaryDir dir;
    const QString packed = dir.filePath(QStringLiteral("data.bi_"));
    const QByteArray whole = SzddWriter::compress(randomBytes(20000, 7), 'n');
    writeFile(packed, whole.left(whole.size() / 2));
    writeFile(dir.filePath(QStringLiteral("data.bin")), "previous");
    EXPECT_TRUE(ExpandLZFile(packed).isEmpty());
    EXPECT_TRUE(QFile::exists(packed));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("data.bin"))), QByteArray("previous"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(ExpandLZFileTest, ANameCharacterThatIsASeparatorIsNotUsed) {
    QTemporaryDir dir;
    const QString packed = dir.filePath(QStringLiteral("evil_"));
    writeFile(packed, SzddWriter::compress("x", '/'));
    EXPECT_EQ(LzExpander::expandedName(packed), QStringLiteral("evil_"));
    EXPECT_EQ(ExpandLZFile(packed), packed);
    EXPECT_EQ(readFile(packed), QByteArray("x"));
}

TEST(ExpandLZFileTest, ANameCharacterThatWouldNameAFolderIsNotUsed) {
    for (const char* name : {"_", "._"}) {
        QTemporaryDir dir;
        const QString packed = dir.filePath(QLatin1String(name));
        writeFile(packed, SzddWriter::compress("content", '.'));
        EXPECT_EQ(LzExpander::expandedName(packed), QLatin1String(name)) << name;
        // Expanded in place under its own name: the folder and its parent stay folders.
        EXPECT_EQ(ExpandLZFile(packed), packed) << name;
        EXPECT_EQ(readFile(packed), QByteArray("content")) << name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << name;
    }
}

} // namespace
