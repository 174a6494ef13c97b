// The session client's requests, its failures, and its behaviour while Get waits.
#include "HttpClientSupport.h"
#include "ScriptedServer.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

const QByteArray kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
const QByteArray kOk = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(httpRequest, ProgramSettingsGiveExactlyTheseBytes) {
    ScriptedServer server({{ServerStep::read(), ServerStep::send(kOk)}});
    SessionClient s;
    s.client.setAgent("X");
    s.client.setURL(server.url("/auth/?domain=a.b&key=c"));
    s.client.Get();
    const QByteArray host = "127.0.0.1:" + QByteArray::number(server.port());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0], "GET /auth/?domain=a.b&key=c HTTP/1.0\r\n"
                                    "Accept: " +
                                        kAccept +
                                        "\r\n"
                                        "User-Agent: X\r\n"
                                        "Host: " +
                                        host +
                                        "\r\n"
                                        "Pragma: no-cache\r\n"
                                        "\r\n");
}

struct PathCase {
    QByteArray urlTail; // after http://127.0.0.1:port
    QByteArray requestLine;
};

class RequestPath : public testing::TestWithParam<PathCase> {};

TEST_P(RequestPath, IsPutOnTheRequestLineAsGiven) {
    ScriptedServer server({{ServerStep::read(), ServerStep::send(kOk)}});
    SessionClient s;
    s.client.setURL(server.url(GetParam().urlTail));
    s.client.Get();
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].startsWith(GetParam().requestLine + "\r\n"))
        << server.requests()[0].constData();
}

INSTANTIATE_TEST_SUITE_P(
    http, RequestPath,
    testing::Values(PathCase{"", "GET / HTTP/1.0"}, PathCase{"?x=1", "GET ?x=1 HTTP/1.0"},
                    PathCase{"/a b/\xc4\xe3?q=%20", "GET /a b/\xc4\xe3?q=%20 HTTP/1.0"},
                    PathCase{"/p#frag", "GET /p#frag HTTP/1.0"}));

TEST(httpRequest, DefaultsOfAFreshClient) {
    THttpClient c;
    EXPECT_EQ(c.Agent(), "Mozilla/4.0 (compatible; HTTP client)");
    EXPECT_EQ(c.Accept(), kAccept);
    EXPECT_EQ(c.Timeout(), 30u);
    EXPECT_EQ(c.RequestVer(), "1.0");
    EXPECT_EQ(c.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(c.ProxyPort(), "80");
    EXPECT_EQ(c.ContentTypePost(), "application/x-www-form-urlencoded");
    EXPECT_TRUE(c.FollowRelocation());
    EXPECT_EQ(c.LocationChangeMaxCount(), 5);
    EXPECT_EQ(c.BandwidthLimit(), 10000);
    EXPECT_EQ(c.BandwidthSampling(), 1000);
    EXPECT_FALSE(c.NoCache());
    EXPECT_EQ(c.ReceiveStream(), nullptr);
    EXPECT_EQ(c.State(), httpReady);
    EXPECT_EQ(c.StatusCode(), 0);
}

TEST(httpRequest, OnlyVersions10And11AreAccepted) {
    THttpClient c;
    try {
        c.setRequestVer("2.0");
        ADD_FAILURE() << "accepted 2.0";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.ErrCode(), 5);
        EXPECT_EQ(e.message(), "Insupported HTTP version");
    }
    EXPECT_NO_THROW(c.setRequestVer("1.1"));
    EXPECT_EQ(c.RequestVer(), "1.1");
}

struct FailureCase {
    const char* name;
    std::function<QByteArray(ScriptedServer&)> url;
    QList<ServerScript> scripts;
    quint16 code;
    QByteArray message; // "%p" stands for the server's port
    quint16 requestError;
};

