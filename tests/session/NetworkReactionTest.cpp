// What the session does when the network changed or the machine woke up, against a scripted
// service: which requests go out, in which order, and what the heartbeat timer does.
#include "session/NetworkReaction.h"
#include "ScriptedHttpServer.h"
#include "http/THttpClient.h"
#include "session/SessionNotice.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zarq;
using zarq::test::ScriptedHttpServer;
using Reply = ScriptedHttpServer::Reply;

namespace {

// The main window's stand-in: takes the notices and does nothing with them.
class NoticeSink : public QObject {
protected:
    bool event(QEvent* e) override {
        return SessionNotice::isSessionNotice(e) || QObject::event(e);
    }
};

// Delivers everything queued (notices, the reaction's kept event) until nothing is left.
void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::sendPostedEvents();
}

class NetworkReactionTest : public ::testing::Test {
protected:
    NetworkReactionTest()
        : boxes(LoginBoxes::designState(QStringLiteral("dyn.tervan.com"))),
          session(boxes, server.host(), server.host()), reaction(session) {
        boxes.Edit1 = QStringLiteral("alice");
        boxes.PasswordEdit1 = QStringLiteral("secret");
        session.state().MainHandle = &sink;
        session.HttpClient1().setTimeoutMs(3000);
        session.setHeartbeatInterval(3600000); // never fires during a test
        session.GetLanAddress = [this] { return lan; };
        reaction.whenIdle = [this] { ++idleCalls; };
        server.handler = [this](const QByteArray& target) -> Reply {
            if (target == "/")
                return Reply::text(echo);
            if (target.startsWith("/auth/"))
                return Reply::text("0 token42");
            if (target.startsWith("/online/"))
                return Reply::text(heartbeat);
            return Reply::text("0");
        };
    }

    void signIn() {
        session.gotologin();
        settle();
        ASSERT_TRUE(reaction.signedIn());
        server.requests.clear();
    }

    ScriptedHttpServer server;
    LoginBoxes boxes;
    SessionProtocol session;
    NoticeSink sink;
    NetworkReaction reaction;
    QByteArray lan = "192.168.1.20";
    QByteArray echo = "203.0.113.9";
    QByteArray heartbeat = "0";
    int idleCalls = 0;
};

