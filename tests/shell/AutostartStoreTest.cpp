#include "shell/AutostartStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

struct ExecCase {
    const char* path;
    const char* execLine; // as it appears after "Exec=" in the file
};

class ExecQuoting : public testing::TestWithParam<ExecCase> {};

TEST_P(ExecQuoting, WritesTheLineAndReadsThePathBack) {
    const ExecCase c = GetParam();
    const QString path = QString::fromUtf8(c.path);
    const QByteArray text = AutostartStore::entryText(path);
    EXPECT_TRUE(text.contains("\nExec=" + QByteArray(c.execLine) + "\n")) << text.constData();
    EXPECT_EQ(AutostartStore::programOf(text), path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecQuoting,
    testing::Values(ExecCase{"/usr/bin/zarq", "/usr/bin/zarq"},
                    ExecCase{"/opt/My Apps/zarq", "\"/opt/My Apps/zarq\""},
                    ExecCase{"/opt/100%/zarq", "/opt/100%%/zarq"},
                    ExecCase{"/opt/a$b`c\"d/zarq", "\"/opt/a\\\\$b\\\\`c\\\\\"d/zarq\""},
                    ExecCase{"/opt/back\\slash/zarq", "\"/opt/back\\\\\\\\slash/zarq\""},
                    ExecCase{"/home/用户/程序/zarq", "/home/用户/程序/zarq"}));

TEST(AutostartEntry, IsAProperDesktopEntry) {
    const QString text = QString::fromUtf8(AutostartStore::entryText("/usr/bin/zarq"));
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.first(), "[Desktop Entry]");
    for (const char* line :
         {"Type=Application", "Name=TERVAN 蓝杉果动态域名客户端", "Exec=/usr/bin/zarq", "Icon=zarq",
          "X-GNOME-Autostart-Delay=10", "Terminal=false"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;
    EXPECT_FALSE(text.contains("Hidden"));
}

struct DisabledCase {
    const char* text;
    bool present;
};

class EntryState : public testing::TestWithParam<DisabledCase> {};

TEST_P(EntryState, DisabledEntriesReadAsAbsent) {
    const DisabledCase c = GetParam();
    EXPECT_EQ(!AutostartStore::programOf(c.text).isEmpty(), c.present) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, EntryState,
    testing::Values(
        DisabledCase{"[Desktop Entry]\nExec=/bin/zarq\n", true},
        DisabledCase{"[Desktop Entry]\nExec=/bin/zarq\nHidden=true\n", false},
        DisabledCase{"[Desktop Entry]\nHidden=false\nExec=/bin/zarq\n", true},
        DisabledCase{"[Desktop Entry]\nExec=/bin/zarq\nX-GNOME-Autostart-enabled=false\n", false},
        DisabledCase{"[Desktop Entry]\nName=x\n", false},
        DisabledCase{"[Other]\nExec=/bin/zarq\n", false},
        DisabledCase{"[Desktop Entry]\nExec=/bin/zarq\n[Desktop Action x]\nHidden=true\n", true},
        DisabledCase{"", false}));

class AutostartFolders : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        store = AutostartStore({tmp.filePath("user/autostart"), tmp.filePath("machine/autostart")});
    }
    QString userFile() const { return tmp.filePath("user/autostart/TervanZarq.desktop"); }
    QString machineFile() const { return tmp.filePath("machine/autostart/TervanZarq.desktop"); }
    static void put(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir tmp;
    AutostartStore store;
    const QString run = AutostartStore::runKeyPath();
    const QString name = QStringLiteral("TervanZarq");
};

TEST_F(AutostartFolders, WriteCreatesTheFolderWithPrivateUserAndReadableMachineEntries) {
    ASSERT_TRUE(store.writeValue(TRegLocation::CurrentUser, run, name, "/usr/bin/zarq"));
    ASSERT_TRUE(store.writeValue(TRegLocation::LocalMachine, run, name, "/usr/bin/zarq"));
    EXPECT_EQ(QFileInfo(userFile()).permissions(),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_TRUE(QFileInfo(machineFile()).permissions() & QFile::ReadOther);
    EXPECT_EQ(store.readValue(TRegLocation::CurrentUser, run, name), "/usr/bin/zarq");
}

TEST_F(AutostartFolders, OnlyTheRunKeyAndPlainNamesHaveEntries) {
    EXPECT_FALSE(store.writeValue(TRegLocation::CurrentUser,
                                  "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", name,
                                  "/usr/bin/zarq"));
    for (const char* bad : {"", ".", "..", "../evil", "a/b"})
        EXPECT_FALSE(store.writeValue(TRegLocation::CurrentUser, run, bad, "/usr/bin/zarq")) << bad;
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_TRUE(store.writeValue(TRegLocation::CurrentUser,
                                 "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\run", name,
                                 "/usr/bin/zarq"));
}

TEST_F(AutostartFolders, AHiddenUserEntryMasksTheMachineEntry) {
    put(machineFile(), AutostartStore::entryText("/usr/bin/zarq"));
    EXPECT_EQ(store.readValue(TRegLocation::LocalMachine, run, name), "/usr/bin/zarq");
    ASSERT_TRUE(store.writeMask(run, name));
    EXPECT_EQ(store.readValue(TRegLocation::LocalMachine, run, name), "");
    EXPECT_EQ(store.readValue(TRegLocation::CurrentUser, run, name), "");
}

TEST_F(AutostartFolders, DeleteOfAMissingEntrySucceedsAndARefusedWriteFails) {
    EXPECT_TRUE(store.deleteValue(TRegLocation::CurrentUser, run, name));
    // The machine folder below a regular file cannot be created, even by root.
    put(tmp.filePath("file"), "x");
    AutostartStore blocked({tmp.filePath("user/autostart"), tmp.filePath("file/autostart")});
    EXPECT_FALSE(blocked.writeValue(TRegLocation::LocalMachine, run, name, "/usr/bin/zarq"));
    EXPECT_EQ(blocked.readValue(TRegLocation::LocalMachine, run, name), "");
}

TEST(AutostartDirsStandard, FollowsXdgConfigHome) {
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/zarq-config");
    EXPECT_EQ(AutostartDirs::standard().currentUser, "/tmp/zarq-config/autostart");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AutostartDirs::standard().currentUser, QDir::homePath() + "/.config/autostart");
    EXPECT_EQ(AutostartDirs::standard().localMachine, "/etc/xdg/autostart");
    if (!old.isNull())
        qputenv("XDG_CONFIG_HOME", old);
}

} // namespace