const FailureCase kFailures[] = {
    {"RefusedPort",
     [](ScriptedServer&) { return "http://127.0.0.1:" + QByteArray::number(RefusedPort()) + "/"; },
     {{}},
     404,
     "Connection refused (Error #10061)",
     10061},
    {"EmptyHost",
     [](ScriptedServer&) { return QByteArray("http:///auth/"); },
     {{}},
     404,
     "can't resolve hostname to IP address",
     10022},
    {"HttpsScheme",
     [](ScriptedServer& s) { return "https://127.0.0.1:" + QByteArray::number(s.port()) + "/"; },
     {{}},
     501,
     "Protocol \"https\" not implemented",
     0},
    {"StalledServer",
     [](ScriptedServer& s) { return s.url("/"); },
     {{ServerStep::read()}},
     404,
     "Request aborted on timeout",
     8},
    {"CloseInsideHeader",
     [](ScriptedServer& s) { return s.url("/"); },
     {Reply("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n")},
     404,
     "Request aborted on timeout",
     8},
    // A reply whose connection ends before the body it announced is no reply.
    {"CloseInsideDeclaredBody",
     [](ScriptedServer& s) { return s.url("/"); },
     {Reply("HTTP/1.0 200 OK\r\nContent-Length: 34\r\n\r\n0 0123456789abcdef")},
     404,
     "Connection closed before the end of the reply",
     0},
    {"CloseBeforeTheDeclaredBody",
     [](ScriptedServer& s) { return s.url("/"); },
     {Reply("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n")},
     404,
     "Connection closed before the end of the reply",
     0},
    {"CloseInsideChunkedBody",
     [](ScriptedServer& s) { return s.url("/"); },
     {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")},
     404,
     "Connection closed before the end of the reply",
     0},
    {"HeaderLineBeyondCap",
     [](ScriptedServer& s) { return s.url("/"); },
     {{ServerStep::read(), ServerStep::send("HTTP/1.0 200 OK\r\nX-Big: " +
                                            QByteArray(THttpClient::kMaxHeaderBytes + 10, 'a'))}},
     404,
     "Reply header too large",
     10040},
    {"HeaderBeyondCap",
     [](ScriptedServer& s) { return s.url("/"); },
     {{ServerStep::read(),
       ServerStep::send("HTTP/1.0 200 OK\r\n" +
                        QByteArray("X-Many: 0123456789012345678901234567890123456789\r\n")
                            .repeated(THttpClient::kMaxHeaderBytes / 40))}},
     404,
     "Reply header too large",
     10040},
};

class Failures : public testing::TestWithParam<FailureCase> {};

TEST_P(Failures, RaiseWithTheirTextAndCode) {
    const FailureCase& c = GetParam();
    ScriptedServer server(c.scripts);
    SessionClient s;
    // Only the rows that end on the limit get a short one. The server runs in this thread, so
    // on a loaded machine its reply can come later than 600 ms after the request; with a short
    // limit everywhere that late reply would read as a timeout.
    const bool endsOnTheLimit = c.requestError == 8;
    s.client.setTimeoutMs(endsOnTheLimit ? 600 : 20000);
    s.client.setURL(c.url(server));
    try {
        s.client.Get();
        ADD_FAILURE() << "Get returned";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.message(), c.message);
        EXPECT_EQ(e.ErrCode(), c.code);
    }
    EXPECT_EQ(s.client.StatusCode(), c.code);
    EXPECT_EQ(s.client.StatusText(), c.message);
    EXPECT_EQ(s.client.RequestError(), c.requestError);
    EXPECT_EQ(s.client.State(), httpReady);
    EXPECT_EQ(s.client.CtrlSocket().State(), TSocketState::wsClosed);
}

