#include "updater/ComponentPlacer.h"
#include "platform/ReplacingFile.h"
#include "update/SzddWriter.h"
#include "updater/UpdaterLog.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/CabinetBytes.h"
#include "support/TestFiles.h"
#include "updater/UpdaterLogLines.h"

using testfiles::filesBelow;
using testfiles::readFile;
using testfiles::writeFile;
using zarq::ComponentPlacer;
using zarq::ReplacingFile;
using zarq::UpdaterLog;

namespace {

// One placing run: staged files, files already in the application folder, the components
// listed; then what the application folder holds and what the log says. In the expected log
// lines "{S}" stands for the staging folder, "{D}" for the application folder and "{T}" for the
// temporary folder (each with its "/").
struct PlaceCase {
    const char* name;
    QList<QPair<QString, QByteArray>> staged;
    QList<QPair<QString, QByteArray>> installed;
    QStringList components;
    QString expectedFiles;
    QList<QPair<QString, QByteArray>> expectedContents;
    QStringList expectedLog;
};

class PlacingRules : public testing::TestWithParam<PlaceCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        stage = root.filePath(QStringLiteral("stage")) + QLatin1Char('/');
        app = root.filePath(QStringLiteral("my app")) + QLatin1Char('/');
        QDir().mkpath(stage);
        QDir().mkpath(app);
    }
    QString expand(QString text) const {
        return text.replace(QStringLiteral("{S}"), stage)
            .replace(QStringLiteral("{D}"), app)
            .replace(QStringLiteral("{T}"),
                     root.filePath(QStringLiteral("tmp")) + QLatin1Char('/'));
    }
    QTemporaryDir root;
    QString stage;
    QString app;
};

