#include "session/SessionProtocol.h"
#include "ScriptedHttpServer.h"
#include "http/EHttpException.h"
#include "http/THttpClient.h"
#include "session/LoginSettings.h"
#include "session/Md5.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace zarq;
using zarq::test::ScriptedHttpServer;
using Reply = ScriptedHttpServer::Reply;

namespace {

// Stands in for the main window: records every notice it receives, in order.
class NoticeRecorder : public QObject {
public:
    QList<int> numbers;
    QObject* expectedSender = nullptr;
    // Forgets the notices. Not numbers.clear(): Qt 6.4's QList<int>::operator== then compares
    // the emptied list's storage with an empty list's null pointer through memcmp, undefined
    // behaviour that the sanitizer build stops at.
    void forget() { numbers = QList<int>(); }
    bool parametersOk = true;
    std::function<void(int)> onNotice;

protected:
    bool event(QEvent* e) override {
        if (!SessionNotice::isSessionNotice(e))
            return QObject::event(e);
        auto* n = static_cast<SessionNotice*>(e);
        numbers.append(n->number());
        parametersOk = parametersOk && n->wParam() == expectedSender && n->lParam() == 0;
        if (onNotice)
            onNotice(n->number());
        return true;
    }
};

class SessionProtocolTest : public ::testing::Test {
protected:
    SessionProtocolTest()
        : boxes(LoginBoxes::designState(QStringLiteral("dyn.tervan.com"))),
          session(boxes, server.host(), server.host()) {
        boxes.Edit1 = QStringLiteral("alice");
        boxes.PasswordEdit1 = QStringLiteral("secret");
        session.state().MainHandle = &window;
        window.expectedSender = &session;
        session.HttpClient1().setTimeoutMs(3000);
        session.setSignOutTimeoutMs(3000);
        session.GetLanAddress = [this] { return lan; };
        server.handler = [this](const QByteArray& target) -> Reply {
            if (target == "/")
                return echoReply;
            if (target.startsWith("/auth/"))
                return authReply;
            if (target.startsWith("/online/"))
                return heartbeatReply;
            return Reply::text("0");
        };
    }

    // Signs in and delivers every notice that is still queued.
    void signIn() {
        session.gotologin();
        QCoreApplication::sendPostedEvents();
    }
    void tick() {
        session.Timer1Timer();
        QCoreApplication::sendPostedEvents();
    }

    ScriptedHttpServer server;
    LoginBoxes boxes;
    SessionProtocol session;
    NoticeRecorder window;
    QByteArray lan = "192.168.1.20";
    Reply echoReply = Reply::text("203.0.113.9\r\n");
    Reply authReply = Reply::text("0 token42");
    Reply heartbeatReply = Reply::text("0");
};

} // namespace

TEST_F(SessionProtocolTest, SignInSendsExactUnescapedUrlsAndReportsInOrder) {
    boxes.Edit1 = QStringLiteral(" 张 a");
    boxes.PasswordEdit1 = QStringLiteral("密码");
    session.assignUserAgent();
    signIn();
    const QByteArray name = "\x20\xD5\xC5\x20\x61"; // " 张 a" in code page 936
    // Keys computed independently (Python hashlib on the code page 936 bytes): the login key
    // of " 张 a" / "密码", and the MD5 hex of the public address followed by that key.
    EXPECT_EQ(session.state().LoginKey, QByteArray("fcbc7adb9afbf2ed1bbe87a5f5818d1c"));
    ASSERT_EQ(server.requests.size(), 2);
    EXPECT_EQ(server.requests[0].target, QByteArray("/"));
    EXPECT_EQ(server.requests[1].target,
              "/auth/?domain=" + name + ".dyn.tervan.com&key=0ffbbcae4115b56d45bb19933668d8f4");
    for (const auto& r : server.requests) {
        EXPECT_TRUE(r.head.contains("\r\nUser-Agent:  TERVAN ZARQ Client 1.01\r\n"))
            << r.head.constData();
        EXPECT_TRUE((r.head + "\r\n").contains("\r\nPragma: no-cache\r\n")) << r.head.constData();
    }
    EXPECT_EQ(window.numbers, (QList<int>{WM_LOGIN_BEGIN, WM_IP_INFO, WM_LOGIN_OK}));
    EXPECT_TRUE(window.parametersOk);
    EXPECT_EQ(session.state().FullDomain, name + ".dyn.tervan.com");
    EXPECT_EQ(session.state().LanDomain, name + ".in.dyn.tervan.com");
    EXPECT_EQ(session.state().PublicIP, QByteArray("203.0.113.9"));
    EXPECT_EQ(session.state().LanIP, lan);
    EXPECT_EQ(session.state().SessionID, QByteArray("token42"));
    EXPECT_TRUE(session.Timer1().isActive());
    EXPECT_EQ(session.Timer1().interval(), SessionProtocol::kHeartbeatMs);
}

