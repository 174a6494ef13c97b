// `zarq --update` as a real process against the reference update host on 127.0.0.1: a run
// that fetches and places a listed file, and one whose listed file fails.

#include "UpdateHostFixture.h"

#include <QRegularExpression>

using namespace updatetest;

namespace {

struct Outcome : ZarqOutcome {
    QList<int> numbers() const {
        static const QRegularExpression number(QStringLiteral("^zarq: update \\[(\\d+)\\] "));
        QList<int> list;
        for (const QString& line : lines) {
            const QRegularExpressionMatch m = number.match(line);
            if (m.hasMatch())
                list.append(m.captured(1).toInt());
        }
        return list;
    }
};

class UpdateCommandHostTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        app = home.folder("app");
        ASSERT_TRUE(host.start(root));
    }
    // Runs zarq in the test's home, with `app` as its current directory.
    Outcome run(const QStringList& args, const QString& envUrl) {
        Outcome outcome;
        static_cast<ZarqOutcome&>(outcome) = runZarq(app, args, envUrl);
        return outcome;
    }

    TempHome home;
    QString root, app;
    UpdateHost host{home.folder("work")};
};

TEST_F(UpdateCommandHostTest, ARunThatPlacesAFilePrintsEachMessageAndEndsWith0) {
    writeFile(root + "update1.txt",
              "[files]\r\ncount=1\r\n[file1]\r\nurl=" + host.url("readme.txt").toUtf8() +
                  "\r\ntargetdir={APP}\\docs\r\n");
    writeFile(root + "readme.txt", "new readme");
    const Outcome out = run({"--update"}, host.url("update1.txt"));
    EXPECT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_EQ(out.numbers(), (QList<int>{968, 966, 967, 969, 970, 963, 918, 921, 915, 926, 943, 971,
                                         915, 948, 949, 949}));
    EXPECT_TRUE(out.lines.contains("zarq: update [915] Download : " + host.url("readme.txt") +
                                   " (Status:3) (Error:0)"));
    // {APP} is the current directory; a "\" in a path reads as "/".
    EXPECT_EQ(readFile(app + "docs/readme.txt"), "new readme");
    EXPECT_EQ(home.stagingFiles(), QStringList());
    for (const QJsonObject& r : host.requests())
        EXPECT_EQ(r["headers"].toObject()["User-Agent"].toString(), "TErvan ZArq Client 1.0");
    EXPECT_EQ(host.requestedPaths(), (QStringList{"/update1.txt", "/readme.txt"}));
}

TEST_F(UpdateCommandHostTest, AFailedFileEndsWith1AndTheOtherFilesAreStillFetched) {
    writeFile(root + "update1.txt",
              "[files]\r\ncount=2\r\n[file1]\r\nurl=" + host.url("missing.bin").toUtf8() +
                  "\r\ntargetdir=" + app.toUtf8() + "\r\n[file2]\r\nurl=" +
                  host.url("b.txt").toUtf8() + "\r\ntargetdir=" + app.toUtf8() + "\r\n");
    writeFile(root + "b.txt", "b");
    const Outcome out = run({"--update"}, host.url("update1.txt"));
    EXPECT_EQ(out.exitCode, 1);
    EXPECT_TRUE(out.lines.contains("zarq: update [946] Cannot download update file : " +
                                   host.url("missing.bin") + " (Status:2) (Error:0)"))
        << out.lines.join('\n').toStdString();
    EXPECT_EQ(out.numbers().mid(9),
              (QList<int>{926, 943, 971, 971, 915, 916, 946, 915, 948, 949, 949}));
    EXPECT_EQ(readFile(app + "b.txt"), "b");
    EXPECT_FALSE(QFile::exists(app + "missing.bin"));
}

} // namespace