TEST_P(PlacingRules, PlaceTheComponents) {
    const PlaceCase& c = GetParam();
    for (const auto& [name, bytes] : c.staged)
        writeFile(stage + name, bytes);
    for (const auto& [name, bytes] : c.installed)
        writeFile(app + name, bytes);
    const QString logPath = root.filePath(QStringLiteral("UPDATE.LOG"));
    const UpdaterLog log(logPath, true);
    ComponentPlacer placer(log, app, root.filePath(QStringLiteral("tmp")), app + "zarq");
    placer.sleep = [](int) {};
    for (const QString& component : c.components)
        placer.place(component, stage, app);

    EXPECT_EQ(filesBelow(app), c.expectedFiles);
    for (const auto& [name, bytes] : c.expectedContents)
        EXPECT_EQ(readFile(app + name), bytes) << name.toStdString();
    QStringList expectedLog;
    for (const QString& line : c.expectedLog)
        expectedLog << expand(line);
    EXPECT_EQ(updaterLogTexts(logPath).join(QLatin1Char('\n')),
              expectedLog.join(QLatin1Char('\n')));
    // Nothing lands beside the two folders.
    QStringList beside =
        QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    beside.removeAll(QStringLiteral("UPDATE.LOG"));
    EXPECT_EQ(beside.join(QLatin1Char(' ')), QStringLiteral("my app stage"));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PlacingRules,
    testing::Values(
        PlaceCase{"copy_in_order",
                  {{"client.exe_NEW", "new client"}, {"readme.txt_NEW", "new readme"}},
                  {{"client.exe", "old client"}},
                  {"client.exe_NEW", "readme.txt_NEW"},
                  "client.exe readme.txt",
                  {{"client.exe", "new client"}, {"readme.txt", "new readme"}},
                  {"Upd copying file : {S}client.exe_NEW to {D}client.exe",
                   "Upd copying file : {S}readme.txt_NEW to {D}readme.txt"}},
        PlaceCase{"missing_staged_file_is_skipped_silently",
                  {},
                  {{"client.exe", "old"}},
                  {"client.exe_NEW"},
                  "client.exe",
                  {{"client.exe", "old"}},
                  {}},
        // The rule matches without regard to case; the staged file is the one named.
        PlaceCase{"case_blind_rule_exact_staged_name",
                  {{"Zarq_new", "z"}, {"other_new", "o"}},
                  {},
                  {"Zarq_new", "other_NEW", "a_NEW_NEW"},
                  "Zarq",
                  {{"Zarq", "z"}},
                  {"Upd copying file : {S}Zarq_NEW to {D}Zarq", "Upd lzexpand a_NEW_NEW {D}",
                   "Upd lzexpand dest. filename a_NEW_NEW",
                   "Upd lzexpand failed : no such file: {S}a_NEW_NEW"}},
        PlaceCase{"names_leaving_their_folder_are_refused",
                  {{"sub/x_NEW", "inside"}, {"_NEW", "no name"}},
                  {},
                  {"../evil_NEW", "/etc/passwd_NEW", "sub/../../e_NEW", "sub/x_NEW", "_NEW"},
                  "",
                  {},
                  {"Upd refused name : ../evil_NEW", "Upd refused name : /etc/passwd_NEW",
                   "Upd refused name : sub/../../e_NEW",
                   "Upd copying file : {S}sub/x_NEW to {D}sub/x",
                   "Upd copy error {S}sub/x_NEW to {D}sub/x", "Upd refused name : _NEW"}},
        PlaceCase{"list_file",
                  {{"pack.INF", "[Files]\r\nCount=4\r\nFile1=a.txt_NEW\r\nTarget1={APP}\\sub\r\n"
                                "FILE2=b.txt_NEW\r\nTARGET2=/etc\r\nFILE3=..\\c.txt_NEW\r\n"
                                "TARGET3={APP}\r\nFILE4=d.txt_NEW\r\nTARGET4=sub\\..\\..\r\n"},
                   {"a.txt_NEW", "a"},
                   {"b.txt_NEW", "b"},
                   {"d.txt_NEW", "d"}},
                  {{"sub/keep", "k"}},
                  {"pack.INF"},
                  "sub/a.txt sub/keep",
                  {{"sub/a.txt", "a"}},
                  {"Upd inf file: {S}pack.INF", "upd inf 1 : a.txt_NEW {D}./sub",
                   "Upd copying file : {S}a.txt_NEW to {D}./sub/a.txt",
                   "upd inf 2 : b.txt_NEW /etc", "Upd refused name : b.txt_NEW",
                   "upd inf 3 : ../c.txt_NEW {D}.", "Upd refused name : ../c.txt_NEW",
                   "upd inf 4 : d.txt_NEW sub/../..", "Upd refused name : d.txt_NEW"}},
        // Folders beside the application and temporary folders whose names merely begin with
        // theirs ("my app2", "tmp-old") are outside them.
        PlaceCase{"folders_beside_with_the_same_beginning_are_refused",
                  {{"pack.INF", "[Files]\r\nCount=2\r\nFile1=a.txt_NEW\r\n"
                                "Target1={APP}\\..\\my app2\r\nFile2=b.txt_NEW\r\n"
                                "Target2={TMP}\\..\\tmp-old\r\n"},
                   {"a.txt_NEW", "a"},
                   {"b.txt_NEW", "b"}},
                  {},
                  {"pack.INF"},
                  "",
                  {},
                  {"Upd inf file: {S}pack.INF", "upd inf 1 : a.txt_NEW {D}./../my app2",
                   "Upd refused name : a.txt_NEW", "upd inf 2 : b.txt_NEW {T}./../tmp-old",
                   "Upd refused name : b.txt_NEW"}},
        // The system would end these names at the NUL: the first would run the list itself,
        // the second would place the file in another folder than the one checked.
        PlaceCase{"names_holding_a_nul_are_refused",
                  {{"pack.INF", QByteArrayLiteral("[FILES]\nCOUNT=2\nFILE1=pack.INF\0.exe\n"
                                                  "TARGET1={APP}\nFILE2=a.txt_NEW\n"
                                                  "TARGET2={APP}\\sub\0\\..\n")},
                   {"a.txt_NEW", "a"}},
                  {{"sub/keep", "k"}},
                  {"pack.INF"},
                  "sub/keep",
                  {},
                  {"Upd inf file: {S}pack.INF", "upd inf 1 : pack.INF\\0.exe {D}.",
                   "Upd refused name : pack.INF\\0.exe", "upd inf 2 : a.txt_NEW {D}./sub\\0/..",
                   "Upd refused name : a.txt_NEW"}},
        PlaceCase{"cabinet",
                  {{"pack.CAB", testcab::craftCabinet({{"sub\\c.txt", "cab"}, {"..\\out", "x"}})},
                   {"bad.cab", "not a cabinet"}},
                  {},
                  {"pack.CAB", "bad.cab"},
                  "sub/c.txt",
                  {{"sub/c.txt", "cab"}},
                  {"Upd cab extract pack.CAB {D}", "Upd refused name : ../out",
                   "Upd cab extract bad.cab {D}", "Upd cabextract failed"}},
        PlaceCase{"lz_and_plain_files",
                  {{"data.dl_", zarq::SzddWriter::compress("library bytes", 'l')},
                   {"notes.txt", "plain"}},
                  {{"data.dll", "old library"}},
                  {"data.dl_", "notes.txt"},
                  "data.dll notes.txt",
                  {{"data.dll", "library bytes"}, {"notes.txt", "plain"}},
                  {"Upd lzexpand data.dl_ {D}", "Upd lzexpand dest. filename data.dll",
                   "Upd lzexpand notes.txt {D}", "Upd lzexpand dest. filename notes.txt"}},
        PlaceCase{"patch_without_patcher",
                  {{"zarq.PAT", "patch"}},
                  {},
                  {"zarq.PAT"},
                  "",
                  {},
                  {"Upd patch zarq.PAT : no {D}patcher.exe"}}),
    [](const testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

TEST(ComponentPlacerTest, AListFileThatNamesItselfEnds) {
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    QDir().mkpath(app);
    writeFile(stage + "loop.inf", "[FILES]\nCOUNT=1\nFILE1=loop.inf\nTARGET1={APP}\n");
    const UpdaterLog log(root.filePath(QStringLiteral("log")), true);
    ComponentPlacer(log, app, root.filePath(QStringLiteral("t")), QString())
        .place("loop.inf", stage, app);
    const QStringList texts = updaterLogTexts(root.filePath(QStringLiteral("log")));
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts.last(), "Upd inf nested too deeply: " + stage + "loop.inf");
}

TEST(ComponentPlacerTest, AFolderThatLinksElsewhereIsOutsideTheApplicationFolder) {
    // app/sub is a symbolic link to a folder beside it: by name inside, in fact outside.
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(app);
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QFile::link(elsewhere, app + "sub"));
    writeFile(stage + "a.txt_NEW", "a");
    writeFile(stage + "sub/b.txt_NEW", "b");
    writeFile(stage + "pack.inf", "[FILES]\nCOUNT=1\nFILE1=a.txt_NEW\nTARGET1={APP}\\sub\n");
    const UpdaterLog log(root.filePath(QStringLiteral("log")), true);
    ComponentPlacer placer(log, app, root.filePath(QStringLiteral("t")), QString());
    placer.place("pack.inf", stage, app);      // a list's target folder
    placer.place("sub/b.txt_NEW", stage, app); // a component's own folder
    const QStringList texts = updaterLogTexts(root.filePath(QStringLiteral("log")));
    EXPECT_EQ(texts.filter("Upd refused name : ").join('|'),
              "Upd refused name : a.txt_NEW|Upd refused name : sub/b.txt_NEW");
    EXPECT_EQ(filesBelow(elsewhere), QString());
}