TEST_F(SessionProtocolTest, DesignAgentUntilTheUserAgentIsAssigned) {
    signIn();
    ASSERT_FALSE(server.requests.isEmpty());
    EXPECT_TRUE(server.requests[0].head.contains(
        "\r\nUser-Agent: Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)\r\n"));
    session.GetBrowserUserAgent = [] { return QByteArray("Mozilla/5.0 (X11; Linux x86_64)"); };
    session.assignUserAgent();
    EXPECT_EQ(session.state().UserAgent,
              QByteArray("Mozilla/5.0 (X11; Linux x86_64) TERVAN ZARQ Client 1.01"));
}

TEST_F(SessionProtocolTest, InipAtSignIn) {
    struct Case {
        bool lanOption;
        QByteArray lanAddress;
        bool sent;
    };
    const Case cases[] = {{true, "192.168.1.20", true},
                          {true, "10.0.0.1|10.0.0.2", true},
                          {true, "", false},
                          {false, "192.168.1.20", false}};
    // alice / secret: MD5 hex of "203.0.113.9" and the login key, computed with Python hashlib.
    const QByteArray signIn1 =
        "/auth/?domain=alice.dyn.tervan.com&key=27a2dd12200ddf1a84e95e4014116161";
    for (const Case& c : cases) {
        server.requests.clear();
        boxes.Checkbox3 = c.lanOption;
        lan = c.lanAddress;
        signIn();
        ASSERT_EQ(server.requests.size(), 2);
        const QByteArray auth = server.requests[1].target;
        EXPECT_EQ(auth, c.sent ? signIn1 + "&inip=" + c.lanAddress : signIn1);
        EXPECT_EQ(session.state().LanIP, c.lanAddress); // read whatever the option
    }
}

TEST_F(SessionProtocolTest, PublicAddressReplies) {
    struct Case {
        Reply reply;
        bool accepted;
        QByteArray publicIp;
    };
    const Case cases[] = {
        {Reply::text("1.2.3.4\r\n"), true, "1.2.3.4"},
        {Reply::text("  10.0.0.1 \t"), true, "10.0.0.1"},
        {Reply::text("10.1"), true, "10.1"}, // a short form inet_addr accepts
        {Reply::text("255.255.255.255"), false, ""},
        {Reply::text(""), false, ""},
        {Reply::text("<html><body>hello</body></html>"), false, ""},
        {Reply::text("1.2.3.256"), false, ""},
        {Reply::text(QByteArray("1.2.3.4\0x", 9)), false, ""},
        {Reply::close(), false, ""},
        {Reply{Reply::Body, "1.2.3.4", 500}, false, ""},
    };
    for (const Case& c : cases) {
        window.forget();
        server.requests.clear();
        session.state().PublicIP = "0.0.0.0";
        echoReply = c.reply;
        signIn();
        EXPECT_EQ(session.state().PublicIP, c.publicIp) << c.reply.body.constData();
        if (c.accepted) {
            EXPECT_EQ(window.numbers, (QList<int>{WM_LOGIN_BEGIN, WM_IP_INFO, WM_LOGIN_OK}));
        } else {
            EXPECT_EQ(window.numbers, (QList<int>{WM_LOGIN_BEGIN, WM_NET_ERROR}))
                << c.reply.body.constData();
            EXPECT_EQ(server.requests.size(), 1); // no sign-in request follows
        }
    }
}

