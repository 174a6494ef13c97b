// Which folders and names stay inside the folders an update may write to: by their text and,
// for folders, after following the symbolic links of the part that exists.
#include "updater/PathContainment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using zarq::PathContainment;

namespace {

const QString kNul(QChar(0));

TEST(PathContainmentTest, FolderInsideTable) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    // Links resolved, so that the texts below are the real paths.
    const QString root = QDir(tmp.path()).canonicalPath();
    for (const char* dir : {"app/sub", "tmp", "elsewhere"})
        ASSERT_TRUE(QDir().mkpath(root + "/" + dir));
    ASSERT_TRUE(QFile::link(root + "/elsewhere", root + "/app/out"));

    struct Case {
        QString dir; // "%R" stands for the root
        QStringList roots;
        bool inside;
    };
    const QStringList both{"%R/app", "%R/tmp/"};
    const Case cases[] = {
        {"%R/app", both, true},
        {"%R/app/", both, true},
        {"%R/app/sub", both, true},
        {"%R/app/sub/new/deeper", both, true}, // not there yet: its existing part decides
        {"%R/tmp", both, true},
        {"%R/tmp/x", both, true},
        {"%R/app/sub/../../tmp", both, true},
        {"%R/app/sub/../..", both, false},
        // beside the roots, with a name that begins with one of theirs
        {"%R/app2", both, false},
        {"%R/tmp-old/x", both, false},
        {"%R/ap", both, false},
        // a link inside that leads out, and what would lie below it
        {"%R/app/out", both, false},
        {"%R/app/out/new", both, false},
        // not absolute, or holding a NUL (the system would end it there)
        {"app/sub", both, false},
        {"%R/elsewhere" + kNul + "/../app", both, false},
        // no root, or an empty one, holds nothing
        {"%R/app", {}, false},
        {"%R/app", {""}, false},
        {"/", {""}, false},
    };
    for (const Case& c : cases) {
        QString dir = c.dir;
        dir.replace("%R", root);
        QStringList roots = c.roots;
        roots.replaceInStrings("%R", root);
        SCOPED_TRACE(QString(dir + " in " + roots.join(", ")).replace(kNul, "<NUL>").toStdString());
        EXPECT_EQ(PathContainment::folderInside(dir, roots), c.inside);
    }
}

TEST(PathContainmentTest, RelativeNameTable) {
    struct Case {
        QString name;
        QString clean; // empty: refused
    };
    const Case cases[] = {
        {"a.txt", "a.txt"},
        {"sub/a.txt", "sub/a.txt"},
        {"sub/../a.txt", "a.txt"},
        {"./a.txt", "a.txt"},
        {"..a", "..a"},
        {"", ""},
        {".", ""},
        {"sub/..", ""},
        {"..", ""},
        {"../a.txt", ""},
        {"sub/../../a.txt", ""},
        {"/etc/passwd", ""},
        {"a.txt" + kNul + ".exe", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString(c.name).replace(kNul, "<NUL>").toStdString());
        EXPECT_EQ(PathContainment::relativeName(c.name), c.clean);
    }
}

} // namespace
