// The main window under the watch the desktop program gives it: a network change or a resume,
// delivered through the program's own SessionWatch, reaches the scripted service and the window.
#include "DesktopFixture.h"
#include "app/desktop/DesktopProgram.h"
#include "platform/RegistryStore.h"
#include "session/LoginSettings.h"
#include "session/Md5.h"
#include "session/SessionWatch.h"
#include "session/widgets/NameEdit.h"
#include "session/widgets/PasswordEdit.h"

#include <QLineEdit>
#include <QPushButton>
#include <limits>

using namespace zarq;
using namespace zarq::test;

namespace {

class MainWindowWatchTest : public DesktopFixture {
protected:
    void SetUp() override {
        DesktopFixture::SetUp();
        // No real logind may wake this test: the resume watcher finds no system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(dir.filePath(QStringLiteral("no-bus"))));
        form = std::make_unique<TForm1>(windowEnvironment());
        shortenWaits(*form->zArqLogin);
        // The heartbeat comes only when the reaction asks for it.
        form->zArqLogin->session().setHeartbeatInterval(3600000);
    }

    bool signIn() {
        form->loginButton1Click();
        form->zArqLogin->Edit1->setText(QStringLiteral("alice"));
        form->zArqLogin->PasswordEdit1->setText(QStringLiteral("pw"));
        form->zArqLogin->SkinButton1->click();
        return waitFor([&] { return !form->loginpanel2->isHidden(); });
    }

    bool signedIn() const {
        return !form->loginpanel2->isHidden() && form->loginpanel1->isHidden() &&
               form->zArqLogin->Timer1().isActive();
    }

    // The watch listens to this machine's kernel; a change made meanwhile by anything else
    // (another test's interfaces, a DHCP renewal) would add a reaction of its own. The events
    // the tests emit themselves do not go through the settle time.
    static void holdKernelChanges(SessionWatch& watch) {
        watch.network().setSettleMs(std::numeric_limits<int>::max());
    }

    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowWatchTest, ANewPublicAddressSignsInAgainAndTheWindowShowsIt) {
    DesktopOptions options;
    const std::unique_ptr<SessionWatch> watch = startDesktopWatch(*form, options);
    ASSERT_NE(watch, nullptr);
    holdKernelChanges(*watch);
    ASSERT_TRUE(signIn());
    ASSERT_EQ(form->IpInfo->text(), QStringLiteral("203.0.113.7"));
    const QByteArray loginKey = form->zArqLogin->state().LoginKey;
    ASSERT_FALSE(loginKey.isEmpty());

    // The machine moved: the echo host now sees it at another address.
    echoReply = Reply::text("198.51.100.4");
    server.requests.clear();
    emit watch->network().changed();
    ASSERT_TRUE(waitFor([&] { return form->IpInfo->text() == QStringLiteral("198.51.100.4"); }));

    const QByteArray newKey = Md5::hex("198.51.100.4" + loginKey);
    ASSERT_NE(newKey, Md5::hex("203.0.113.7" + loginKey));
    // The reaction's own look at the echo host, then the sign-in as it always runs.
    EXPECT_EQ(server.targets(),
              (QList<QByteArray>{"/", "/", "/auth/?domain=alice.dyn.tervan.com&key=" + newKey}));
    EXPECT_EQ(form->zArqLogin->state().PublicIP, "198.51.100.4");
    EXPECT_TRUE(signedIn());
    EXPECT_EQ(form->zArqLogin->state().SessionID, "tok123");
    EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty()) << "the watch asks the user nothing";
}

TEST_F(MainWindowWatchTest, AResumeSendsOneHeartbeatAndTheWindowStaysSignedIn) {
    DesktopOptions options;
    const std::unique_ptr<SessionWatch> watch = startDesktopWatch(*form, options);
    ASSERT_NE(watch, nullptr);
    holdKernelChanges(*watch);
    ASSERT_TRUE(signIn());
    server.requests.clear();

    emit watch->resume().resumed();
    ASSERT_TRUE(waitFor([&] { return server.targets().size() >= 2; }));
    // Whatever else is still queued gets its chance to show before the requests are compared.
    QCoreApplication::processEvents();
    EXPECT_EQ(server.targets(), (QList<QByteArray>{"/", "/online/?session=tok123"}));
    EXPECT_TRUE(signedIn());
    EXPECT_EQ(form->IpInfo->text(), QStringLiteral("203.0.113.7"));
    EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty());
}

TEST_F(MainWindowWatchTest, TheOptionAndTheSavedSwitchDecideWhetherAWatchExists) {
    struct Row {
        const char* what;
        bool option; // false: --no-watch
        int saved;   // the WatchNetwork value; -1: none saved
        bool watching;
    } const rows[] = {
        {"default", true, -1, true},
        {"--no-watch", false, -1, false},
        {"--no-watch with the switch saved on", false, 1, false},
        {"saved off", true, 0, false},
        {"saved on", true, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RegistryStore& registry = form->zArqLogin->registry();
        ASSERT_TRUE(registry.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), true));
        if (row.saved >= 0)
            registry.WriteInteger(QStringLiteral("WatchNetwork"), row.saved);
        else
            registry.DeleteValue(QStringLiteral("WatchNetwork"));
        registry.CloseKey();
        DesktopOptions options;
        options.watch = row.option;
        EXPECT_EQ(startDesktopWatch(*form, options) != nullptr, row.watching);
    }
}

} // namespace