TEST_F(SessionProtocolTest, SignInReplies) {
    struct Case {
        Reply reply;
        QList<int> after; // notices after 1030, 1032
        QByteArray sessionId;
        bool publicIpKept;
        bool heartbeat;
    };
    const Case cases[] = {
        {Reply::text("0"), {WM_LOGIN_OK}, "", true, true},
        {Reply::text("0x"), {WM_LOGIN_OK}, "", true, true},
        {Reply::text("0|abc\r\n"), {WM_LOGIN_OK}, "abc", true, true},
        {Reply::text("  1\r\n"), {WM_LOGIN_FAILED}, "", true, false},
        {Reply::text("1 anything"), {WM_LOGIN_FAILED}, "", true, false},
        {Reply::text("2"), {WM_NET_ERROR}, "", true, false},
        {Reply::text("abc"), {}, "", true, false},
        {Reply::text(" \r\n"), {WM_NET_ERROR}, "", false, false},
        {Reply::close(), {WM_NET_ERROR}, "", false, false},
        {Reply{Reply::Body, "0 tok", 404}, {WM_NET_ERROR}, "", false, false},
    };
    for (const Case& c : cases) {
        window.forget();
        session.Timer1().stop();
        session.state().SessionID = "stale";
        authReply = c.reply;
        signIn();
        QList<int> expected{WM_LOGIN_BEGIN, WM_IP_INFO};
        expected += c.after;
        EXPECT_EQ(window.numbers, expected) << c.reply.body.constData();
        EXPECT_EQ(session.state().SessionID, c.sessionId) << c.reply.body.constData();
        EXPECT_EQ(session.state().PublicIP.isEmpty(), !c.publicIpKept) << c.reply.body.constData();
        EXPECT_EQ(session.Timer1().isActive(), c.heartbeat) << c.reply.body.constData();
    }
}

TEST_F(SessionProtocolTest, HeartbeatReplies) {
    struct Case {
        Reply reply;
        QList<int> notices;
        bool heartbeatOn;
    };
    const Case cases[] = {
        {Reply::text("0"), {}, true},
        {Reply::text("10"), {}, true},
        {Reply::text("1 more"), {}, true},
        {Reply::text(""), {}, true},
        {Reply::close(), {}, true}, // a close without reply is an empty reply, not a failure
        {Reply::text(" 2 \r\n"), {WM_LOGIN_ELSEWHERE}, false},
        {Reply::text("2"), {WM_LOGIN_ELSEWHERE}, false},
        {Reply::stall(), {WM_NET_ERROR}, false}, // inactivity limit
        {Reply{Reply::Body, "0", 503}, {WM_NET_ERROR}, false},
    };
    for (const Case& c : cases) {
        signIn();
        ASSERT_TRUE(session.Timer1().isActive());
        window.forget();
        server.requests.clear();
        heartbeatReply = c.reply;
        tick();
        ASSERT_EQ(server.requests.size(), 1);
        EXPECT_EQ(server.requests[0].target, QByteArray("/online/?session=token42"));
        EXPECT_EQ(window.numbers, c.notices) << c.reply.body.constData();
        EXPECT_EQ(session.Timer1().isActive(), c.heartbeatOn) << c.reply.body.constData();
    }
}

TEST_F(SessionProtocolTest, HeartbeatOneRunsAFullSignInWhileSignedIn) {
    signIn();
    window.forget();
    server.requests.clear();
    heartbeatReply = Reply::text("1");
    authReply = Reply::text("1");
    tick();
    EXPECT_EQ(server.targets().size(), 3);
    EXPECT_EQ(server.targets()[1], QByteArray("/"));
    EXPECT_EQ(window.numbers, (QList<int>{WM_LOGIN_BEGIN, WM_IP_INFO, WM_LOGIN_FAILED}));
    EXPECT_FALSE(session.Timer1().isActive());
    EXPECT_TRUE(session.state().SessionID.isEmpty());
}

TEST_F(SessionProtocolTest, HeartbeatSendsInipOnlyWhenTheLanAddressChanged) {
    boxes.Checkbox3 = true;
    signIn();
    struct Step {
        QByteArray lan;
        QByteArray target;
        bool ipInfo;
    };
    const Step steps[] = {
        {"192.168.1.20", "/online/?session=token42", false},
        {"", "/online/?session=token42&inip=", true},
        {"", "/online/?session=token42", false},
        {"10.0.0.7", "/online/?session=token42&inip=10.0.0.7", true},
    };
    for (const Step& s : steps) {
        server.requests.clear();
        window.forget();
        lan = s.lan;
        tick();
        ASSERT_EQ(server.requests.size(), 1);
        EXPECT_EQ(server.requests[0].target, s.target);
        EXPECT_EQ(window.numbers, s.ipInfo ? QList<int>{WM_IP_INFO} : QList<int>{});
        EXPECT_EQ(session.state().LanIP, s.lan);
    }
    // With the option off the address is still read but never sent.
    boxes.Checkbox3 = false;
    server.requests.clear();
    lan = "172.16.0.1";
    tick();
    EXPECT_EQ(server.requests[0].target, QByteArray("/online/?session=token42"));
    EXPECT_EQ(session.state().LanIP, QByteArray("10.0.0.7"));
}

