// The headless front's part of the reaction to network changes: a sign-in waiting out its
// backoff after a network error is tried at once, and its backoff starts again.
#include "../session/ScriptedHttpServer.h"
#include "app/HeadlessFront.h"
#include "platform/RegistryStore.h"
#include "session/LoginSettings.h"
#include "support/WaitFor.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using namespace zarq;
using zarq::test::ScriptedHttpServer;
using Reply = ScriptedHttpServer::Reply;

namespace {

class HeadlessWatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // No machine bus: the resume watcher stays off.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zarq-test");
        LoginBoxes boxes = LoginBoxes::designState(QStringLiteral("dyn.tervan.com"));
        boxes.Edit1 = QStringLiteral("alice");
        boxes.PasswordEdit1 = QStringLiteral("secret");
        boxes.CheckBox1 = true;
        boxes.CheckBox2 = true;
        RegistryStore registry(m_settings);
        LoginSettings::savesetting(registry, boxes, QByteArray());
    }

    HeadlessFront::Options options() {
        HeadlessFront::Options o;
        o.config.echoHost = server.host();
        o.config.apiHost = server.host();
        o.settingsPath = m_settings;
        o.firstRetryMs = 600000; // never waited out in the test
        o.maxRetryMs = 3000000;
        o.autoLoginDelayMs = 1;
        return o;
    }

    QTemporaryDir m_dir;
    QString m_settings = m_dir.filePath(QStringLiteral("zarq.reg"));
    ScriptedHttpServer server;
    bool up = false;
};

TEST_F(HeadlessWatch, ANetworkChangeEndsTheWaitForTheNextTry) {
    server.handler = [this](const QByteArray& target) -> Reply {
        if (!up)
            return Reply::close();
        return Reply::text(target == "/" ? "203.0.113.9" : "0 token42");
    };
    FILE* log = std::tmpfile();
    HeadlessFront front(options(), log);
    ASSERT_TRUE(front.start());
    ASSERT_NE(front.watch(), nullptr);
    // One failed try: the next wait has doubled.
    ASSERT_TRUE(waitFor([&] { return front.retryPending(); }));
    EXPECT_EQ(front.nextRetryMs(), 1200000);

    // A change while the service is still unreachable: tried at once, and the wait after that
    // failure is the first step again (without the restart it would be 1200000, next 2400000).
    front.watch()->reaction().networkChanged();
    ASSERT_TRUE(waitFor([&] { return server.targets().size() == 2 && front.retryPending(); }));
    EXPECT_EQ(front.nextRetryMs(), 1200000);

    up = true;
    front.watch()->reaction().networkChanged();
    ASSERT_TRUE(waitFor([&] { return front.session().Timer1().isActive(); }));
    EXPECT_FALSE(front.retryPending());
    EXPECT_EQ(front.nextRetryMs(), 600000);
    EXPECT_EQ(server.targets().mid(2),
              (QList<QByteArray>{"/", "/auth/?domain=alice.dyn.tervan.com&key="
                                      "27a2dd12200ddf1a84e95e4014116161"}));
    std::fclose(log);
}

TEST_F(HeadlessWatch, NoWatchStartsNoWatcher) {
    HeadlessFront::Options o = options();
    o.watch = false;
    FILE* log = std::tmpfile();
    HeadlessFront front(o, log);
    ASSERT_TRUE(front.start());
    EXPECT_EQ(front.watch(), nullptr);
    std::fclose(log);
}

TEST_F(HeadlessWatch, TheSavedSwitchTurnsWatchingOff) {
    struct Case {
        const char* what;
        std::optional<qint32> value;
        bool watching;
    };
    const Case cases[] = {{"no value", std::nullopt, true}, {"0", 0, false}, {"1", 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryStore registry(m_settings);
        ASSERT_TRUE(registry.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), true));
        if (c.value)
            registry.WriteInteger(QStringLiteral("WatchNetwork"), *c.value);
        else
            registry.DeleteValue(QStringLiteral("WatchNetwork"));
        registry.CloseKey();
        FILE* log = std::tmpfile();
        HeadlessFront front(options(), log);
        ASSERT_TRUE(front.start());
        EXPECT_EQ(front.watch() != nullptr, c.watching);
        // The login was read as saved either way.
        EXPECT_EQ(front.boxes().Edit1, QStringLiteral("alice"));
        std::fclose(log);
    }
}

} // namespace
