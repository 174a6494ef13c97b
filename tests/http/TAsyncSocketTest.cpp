#include "http/TAsyncSocket.h"
#include "HttpClientSupport.h"
#include "ScriptedServer.h"
#include "http/ESocketException.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

using namespace zarq;

namespace {

struct Events {
    QList<QByteArray> log;
    QList<QByteArray> errors;
    QByteArray received;

    void attach(TAsyncSocket& s, bool read = true) {
        s.OnDnsLookupDone = [this](TAsyncSocket&, quint16 e) {
            log.append("lookup " + QByteArray::number(e));
        };
        s.OnSessionConnected = [this](TAsyncSocket&, quint16 e) {
            log.append("connected " + QByteArray::number(e));
        };
        s.OnSessionClosed = [this](TAsyncSocket&, quint16 e) {
            log.append("closed " + QByteArray::number(e));
        };
        s.OnError = [this](TAsyncSocket&, const QByteArray& text) { errors.append(text); };
        if (read) {
            s.OnDataAvailable = [this](TAsyncSocket& sock, quint16) {
                char buf[3]; // small on purpose: the read loop must drain the rest
                const qsizetype n = sock.Receive(buf, sizeof buf);
                if (n > 0) {
                    received.append(buf, n);
                    log.append("data");
                }
            };
        }
    }
    int count(const QByteArray& entry) const { return int(log.count(entry)); }
};

// Starts a connect of `s` to `port` on 127.0.0.1.
void connectToLoopback(TAsyncSocket& s, quint16 port) {
    s.setAddr("127.0.0.1");
    s.setPort(QByteArray::number(port));
    s.Connect();
}

class DottedLookup : public testing::TestWithParam<const char*> {};

TEST_P(DottedLookup, IsAnsweredBeforeDnsLookupReturns) {
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    s.DnsLookup(GetParam());
    ASSERT_EQ(ev.log, QList<QByteArray>{"lookup 0"});
    EXPECT_EQ(s.DnsResult(), QByteArray(GetParam()).trimmed());
    EXPECT_EQ(s.DnsResultList(), QList<QByteArray>{s.DnsResult()});
}

INSTANTIATE_TEST_SUITE_P(http, DottedLookup,
                         testing::Values("127.0.0.1", "  10.0.0.1", "10.0.0.1   ",
                                         "  192.168.1.20  "));

// A name goes to the system's lookup, which answers later from the event loop. Only a name the
// machine answers itself ("localhost", from /etc/hosts), so no query leaves it; which texts
// count as dotted addresses (1.2.3 and 1.2.3.256 do not) is the pure function's table.
TEST(httpTAsyncSocket, NameGoesToTheSystemLookupAndResolvesToIpv4) {
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    s.DnsLookup("localhost");
    EXPECT_TRUE(ev.log.isEmpty());
    ASSERT_TRUE(waitFor([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QList<QByteArray>{"lookup 0"});
    EXPECT_TRUE(s.DnsResult().startsWith("127."));
}

TEST(httpTAsyncSocket, EmptyHostReportsTheTextThen10022) {
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    s.DnsLookup("");
    EXPECT_EQ(ev.errors, QList<QByteArray>{"DNS lookup: invalid host name."});
    EXPECT_EQ(ev.log, QList<QByteArray>{"lookup 10022"});
}

TEST(httpTAsyncSocket, WithoutOnErrorFailuresAreRaised) {
    TAsyncSocket s;
    EXPECT_THROW(s.DnsLookup(""), ESocketException);
    EXPECT_THROW(s.Connect(), ESocketException); // no port
}

TEST(httpTAsyncSocket, RefusedConnectReports10061ThenClosesOnce) {
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    connectToLoopback(s, RefusedPort());
    ASSERT_TRUE(waitFor([&] { return ev.count("closed 0") > 0; }));
    waitFor([] { return false; }, 200); // anything late would show up now
    EXPECT_EQ(ev.log, (QList<QByteArray>{"connected 10061", "closed 0"}));
    EXPECT_EQ(s.State(), TSocketState::wsClosed);
}

TEST(httpTAsyncSocket, PeersLastBytesArriveBeforeItsClose) {
    const QByteArray payload = "the last words of the peer";
    ScriptedServer server({{ServerStep::send(payload), ServerStep::close()}});
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    connectToLoopback(s, server.port());
    ASSERT_TRUE(waitFor([&] { return ev.count("closed 0") > 0; }));
    EXPECT_EQ(ev.received, payload);
    EXPECT_EQ(ev.log.first(), "connected 0");
    EXPECT_EQ(ev.log.last(), "closed 0");
    EXPECT_EQ(ev.count("closed 0"), 1);
    EXPECT_EQ(s.State(), TSocketState::wsClosed);
}

TEST(httpTAsyncSocket, CloseInsideTheCloseHandlerDoesNotFireTwice) {
    ScriptedServer server({{ServerStep::send("x"), ServerStep::close()}});
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    int closes = 0;
    s.OnSessionClosed = [&](TAsyncSocket& sock, quint16) {
        ++closes;
        sock.Close();
        sock.Close();
    };
    connectToLoopback(s, server.port());
    ASSERT_TRUE(waitFor([&] { return closes > 0; }));
    waitFor([] { return false; }, 200);
    EXPECT_EQ(closes, 1);
}

TEST(httpTAsyncSocket, SendsLargeDataInFullAndReportsDataSent) {
    ScriptedServer server({{ServerStep::read(), ServerStep::send("ok"), ServerStep::close()}});
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    int sent = 0;
    s.OnDataSent = [&](TAsyncSocket&, quint16) { ++sent; };
    QByteArray request(100000, 'a');
    request += "\r\n\r\n";
    s.OnSessionConnected = [&](TAsyncSocket& sock, quint16 e) {
        ev.log.append("connected " + QByteArray::number(e));
        EXPECT_EQ(sock.Send(request.constData(), request.size()), request.size());
    };
    connectToLoopback(s, server.port());
    ASSERT_TRUE(waitFor([&] { return ev.count("closed 0") > 0; }));
    EXPECT_EQ(server.requests(), QList<QByteArray>{request});
    EXPECT_GE(s.WriteCount(), request.size());
    EXPECT_GE(sent, 1);
    EXPECT_EQ(ev.received, "ok");
}

TEST(httpTAsyncSocket, SendWhenNotConnectedFailsWith10057) {
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(ev.errors, QList<QByteArray>{"Socket is not connected (#10057 in Send)"});
}

TEST(httpTAsyncSocket, SettingsChangeOnlyWhileClosed) {
    ScriptedServer server(QList<ServerScript>{ServerScript{}});
    TAsyncSocket s;
    Events ev;
    ev.attach(s);
    connectToLoopback(s, server.port());
    ASSERT_TRUE(waitFor([&] { return ev.count("connected 0") > 0; }));
    s.setPort("1");
    EXPECT_EQ(ev.errors, QList<QByteArray>{"Cannot change Port if not closed"});
    EXPECT_EQ(s.Port(), QByteArray::number(server.port()));
    s.Abort();
    EXPECT_EQ(s.State(), TSocketState::wsClosed);
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
}

} // namespace
