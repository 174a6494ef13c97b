#include "platform/ReplacingFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using zarq::ReplacingFile;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

ino_t inode(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

TEST(ReplacingFileTest, CopyReplacesTheTargetAsANewFileWithTheGivenMode) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("new"));
    const QString target = dir.filePath(QStringLiteral("program"));
    writeFile(source, QByteArray(100000, 'n'));
    writeFile(target, "old program");
    const ino_t before = inode(target);
    // A running program keeps reading its old file.
    const int held = ::open(QFile::encodeName(target).constData(), O_RDONLY);
    ASSERT_GE(held, 0);

    QString error;
    ASSERT_TRUE(ReplacingFile::copy(source, target, 0751, &error)) << error.toStdString();
    EXPECT_EQ(readFile(target), QByteArray(100000, 'n'));
    EXPECT_EQ(ReplacingFile::modeOf(target), 0751);
    EXPECT_NE(inode(target), before);
    char buffer[32] = {};
    EXPECT_EQ(::read(held, buffer, sizeof buffer), 11);
    EXPECT_STREQ(buffer, "old program");
    ::close(held);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(ReplacingFileTest, AFailedCopyLeavesTheTargetAndNoTemporaryFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("program"));
    writeFile(target, "old");
    QString error;
    EXPECT_FALSE(
        ReplacingFile::copy(dir.filePath(QStringLiteral("missing")), target, 0644, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(target), QByteArray("old"));
    {
        // Written but never committed: the temporary file goes with the object.
        ReplacingFile file(target);
        ASSERT_TRUE(file.open(&error));
        ASSERT_TRUE(file.write("new", 3, &error));
        EXPECT_TRUE(QFile::exists(file.temporaryPath()));
    }
    EXPECT_EQ(readFile(target), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("program")});
}

TEST(ReplacingFileTest, ModeOfAMissingFileIsMinusOne) {
    QTemporaryDir dir;
    EXPECT_EQ(ReplacingFile::modeOf(dir.filePath(QStringLiteral("none"))), -1);
}

} // namespace
