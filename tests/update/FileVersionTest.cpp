#include "CoreTestHome.h"
#include "ElfWriter.h"

#include "update/FileVersion.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

QString writeFile(const CoreTestHome& home, const QString& name, const QByteArray& bytes) {
    QFile file(home.path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

} // namespace

TEST(FileVersion, OurOwnExecutableCarriesTheProjectVersion) {
    const VersionValue version = FileVersion::read(QCoreApplication::applicationFilePath());
    EXPECT_TRUE(version.isValid());
    QString expected = QStringLiteral(ZARQ_TEST_PROJECT_VERSION);
    while (expected.count('.') < 3)
        expected += ".0";
    EXPECT_EQ(version.toString(), expected);
}

TEST(FileVersion, TheNoteIsFoundInEveryWidthAndByteOrder) {
    CoreTestHome home;
    struct Case {
        bool wide;
        bool big;
    };
    for (const Case c :
         {Case{true, false}, Case{false, false}, Case{true, true}, Case{false, true}}) {
        ElfWriter elf(c.wide, c.big);
        elf.addNote("GNU", 3, QByteArray(20, 'x')); // another owner's note comes first
        elf.addNote("Zarq", FileVersion::kNoteType, ElfWriter::parts(2, 0, 12, 3, c.big));
        const QString path = writeFile(home, "elf", elf.bytes());
        EXPECT_EQ(FileVersion::read(path).toString(), QString("2.0.12.3"))
            << "wide " << c.wide << " big " << c.big;
    }
}

TEST(FileVersion, OtherFilesHaveNone) {
    CoreTestHome home;
    ElfWriter otherNote(true, false);
    otherNote.addNote("Zarq", 1, ElfWriter::parts(9, 9, 9, 9, false)); // another type
    ElfWriter noNotes(true, false);
    QByteArray truncated = ElfWriter(true, false).bytes();
    truncated.chop(10);
    const QByteArray files[] = {
        otherNote.bytes(),
        noNotes.bytes(),
        truncated,
        QByteArray("#!/bin/sh\necho hi\n"),
        QByteArray("\x7f"
                   "ELF"),
        QByteArray(),
    };
    int i = 0;
    for (const QByteArray& bytes : files) {
        const QString path = writeFile(home, QString("file%1").arg(i++), bytes);
        const VersionValue v = FileVersion::read(path);
        EXPECT_EQ(v.High, -1) << i;
        EXPECT_EQ(v.Low, -1) << i;
    }
    EXPECT_FALSE(FileVersion::read(home.path("missing")).isValid());
}