INSTANTIATE_TEST_SUITE_P(http, Failures, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(httpWait, TricklingServerNeverTripsTheLimit) {
    const QByteArray reply = "HTTP/1.0 200 OK\r\n\r\ntrickle";
    ScriptedServer server({ServerScript{ServerStep::read()} + Trickle(reply, 100) +
                           ServerScript{ServerStep::close()}});
    SessionClient s;
    s.client.setTimeoutMs(1500); // far above the gaps, far below the whole reply
    s.client.setURL(server.url("/"));
    EXPECT_NO_THROW(s.client.Get());
    EXPECT_EQ(s.bodyBytes(), "trickle");
}

TEST(httpWait, GetOnTheSameClientFromATimerIsBusy) {
    ScriptedServer server({{ServerStep::read(), ServerStep::wait(400), ServerStep::send(kOk)}});
    for (const QString& name : {QStringLiteral("HttpClient1"), QString()}) {
        SessionClient s;
        s.client.setName(name);
        s.client.setURL(server.url("/"));
        std::optional<EHttpException> inner;
        int requestsAtBusy = -1;
        QTimer::singleShot(50, [&] {
            requestsAtBusy = int(server.requests().size());
            try {
                s.client.Get();
            } catch (const EHttpException& e) {
                inner = e;
            }
        });
        EXPECT_NO_THROW(s.client.Get());
        ASSERT_TRUE(inner.has_value());
        EXPECT_EQ(inner->ErrCode(), 1);
        EXPECT_EQ(inner->message(), "HTTP component " + name.toUtf8() + " is busy");
        EXPECT_EQ(s.bodyBytes(), "ok");
        EXPECT_EQ(s.client.StatusCode(), 200);
    }
    EXPECT_EQ(server.requests().size(), 2); // the busy calls sent nothing
}

TEST(httpWait, GetOnAnotherClientRunsInsideAPendingOne) {
    ScriptedServer slow({{ServerStep::read(), ServerStep::wait(600), ServerStep::send(kOk)}});
    ScriptedServer fast({{ServerStep::read(),
                          ServerStep::send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\ninner")}});
    SessionClient outer;
    SessionClient inner;
    outer.client.setURL(slow.url("/outer"));
    inner.client.setURL(fast.url("/inner"));
    QList<QByteArray> order;
    QTimer::singleShot(50, [&] {
        inner.client.Get();
        order.append("inner done");
    });
    outer.client.Get();
    order.append("outer done");
    EXPECT_EQ(order, (QList<QByteArray>{"inner done", "outer done"}));
    EXPECT_EQ(inner.bodyBytes(), "inner");
    EXPECT_EQ(outer.bodyBytes(), "ok");
}

TEST(httpWait, ApplicationQuittingAbortsTheRequest) {
    ScriptedServer server({{ServerStep::read()}});
    SessionClient s;
    s.client.setURL(server.url("/"));
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    try {
        s.client.Get();
        ADD_FAILURE() << "Get returned";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.message(), "Request aborted");
        EXPECT_EQ(e.ErrCode(), 404);
    }
    EXPECT_EQ(s.client.RequestError(), 3);
    // While the application is quitting every further wait ends at once, too.
    s.client.setURL(server.url("/again"));
    EXPECT_THROW(s.client.Get(), EHttpException);
    EXPECT_EQ(s.client.StatusText(), "Request aborted");
    // Let the application run again for the tests after this one.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST(httpWait, StateChangesFollowTheProgramsPath) {
    ScriptedServer server({{ServerStep::read(), ServerStep::send(kOk)}});
    SessionClient s;
    QList<THttpState> states;
    s.client.OnStateChange = [&](THttpClient& c) { states.append(c.State()); };
    int done = 0;
    s.client.OnRequestDone = [&](THttpClient&, THttpRequest kind, quint16 err) {
        EXPECT_EQ(kind, httpGET);
        EXPECT_EQ(err, 0);
        ++done;
    };
    s.client.setURL(server.url("/"));
    s.client.Get();
    EXPECT_EQ(states,
              (QList<THttpState>{httpNotConnected, httpDnsLookup, httpDnsLookupDone, httpConnected,
                                 httpWaitingHeader, httpWaitingBody, httpBodyReceived, httpReady}));
    EXPECT_EQ(done, 0); // the request-done notice comes from the next dispatch
    QCoreApplication::processEvents();
    EXPECT_EQ(done, 1);
}

} // namespace
