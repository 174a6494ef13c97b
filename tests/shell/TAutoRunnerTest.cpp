#include "shell/TAutoRunner.h"
#include "AutostartFixture.h"

#include <memory>

using namespace zarq;

namespace {

class TAutoRunnerTest : public AutostartFixture {
protected:
    // Configured like the settings dialog's AutoRunner1.
    std::unique_ptr<TAutoRunner> loaded() {
        auto r = std::make_unique<TAutoRunner>(nullptr, store());
        r->setProgramPath(program);
        r->setRegLocation(TRegLocation::CurrentUser);
        r->setAutoRunWhere(TAutoRunWhere::Run);
        r->setAutoRun(false);
        r->setAppName("TervanZarq");
        r->Loaded();
        return r;
    }
};

TEST_F(TAutoRunnerTest, DetectRegistrationFindsTheEntryAndItsPlace) {
    struct Case {
        bool user, machine, userHidden;
        bool autoRun;
        TRegLocation location;
    };
    const Case cases[] = {
        {false, false, false, false, TRegLocation::CurrentUser},
        {true, false, false, true, TRegLocation::CurrentUser},
        {false, true, false, true, TRegLocation::LocalMachine},
        {true, true, false, true, TRegLocation::CurrentUser},
        {true, false, true, false, TRegLocation::CurrentUser},
        {false, true, true, false, TRegLocation::CurrentUser}, // the user turned it off
    };
    for (const Case& c : cases) {
        QFile::remove(userFile());
        QFile::remove(machineFile());
        if (c.machine)
            plant(TRegLocation::LocalMachine);
        if (c.user)
            plant(TRegLocation::CurrentUser);
        if (c.userHidden)
            store().writeMask(AutostartStore::runKeyPath(), "TervanZarq");
        auto r = loaded();
        EXPECT_EQ(r->AutoRun(), c.autoRun) << c.user << c.machine << c.userHidden;
        EXPECT_EQ(r->RegLocation(), c.location) << c.user << c.machine << c.userHidden;
    }
}

TEST_F(TAutoRunnerTest, KnowsWhenTheUserSwitchedTheEntryOff) {
    struct Case {
        QByteArray userEntry; // empty: none
        bool machine;
        bool switchedOff;
    };
    const Case cases[] = {
        {"", false, false},
        {"", true, false},
        {"[Desktop Entry]\nExec=/bin/zarq\nX-GNOME-Autostart-enabled=false\n", false, true},
        {"[Desktop Entry]\nExec=/bin/zarq\nx-gnome-autostart-enabled=false\n", false, false},
        {"[Desktop Entry]\nExec=/bin/zarq\nX-GNOME-Autostart-enabled=FALSE\n", true, true},
        {"[Desktop Entry]\nExec=/bin/zarq\nHidden=true\n", false, true},
        {"[Desktop Entry]\nExec=/bin/zarq\nX-GNOME-Autostart-enabled=true\n", false, false},
        {"[Desktop Entry]\nExec=/bin/zarq\n[Other]\nHidden=true\n", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.userEntry.toStdString());
        QFile::remove(userFile());
        QFile::remove(machineFile());
        if (c.machine)
            plant(TRegLocation::LocalMachine);
        if (!c.userEntry.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(dirs.currentUser));
            QFile f(userFile());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.userEntry);
        }
        auto r = loaded();
        EXPECT_EQ(r->SwitchedOffByUser(), c.switchedOff);
        if (c.switchedOff) {
            EXPECT_FALSE(r->AutoRun());
            r->setAutoRun(true); // the user asks for it again
            EXPECT_FALSE(r->SwitchedOffByUser());
            EXPECT_EQ(read(TRegLocation::CurrentUser), program);
        }
    }
}

TEST_F(TAutoRunnerTest, NothingIsWrittenWhileLoading) {
    TAutoRunner r(nullptr, store());
    r.setProgramPath(program);
    r.setAutoRun(true);
    EXPECT_FALSE(r.AutoRun());
    r.UpdateRegistry(TRegLocation::CurrentUser, "TervanZarq");
    EXPECT_FALSE(QFile::exists(userFile()));
    r.Loaded();
    r.setAppName("Other"); // no effect once loaded
    EXPECT_EQ(r.AppName(), "MyApplication");
}

TEST_F(TAutoRunnerTest, SwitchingOnWritesUnderOneRootAndOffRemovesFromBoth) {
    auto r = loaded();
    r->setAutoRun(true);
    EXPECT_EQ(read(TRegLocation::CurrentUser), program);
    EXPECT_FALSE(QFile::exists(machineFile()));

    plant(TRegLocation::LocalMachine); // someone else put one machine-wide too
    r->setAutoRun(false);
    EXPECT_FALSE(QFile::exists(userFile()));
    EXPECT_FALSE(QFile::exists(machineFile()));
}

TEST_F(TAutoRunnerTest, MovingTheLocationMovesTheEntry) {
    auto r = loaded();
    r->setAutoRun(true);
    r->setRegLocation(TRegLocation::LocalMachine);
    EXPECT_FALSE(QFile::exists(userFile()));
    EXPECT_EQ(read(TRegLocation::LocalMachine), program);
    EXPECT_EQ(r->RegLocation(), TRegLocation::LocalMachine);
}

TEST_F(TAutoRunnerTest, AnUnwritableMachineFolderIsSwallowed) {
    blockMachineFolder();
    plant(TRegLocation::CurrentUser);
    auto r = loaded();
    ASSERT_TRUE(r->AutoRun());
    r->setRegLocation(TRegLocation::LocalMachine); // removes the user entry, cannot write
    EXPECT_FALSE(QFile::exists(userFile()));
    EXPECT_TRUE(r->AutoRun()); // stored as requested, even though nothing was written
    r->setAutoRun(false);
    r->setAutoRun(true);
    EXPECT_EQ(read(TRegLocation::CurrentUser), "");
    r->setRegLocation(TRegLocation::CurrentUser);
    EXPECT_EQ(read(TRegLocation::CurrentUser), program);
}

TEST_F(TAutoRunnerTest, KeyPathFollowsTheListAndServicesAreMachineOnly) {
    TAutoRunner r(nullptr, store());
    EXPECT_EQ(r.KeyPath(), "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    r.setAutoRunWhere(TAutoRunWhere::RunOnce);
    EXPECT_EQ(r.KeyPath(), "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    r.setAutoRunWhere(TAutoRunWhere::RunServices);
    EXPECT_EQ(r.AutoRunWhere(), TAutoRunWhere::Run);
    EXPECT_EQ(r.KeyPath(), "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    r.setRegLocation(TRegLocation::LocalMachine);
    r.setAutoRunWhere(TAutoRunWhere::RunServicesOnce);
    EXPECT_EQ(r.KeyPath(), "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce");
}

TEST_F(TAutoRunnerTest, AnExistingEntryIsNeverRewrittenByDetection) {
    plant(TRegLocation::CurrentUser, "/old/place/zarq");
    auto r = loaded();
    EXPECT_TRUE(r->AutoRun());
    r->setAutoRun(true); // unchanged value: no write
    EXPECT_EQ(read(TRegLocation::CurrentUser), "/old/place/zarq");
}

} // namespace