TEST(ComponentPlacerTest, AListIsNotReadAgainInsideItself) {
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    QDir().mkpath(app);
    // Eight entries naming the list: read again at each level, eight levels deep, that would be
    // millions of readings.
    QByteArray list = "[FILES]\nCOUNT=9\nFILE9=a.txt_NEW\nTARGET9={APP}\n";
    for (int i = 1; i <= 8; ++i)
        list += "FILE" + QByteArray::number(i) + "=loop.inf\n";
    writeFile(stage + "loop.inf", list);
    writeFile(stage + "a.txt_NEW", "new a");
    const UpdaterLog log(root.filePath(QStringLiteral("log")), true);
    ComponentPlacer(log, app, root.filePath(QStringLiteral("t")), QString())
        .place("loop.inf", stage, app);
    const QStringList texts = updaterLogTexts(root.filePath(QStringLiteral("log")));
    EXPECT_EQ(texts.filter("Upd inf file: ").size(), 9);
    EXPECT_EQ(texts.filter("Upd inf nested too deeply: " + stage + "loop.inf").size(), 8);
    EXPECT_EQ(readFile(app + "a.txt"), "new a");
}

TEST(ComponentPlacerTest, AHugeCountStopsAtTheLargestList) {
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    QDir().mkpath(app);
    writeFile(stage + "big.inf", "[FILES]\nCOUNT=2147483647\nFILE1=a.txt_NEW\nTARGET1={APP}\n");
    writeFile(stage + "a.txt_NEW", "new a");
    const UpdaterLog log(root.filePath(QStringLiteral("log")), true);
    ComponentPlacer(log, app, root.filePath(QStringLiteral("t")), QString())
        .place("big.inf", stage, app);
    EXPECT_EQ(readFile(app + "a.txt"), "new a");
    const QStringList entries =
        updaterLogTexts(root.filePath(QStringLiteral("log"))).filter(QStringLiteral("upd inf "));
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_TRUE(entries.last().startsWith(QStringLiteral("upd inf 65535 : ")))
        << entries.last().toStdString();
}