TEST_F(NetworkReactionTest, SignedInEventsAskTheEchoHostThenDoWhatTheChangeNeeds) {
    struct Case {
        const char* what;
        bool lanOption;
        QByteArray newLan;
        QByteArray newEcho;
        bool resume;
        QByteArray heartbeatReply;
        QList<QByteArray> targets; // a trailing '*' matches any rest
    };
    const Case cases[] = {
        {"nothing that matters changed", true, "192.168.1.20", "203.0.113.9", false, "0", {"/"}},
        {"LAN address changed, option on",
         true,
         "10.1.2.3",
         "203.0.113.9",
         false,
         "0",
         {"/", "/online/?session=token42&inip=10.1.2.3"}},
        {"LAN address changed, option off", false, "10.1.2.3", "203.0.113.9", false, "0", {"/"}},
        {"resume, nothing changed",
         false,
         "192.168.1.20",
         "203.0.113.9",
         true,
         "0",
         {"/", "/online/?session=token42"}},
        {"public address moved",
         true,
         "192.168.1.20",
         "198.51.100.7",
         false,
         "0",
         {"/", "/", "/auth/?domain=alice.dyn.tervan.com&key=*"}},
        {"resume answered session unknown",
         false,
         "192.168.1.20",
         "203.0.113.9",
         true,
         "1",
         {"/", "/online/?session=token42", "/", "/auth/?domain=alice.dyn.tervan.com&key=*"}},
        {"echo host answers no address", true, "10.1.2.3", "not an address", true, "0", {"/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.Checkbox3 = c.lanOption;
        lan = "192.168.1.20";
        echo = "203.0.113.9";
        heartbeat = c.heartbeatReply;
        signIn();
        lan = c.newLan;
        echo = c.newEcho;
        session.Timer1().start(1800000); // half of the period is left
        c.resume ? reaction.resumed() : reaction.networkChanged();
        settle();
        const QList<QByteArray> got = server.targets();
        ASSERT_EQ(got.size(), c.targets.size()) << got.join(' ').constData();
        for (int i = 0; i < got.size(); ++i) {
            const QByteArray& want = c.targets[i];
            if (want.endsWith('*')) {
                EXPECT_TRUE(got[i].startsWith(want.chopped(1))) << got[i].constData();
            } else {
                EXPECT_EQ(got[i], want);
            }
        }
        if (c.newEcho == "198.51.100.7") {
            EXPECT_EQ(session.state().PublicIP, QByteArray("198.51.100.7"));
        }
        // Still signed in; a request sent now starts a full period, otherwise the period runs
        // on as it was.
        EXPECT_TRUE(reaction.signedIn());
        EXPECT_EQ(session.Timer1().interval(), c.targets.size() > 1 ? 3600000 : 1800000);
        EXPECT_EQ(idleCalls, 0);
    }
}

TEST_F(NetworkReactionTest, ANewPublicAddressSignsInWithTheKeyOfThatAddress) {
    boxes.Checkbox3 = true;
    signIn();
    echo = "198.51.100.7";
    reaction.networkChanged();
    settle();
    // The reaction's question, then the sign-in with its own.
    ASSERT_EQ(server.targets().size(), 3) << server.targets().join(" ").constData();
    // MD5 hex of "198.51.100.7" followed by alice's login key, computed with Python hashlib.
    EXPECT_EQ(server.targets()[2], QByteArray("/auth/?domain=alice.dyn.tervan.com&key=") +
                                       "5498ad322bf08898f04d198d6bb6b263" + "&inip=192.168.1.20");
}

TEST_F(NetworkReactionTest, NotSignedInLeavesItToTheFront) {
    reaction.networkChanged();
    reaction.resumed();
    settle();
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_EQ(idleCalls, 2);
}

TEST_F(NetworkReactionTest, EventsDuringARequestAreActedOnOnceWhenItEnds) {
    boxes.Checkbox3 = true;
    signIn();
    // Three events while the heartbeat's request is under way: none nests a request, and one
    // reaction follows its end.
    bool first = true;
    server.handler = [this, &first, previous = server.handler](const QByteArray& target) {
        if (target.startsWith("/online/") && first) {
            first = false;
            reaction.networkChanged();
            reaction.resumed();
            reaction.networkChanged();
        }
        return previous(target);
    };
    session.Timer1Timer();
    EXPECT_EQ(server.targets(), (QList<QByteArray>{"/online/?session=token42"}));
    settle();
    // The kept events included a resume: one echo request and one heartbeat.
    EXPECT_EQ(server.targets(),
              (QList<QByteArray>{"/online/?session=token42", "/", "/online/?session=token42"}));
}

TEST_F(NetworkReactionTest, TheHeartbeatWaitsForTheEchoRequestAndKeepsItsPeriod) {
    signIn();
    // A heartbeat due while the reaction's echo request hangs must not run into the busy
    // client (that would count as a network error); it follows once the request has ended.
    QList<int> notices;
    class Recorder : public QObject {
    public:
        explicit Recorder(QList<int>& seen) : m_seen(seen) {}
        bool event(QEvent* e) override {
            if (SessionNotice::isSessionNotice(e)) {
                m_seen.append(int(e->type()));
                return true;
            }
            return QObject::event(e);
        }
        QList<int>& m_seen;
    } recorder(notices);
    session.state().MainHandle = &recorder;
    session.HttpClient1().setTimeoutMs(400);
    // The echo request ends on that short limit. The heartbeat after it gets a long one: a
    // loaded machine may answer it later than 400 ms, which must not read as a network error.
    session.HttpClient1().OnStateChange = [](THttpClient& c) {
        if (c.State() == httpAborting)
            c.setTimeoutMs(20000);
    };
    server.handler = [previous = server.handler](const QByteArray& target) {
        return target == "/" ? Reply::stall() : previous(target);
    };
    session.Timer1().start(60);
    // Several ticks fall due while the echo request hangs. Before it ends the period becomes
    // long, so no tick of the test's short period can land inside the heartbeat's own request
    // (a slow machine would make that overlap, which the real five minutes never do). Both
    // timers run in the same loop, so this one fires before the client's time limit.
    constexpr int kLong = 1800000;
    QTimer::singleShot(250, [this] { session.Timer1().setInterval(kLong); });
    reaction.networkChanged();
    settle();
    // The ticks held back during the request give one heartbeat right after it, and the timer
    // runs on with the period it had.
    EXPECT_EQ(server.targets(), (QList<QByteArray>{"/", "/online/?session=token42"}));
    EXPECT_FALSE(notices.contains(int(WM_NET_ERROR)));
    EXPECT_TRUE(session.Timer1().isActive());
    EXPECT_EQ(session.Timer1().interval(), kLong);
}

TEST_F(NetworkReactionTest, NothingStartsWhileTheFrontIsStopping) {
    signIn();
    reaction.mayAct = [] { return false; };
    reaction.resumed();
    settle();
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_EQ(idleCalls, 0);
}

} // namespace
