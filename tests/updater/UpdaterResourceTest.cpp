#include "updater/resource/UpdaterResource.h"
#include "platform/ReplacingFile.h"
#include "update/LzExpander.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestFiles.h"

using zarq::UpdaterResource;

// The packed updater that zarq carries expands, through libmspack, to the built updater byte
// for byte, as the restart writes and expands it.
TEST(UpdaterResourceTest, ExpandsToTheBuiltUpdater) {
    QTemporaryDir dir;
    const QString packed = dir.filePath(QStringLiteral("updater.ex_"));
    QString error;
    ASSERT_TRUE(UpdaterResource::write(packed, &error)) << error.toStdString();
    EXPECT_EQ(zarq::ReplacingFile::modeOf(packed), 0600);
    EXPECT_TRUE(testfiles::readFile(packed).startsWith(QByteArray("SZDD\x88\xF0\x27\x33"
                                                                  "Ae",
                                                                  10)));
    const QString expanded = zarq::ExpandLZFile(packed, 0700);
    EXPECT_EQ(expanded, dir.filePath(QStringLiteral("updater.exe")));
    EXPECT_FALSE(QFile::exists(packed));
    EXPECT_EQ(zarq::ReplacingFile::modeOf(expanded), 0700);
    const QByteArray built = testfiles::readFile(QStringLiteral(ZARQ_UPDATER));
    ASSERT_GT(built.size(), 1000);
    EXPECT_TRUE(testfiles::readFile(expanded) == built);
}
