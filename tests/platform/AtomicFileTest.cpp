// Private, crash-safe writes: the new content replaces the old file whole, with mode 0600, and
// a write that cannot be completed says why and leaves nothing behind.
#include "platform/AtomicFile.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testfiles::filesBelow;
using testfiles::readFile;
using testfiles::writeFile;
using zarq::AtomicFile;

namespace {

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(AtomicFileTest, WriteTable) {
    struct Case {
        const char* what;
        const char* name; // below the test's folder
        std::function<void(const QString& folder)> prepare;
        const char* error;   // the start of the reason; empty: written
        const char* listing; // everything below the test's folder afterwards
    };
    const Case cases[] = {
        {"a new file", "settings.reg", [](const QString&) {}, "", "settings.reg"},
        {"over an old file open to everyone", "settings.reg",
         [](const QString& f) {
             writeFile(f + "/settings.reg", "old content");
             ASSERT_TRUE(QFile::setPermissions(f + "/settings.reg",
                                               QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ReadOther | QFile::WriteOther));
         },
         "", "settings.reg"},
        {"in folders still to be made", "one/two/settings.reg", [](const QString&) {}, "",
         "one/two/settings.reg"},
        // The rename cannot replace a folder: the folder stays, the temporary file goes.
        {"a folder in its place", "settings.reg",
         [](const QString& f) { writeFile(f + "/settings.reg/inside", "kept"); },
         "cannot replace the file: ", "settings.reg/inside"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        c.prepare(dir.path());
        const QString error = AtomicFile::write(path, "new content\n");
        EXPECT_EQ(filesBelow(dir.path()), QString::fromUtf8(c.listing));
        if (*c.error == '\0') {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(readFile(path), "new content\n");
            EXPECT_EQ(modeOf(path), 0600u);
            // Folders the write made are private too.
            for (QString folder = QFileInfo(path).path(); folder != dir.path();
                 folder = QFileInfo(folder).path())
                EXPECT_EQ(modeOf(folder), 0700u) << folder.toStdString();
        } else {
            EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << error.toStdString();
            EXPECT_EQ(readFile(path + "/inside"), "kept");
        }
    }
}

} // namespace