TEST(ComponentPlacerTest, TheListsOfOneRestartShareOneBoundAndALargeListIsRefused) {
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    QDir().mkpath(app);
    // The outer list takes all 65,535 entries: the list it names gets none.
    writeFile(stage + "outer.inf", "[FILES]\nCOUNT=65535\nFILE1=inner.inf\nTARGET1={APP}\n");
    writeFile(stage + "inner.inf", "[FILES]\nCOUNT=65535\nFILE1=a.txt_NEW\nTARGET1={APP}\n");
    writeFile(stage + "a.txt_NEW", "new a");
    // Just over 1 MiB: refused unread.
    writeFile(stage + "large.inf",
              "[FILES]\nCOUNT=1\nFILE1=a.txt_NEW\nTARGET1={APP}\n;" + QByteArray(1024 * 1024, 'x'));
    const UpdaterLog log(root.filePath(QStringLiteral("log")), true);
    ComponentPlacer placer(log, app, root.filePath(QStringLiteral("t")), QString());
    placer.place("outer.inf", stage, app);
    placer.place("large.inf", stage, app);
    const QStringList texts = updaterLogTexts(root.filePath(QStringLiteral("log")));
    EXPECT_TRUE(texts.contains("Upd inf too many entries: " + stage + "inner.inf"));
    EXPECT_TRUE(texts.contains("Upd inf file too large: " + stage + "large.inf"));
    EXPECT_EQ(texts.filter(QStringLiteral("upd inf ")).size(), 65535);
    EXPECT_FALSE(QFile::exists(app + "a.txt"));
}

TEST(ComponentPlacerTest, PermissionBits) {
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    auto staged = [&](const QString& name, const QByteArray& bytes, int mode) {
        writeFile(stage + name, bytes);
        ::chmod(QFile::encodeName(stage + name).constData(), static_cast<mode_t>(mode));
    };
    staged("zarq_NEW", "#!/bin/sh\n", 0600); // the program restarted: executable
    staged("old_NEW", "replacement", 0600);  // replaces a file: keeps its bits
    staged("tool_NEW",
           QByteArray("\x7f"
                      "ELF",
                      4),
           0600);                       // an ELF program: executable
    staged("readme_NEW", "text", 0600); // a new file: the user's usual bits, not the staged
    writeFile(app + "old", "old");
    ::chmod(QFile::encodeName(app + "old").constData(), 0755);

    const UpdaterLog log(QString(), false);
    ComponentPlacer placer(log, app, root.filePath(QStringLiteral("t")), app + "zarq");
    const mode_t before = ::umask(027);
    for (const char* name : {"zarq_NEW", "old_NEW", "tool_NEW", "readme_NEW"})
        placer.place(QLatin1String(name), stage, app);
    ::umask(before);
    EXPECT_EQ(ReplacingFile::modeOf(app + "zarq"), 0740);
    EXPECT_EQ(ReplacingFile::modeOf(app + "old"), 0755);
    EXPECT_EQ(readFile(app + "old"), QByteArray("replacement"));
    EXPECT_EQ(ReplacingFile::modeOf(app + "tool"), 0740);
    EXPECT_EQ(ReplacingFile::modeOf(app + "readme"), 0640);
}

TEST(ComponentPlacerTest, AProgramComponentRunsAndIsWaitedFor) {
    QTemporaryDir root;
    const QString stage = root.filePath(QStringLiteral("s/"));
    const QString app = root.filePath(QStringLiteral("a/"));
    QDir().mkpath(app);
    writeFile(stage + "setup.EXE", readFile(QStringLiteral(ZARQ_PROCESS_PROBE)));
    ::chmod(QFile::encodeName(stage + "setup.EXE").constData(), 0600);
    const QString out = root.filePath(QStringLiteral("probe.out"));
    qputenv("ZARQ_PROBE_OUT", QFile::encodeName(out));
    const UpdaterLog log(root.filePath(QStringLiteral("log")), true);
    ComponentPlacer placer(log, app, root.filePath(QStringLiteral("t")), QString());
    int slept = 0;
    placer.sleep = [&](int ms) { slept += ms; };
    placer.place("setup.EXE", stage, app);
    qunsetenv("ZARQ_PROBE_OUT");
    // Waited for: its report is complete when place() returns.
    EXPECT_TRUE(readFile(out).endsWith("end\n"));
    EXPECT_TRUE(readFile(out).contains("fd1=/dev/null"));
    EXPECT_EQ(slept, 500);
    EXPECT_EQ(updaterLogTexts(root.filePath(QStringLiteral("log"))),
              QStringList{"Upd execute setup.EXE " + app});
}

} // namespace