TEST_F(SessionProtocolTest, FailedHeartbeatStopsItAndTheNextSignInRestartsTheFullPeriod) {
    session.setHeartbeatInterval(150);
    signIn();
    // The timer really ticks: the server sees heartbeats.
    ASSERT_TRUE(waitFor([&] { return server.targets().contains("/online/?session=token42"); }));
    heartbeatReply = Reply{Reply::Body, "0", 500};
    ASSERT_TRUE(waitFor([&] { return !session.Timer1().isActive(); }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.numbers.last(), WM_NET_ERROR);
    window.forget();
    heartbeatReply = Reply::text("0");
    signIn();
    EXPECT_EQ(window.numbers, (QList<int>{WM_LOGIN_BEGIN, WM_IP_INFO, WM_LOGIN_OK}));
    EXPECT_TRUE(session.Timer1().isActive());
    EXPECT_EQ(session.Timer1().interval(), 150);
    const auto before = server.requests.size();
    ASSERT_TRUE(waitFor([&] { return server.requests.size() > before; }));
    session.Timer1().stop();
}

TEST_F(SessionProtocolTest, SignOutUsesAFreshClientWithTheSessionsAgent) {
    session.assignUserAgent();
    signIn();
    server.requests.clear();
    session.gotologout();
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].target, QByteArray("/logout/?session=token42"));
    EXPECT_TRUE(server.requests[0].head.contains("\r\nUser-Agent:  TERVAN ZARQ Client 1.01\r\n"));
    EXPECT_TRUE((server.requests[0].head + "\r\n").contains("\r\nPragma: no-cache\r\n"));
    EXPECT_FALSE(session.Timer1().isActive());
    EXPECT_EQ(session.state().SessionID, QByteArray("token42")); // left as it was
}

TEST_F(SessionProtocolTest, SignOutWithoutSignInSendsAnEmptyToken) {
    session.gotologout();
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].target, QByteArray("/logout/?session="));
}

TEST_F(SessionProtocolTest, FailedSignOutReachesTheCaller) {
    signIn();
    ASSERT_TRUE(session.Timer1().isActive());
    // A service that refuses the connection: a port that was just free.
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
    const QByteArray closedHost = "127.0.0.1:" + QByteArray::number(gone.serverPort());
    gone.close();
    SessionProtocol offline(boxes, server.host(), closedHost);
    offline.state().MainHandle = &window;
    offline.Timer1().start(100000);
    EXPECT_THROW(offline.gotologout(), EHttpException);
    EXPECT_FALSE(offline.Timer1().isActive());
    // A reply with an error status is a failure too.
    server.handler = [](const QByteArray&) { return Reply{Reply::Body, "", 500}; };
    EXPECT_THROW(session.gotologout(), EHttpException);
    EXPECT_FALSE(session.Timer1().isActive());
}

TEST_F(SessionProtocolTest, NoticesArePostedNotSent) {
    // The 1030 is queued: it reaches the window only from the event loop, which gotologin
    // runs before its first request.
    bool beginSeenBeforeEcho = false;
    server.handler = [&](const QByteArray& target) {
        if (target == "/")
            beginSeenBeforeEcho = window.numbers.contains(WM_LOGIN_BEGIN);
        return Reply::text(target == "/" ? "1.2.3.4" : "0 t");
    };
    window.onNotice = [&](int n) { EXPECT_TRUE(n != WM_LOGIN_BEGIN || session.isBusy()); };
    session.gotologin();
    EXPECT_TRUE(beginSeenBeforeEcho);
    EXPECT_FALSE(window.numbers.contains(WM_LOGIN_OK)); // still queued
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(window.numbers.contains(WM_LOGIN_OK));
}
