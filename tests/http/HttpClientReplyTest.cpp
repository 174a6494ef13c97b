// Replies of every kind from a scripted server, read by the session client.
#include "HttpClientSupport.h"
#include "ScriptedServer.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

struct ReplyCase {
    const char* name;
    QList<ServerScript> scripts;
    int status;
    QByteArray body;
    quint16 raises = 0; // ErrCode expected, 0 when Get returns
    QByteArray message = {};
    int connections = 1;
    int docBegins = -1; // -1: not checked
};

const QByteArray kHello = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

ServerScript replyAndStall(const QByteArray& reply) {
    return {ServerStep::read(), ServerStep::send(reply)};
}

ServerScript relocate(const QByteArray& to, const QByteArray& body) {
    return replyAndStall("HTTP/1.0 302 Found\r\nLocation: " + to + "\r\nContent-Length: " +
                         QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

const ReplyCase kReplyCases[] = {
    // The client closes a 1.0 connection itself once the declared length is in.
    {"DeclaredLength", {replyAndStall(kHello)}, 200, "hello"},
    {"DeclaredLengthExtraBytesIgnored",
     {replyAndStall("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA")},
     200,
     "ok"},
    {"HeaderNamesIgnoreCase",
     {replyAndStall("HTTP/1.0 200 OK\r\nCONTENT-length:    3\r\nX-Other: 1\r\n\r\nabcdef")},
     200,
     "abc"},
    {"UntilClose", {Reply("HTTP/1.0 200 OK\r\n\r\nhello\r\nworld\r\n")}, 200, "hello\r\nworld\r\n"},
    {"BadContentLengthMeansUntilClose",
     {Reply("HTTP/1.0 200 OK\r\nContent-Length: abc\r\n\r\nall of it")},
     200,
     "all of it"},
    {"SpaceBeforeColonIsNotTheHeader",
     {Reply("HTTP/1.0 200 OK\r\nContent-Length : 2\r\n\r\nall of it")},
     200,
     "all of it"},
    {"ZeroLengthEndsAtEmptyLine",
     {replyAndStall("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")},
     200,
     "",
     0,
     {},
     1,
     0},
    {"Chunked",
     {replyAndStall(
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n")},
     200,
     "hello"},
    {"ChunkedWithExtensionAndHexSize",
     {replyAndStall("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n"
                    "A;x=y\r\n0123456789\r\n3\r\nabc\r\n0\r\n\r\n")},
     200,
     "0123456789abc"},
    {"ChunkedTrickled",
     {ServerScript{ServerStep::read()} +
      Trickle("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 2)},
     200,
     "abc"},
    {"HtmlFirstLine", {Reply("<HTML>\r\n<body>hi</body>")}, 0, "<body>hi</body>"},
    {"DoctypeFirstLine", {Reply("<!doctype html>\r\n<p>x</p>")}, 0, "<p>x</p>"},
    {"Interim100Skipped",
     {replyAndStall("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")},
     200,
     "ok"},
    {"ImmediateClose", {{ServerStep::read(), ServerStep::close()}}, 0, "", 0, {}, 1, 0},
    {"NotHttpFirstLine", {Reply("garbage here\r\nmore\r\n\r\n")}, 0, ""},
    {"Status404KeepsErrorPage",
     {replyAndStall("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nerrorpage")},
     404,
     "errorpage",
     404,
     "Not Found"},
    {"Status500EmptyText",
     {replyAndStall("HTTP/1.1 500\r\nContent-Length: 0\r\n\r\n")},
     500,
     "",
     500,
     ""},
    {"Status401Returns",
     {replyAndStall("HTTP/1.0 401 Unauthorized\r\nContent-Length: 2\r\n\r\nno")},
     401,
     "no"},
    {"Status204NoBody", {replyAndStall("HTTP/1.0 204 No Content\r\n\r\n")}, 204, ""},
    {"RelocationKeepsOnlyFinalBody",
     {relocate("/new", "moved"), replyAndStall(kHello)},
     200,
     "hello",
     0,
     {},
     2},
    {"RelocationWithoutBodyStartsAtEmptyLine",
     {replyAndStall("HTTP/1.0 302 Found\r\nLocation: /new\r\n\r\n"), replyAndStall(kHello)},
     200,
     "hello",
     0,
     {},
     2},
    {"RelocationRelativeValue",
     {relocate("other.htm", "x"), replyAndStall(kHello)},
     200,
     "hello",
     0,
     {},
     2},
    {"ThirdRelocationReturned",
     {relocate("/a", "one"), relocate("/b", "two"), relocate("/c", "three"), replyAndStall(kHello)},
     302,
     "three",
     0,
     {},
     3},
    // The relocation's body runs until its connection closes: the next reply's declared
    // length counts from nothing.
    {"RelocationBodyUntilCloseThenDeclaredLength",
     {Reply("HTTP/1.0 302 Found\r\nLocation: /new\r\n\r\nmoved away"), replyAndStall(kHello)},
     200,
     "hello",
     0,
     {},
     2},
    {"RelocationsUntilCloseCountOnce",
     {Reply("HTTP/1.0 303 See Other\r\nLocation: /r\r\n\r\nbody")},
     303,
     "body",
     0,
     {},
     6},
};

class ReplyKinds : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyKinds, GiveStatusBodyAndOutcome) {
    const ReplyCase& c = GetParam();
    ScriptedServer server(c.scripts);
    SessionClient s;
    s.client.setTimeoutMs(20000);
    int docBegins = 0;
    s.client.OnDocBegin = [&](THttpClient&) { ++docBegins; };
    s.client.setURL(server.url("/dir/doc?x=1"));
    if (c.raises) {
        try {
            s.client.Get();
            ADD_FAILURE() << "Get returned";
        } catch (const EHttpException& e) {
            EXPECT_EQ(e.ErrCode(), c.raises);
            EXPECT_EQ(e.message(), c.message);
        }
    } else {
        EXPECT_NO_THROW(s.client.Get());
    }
    EXPECT_EQ(s.client.StatusCode(), c.status);
    EXPECT_EQ(s.bodyBytes(), c.body);
    EXPECT_EQ(s.body.pos(), c.body.size());
    EXPECT_EQ(server.connectionCount(), c.connections);
    EXPECT_EQ(s.client.State(), httpReady);
    if (c.docBegins >= 0) {
        EXPECT_EQ(docBegins, c.docBegins);
    }
}

INSTANTIATE_TEST_SUITE_P(http, ReplyKinds, testing::ValuesIn(kReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(httpRelocation, FollowsToTheNewPathOnANewConnection) {
    ScriptedServer server({relocate("/new?q=1", "moved"), replyAndStall(kHello)});
    SessionClient s;
    s.client.setURL(server.url("/old"));
    s.client.Get();
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_TRUE(server.requests()[0].startsWith("GET /old HTTP/1.0\r\n"));
    EXPECT_TRUE(server.requests()[1].startsWith("GET /new?q=1 HTTP/1.0\r\n"));
    EXPECT_EQ(s.client.RelocationURL(), server.url("/new?q=1"));
    EXPECT_EQ(s.client.LocationChangeCurCount(), 2);
}

TEST(httpRelocation, AbsoluteValueGoesToTheOtherServerAndNamesItsPort) {
    ScriptedServer second({replyAndStall(kHello)});
    ScriptedServer first({replyAndStall(
        "HTTP/1.0 301 Moved\r\nLocation: " + second.url("/there?a=1") + "\r\n\r\n")});
    SessionClient s;
    s.client.setURL(first.url("/here"));
    s.client.Get();
    EXPECT_EQ(s.client.StatusCode(), 200);
    EXPECT_EQ(s.bodyBytes(), "hello");
    ASSERT_EQ(second.requests().size(), 1);
    EXPECT_TRUE(second.requests()[0].startsWith("GET /there?a=1 HTTP/1.0\r\n"));
    EXPECT_TRUE(second.requests()[0].contains(
        "\r\nHost: 127.0.0.1:" + QByteArray::number(second.port()) + "\r\n"))
        << second.requests()[0].constData();
    EXPECT_EQ(s.client.RelocationURL(), second.url("/there?a=1"));
}

TEST(httpRelocation, NotFollowedWhenSwitchedOff) {
    ScriptedServer server({relocate("/new", "moved"), replyAndStall(kHello)});
    SessionClient s;
    s.client.setFollowRelocation(false);
    s.client.setURL(server.url("/old"));
    s.client.Get();
    EXPECT_EQ(s.client.StatusCode(), 302);
    EXPECT_EQ(s.bodyBytes(), "moved");
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST(httpReply, StreamThatHeldDataKeepsItAcrossARelocation) {
    ScriptedServer server({relocate("/new", "moved"), replyAndStall(kHello)});
    SessionClient s;
    s.body.write("earlier:");
    s.client.setURL(server.url("/old"));
    s.client.Get();
    EXPECT_EQ(s.bodyBytes(), "earlier:hello");
}

TEST(httpReply, HeadersAndDetailsAreReadable) {
    ScriptedServer server({replyAndStall("HTTP/1.1 200 Fine Thanks\r\nContent-Type: Text/HTML\r\n"
                                         "Set-Cookie: a=b\r\nContent-Length: 2\r\n\r\nok")});
    SessionClient s;
    QList<QByteArray> cookies;
    s.client.OnCookie = [&](THttpClient&, const QByteArray& v, bool&) { cookies.append(v); };
    s.client.setURL(server.url("/setup.exe"));
    s.client.Get();
    EXPECT_EQ(s.client.StatusText(), "Fine Thanks");
    EXPECT_EQ(s.client.ReplyVersion(), "1.1");
    EXPECT_EQ(s.client.ReplyContentType(), "text/html");
    EXPECT_EQ(s.client.ContentSize(), 2);
    EXPECT_EQ(s.client.ReceivedCount(), 2);
    EXPECT_EQ(s.client.DocumentName(), "setup.htm");
    EXPECT_EQ(cookies, QList<QByteArray>{"a=b"});
    EXPECT_EQ(s.client.ReplyHeaders(),
              (QList<QByteArray>{"HTTP/1.1 200 Fine Thanks", "Content-Type: Text/HTML",
                                 "Set-Cookie: a=b", "Content-Length: 2"}));
}

TEST(httpReply, HeaderCapHoldsForEachReplyOfARelocation) {
    const QByteArray pad =
        "X-Pad: " + QByteArray(THttpClient::kMaxHeaderBytes * 6 / 10, 'p') + "\r\n";
    ScriptedServer server(
        {replyAndStall("HTTP/1.0 302 Found\r\nLocation: /b\r\n" + pad + "\r\n"),
         replyAndStall("HTTP/1.0 200 OK\r\n" + pad + "Content-Length: 5\r\n\r\nhello")});
    SessionClient s;
    s.client.setTimeoutMs(20000);
    s.client.setURL(server.url("/a"));
    EXPECT_NO_THROW(s.client.Get());
    EXPECT_EQ(s.client.StatusCode(), 200);
    EXPECT_EQ(s.bodyBytes(), "hello");
}

TEST(httpReply, ClientWithoutStreamReadsAndDropsTheBody) {
    ScriptedServer server({replyAndStall(kHello)});
    THttpClient signOut;
    signOut.setAgent("A");
    signOut.setNoCache(true);
    signOut.setURL(server.url("/logout/?session=1"));
    EXPECT_NO_THROW(signOut.Get());
    EXPECT_EQ(signOut.StatusCode(), 200);
    EXPECT_EQ(signOut.ReceivedCount(), 5);
}

TEST(httpReply, SuccessiveGetsOnOneClient) {
    ScriptedServer server({replyAndStall("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n1"),
                           Reply("HTTP/1.0 200 OK\r\n\r\n2"),
                           replyAndStall("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n3")});
    SessionClient s;
    s.client.setURL(server.url("/"));
    for (const char* want : {"1", "2", "3"}) {
        s.body.buffer().clear();
        s.body.seek(0);
        s.client.Get();
        EXPECT_EQ(s.bodyBytes(), want);
    }
    EXPECT_EQ(server.connectionCount(), 3);
}

// A body limit holds for every way a body can end: a body of the limit is taken whole, one byte
// more fails the request at once, also when the server would go on for ever.
TEST(httpReply, BodyLimitHoldsForEveryKindOfBody) {
    constexpr qint64 kLimit = 16;
    const QByteArray exact(kLimit, 'b');
    const QByteArray over(kLimit + 1, 'o');
    const auto chunked = [](const QByteArray& body) {
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
               QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n";
    };
    struct Case {
        const char* name;
        ServerScript script;
        QByteArray body; // empty: the request fails
    };
    const Case cases[] = {
        {"declared length, at the limit",
         replyAndStall("HTTP/1.0 200 OK\r\nContent-Length: 16\r\n\r\n" + exact), exact},
        {"declared length, past it",
         replyAndStall("HTTP/1.0 200 OK\r\nContent-Length: 17\r\n\r\n" + over),
         {}},
        {"until close, at the limit", Reply("HTTP/1.0 200 OK\r\n\r\n" + exact), exact},
        {"until close, past it", Reply("HTTP/1.0 200 OK\r\n\r\n" + over), {}},
        {"chunked, at the limit", replyAndStall(chunked(exact)), exact},
        {"chunked, past it", replyAndStall(chunked(over)), {}},
        // A server that sends on and never closes: no waiting for the time limit.
        {"never ending", replyAndStall("HTTP/1.0 200 OK\r\n\r\n" + QByteArray(65536, 'x')), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({c.script});
        SessionClient s;
        s.client.setTimeoutMs(20000);
        s.client.setMaxBodyBytes(kLimit);
        s.client.setURL(server.url("/"));
        QElapsedTimer clock;
        clock.start();
        if (!c.body.isEmpty()) {
            EXPECT_NO_THROW(s.client.Get());
            EXPECT_EQ(s.client.StatusCode(), 200);
            EXPECT_EQ(s.bodyBytes(), c.body);
        } else {
            try {
                s.client.Get();
                ADD_FAILURE() << "Get returned";
            } catch (const EHttpException& e) {
                EXPECT_EQ(e.message(), "Reply body too large");
                EXPECT_EQ(e.ErrCode(), 404);
            }
            EXPECT_EQ(s.client.RequestError(), 10040);
            EXPECT_LE(s.bodyBytes().size(), kLimit);
            EXPECT_LT(clock.elapsed(), 10000);
        }
        EXPECT_EQ(s.client.State(), httpReady);
    }
}

// Version 1.1 on both sides keeps the connection: the next request and a relocation to the same
// host go out on it.
class httpKeptConnection : public testing::Test {
protected:
    void SetUp() override {
        s.client.setRequestVer("1.1");
        s.client.setTimeoutMs(20000);
    }
    SessionClient s;
};

TEST_F(httpKeptConnection, CarriesTheNextRequest) {
    ScriptedServer server(
        {{ServerStep::read(), ServerStep::send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1"),
          ServerStep::read(), ServerStep::send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n2")}});
    s.client.setURL(server.url("/"));
    for (const char* want : {"1", "2"}) {
        s.body.buffer().clear();
        s.body.seek(0);
        s.client.Get();
        EXPECT_EQ(s.bodyBytes(), want);
    }
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(httpKeptConnection, CarriesTheRelocatedRequest) {
    for (const QByteArray& body :
         {QByteArray("Content-Length: 3\r\n\r\nabc"),
          QByteArray("Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")}) {
        ScriptedServer server({{ServerStep::read(),
                                ServerStep::send("HTTP/1.1 302 Found\r\nLocation: /new\r\n" + body),
                                ServerStep::read(), ServerStep::send(kHello)}});
        s.body.buffer().clear();
        s.body.seek(0);
        s.client.setURL(server.url("/old"));
        EXPECT_NO_THROW(s.client.Get());
        EXPECT_EQ(s.client.StatusCode(), 200) << body.constData();
        EXPECT_EQ(s.bodyBytes(), "hello");
        ASSERT_EQ(server.requests().size(), 2);
        EXPECT_TRUE(server.requests()[1].startsWith("GET /new HTTP/1.1\r\n"));
        EXPECT_EQ(server.connectionCount(), 1);
        EXPECT_EQ(s.client.LocationChangeCurCount(), 1);
    }
}

} // namespace
