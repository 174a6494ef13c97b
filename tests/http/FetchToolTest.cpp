// End to end: the built zarq-fetch against a scripted loopback server.
#include "HttpClientSupport.h"
#include "ScriptedServer.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct FetchRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool while this thread's event loop keeps serving the scripted server.
FetchRun runFetch(const QStringList& args) {
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, [&loop] { loop.quit(); });
    QObject::connect(&p, &QProcess::errorOccurred, &loop, [&loop] { loop.quit(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&loop] { loop.quit(); });
    guard.start(60000);
    p.start(QStringLiteral(ZARQ_BINARY_DIR "/src/fetch/zarq-fetch"), args);
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

TEST(httpFetchTool, WritesTheBodyAndSendsTheProgramsRequest) {
    ScriptedServer server(
        {{ServerStep::read(),
          ServerStep::send("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\n1.2.3\n")}});
    const FetchRun r = runFetch({"--no-cache", QString::fromLatin1(server.url("/ip?x=1"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, "1.2.3\n");
    EXPECT_TRUE(r.err.isEmpty());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0],
              "GET /ip?x=1 HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
              "User-Agent: Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)\r\n"
              "Host: 127.0.0.1:" +
                  QByteArray::number(server.port()) +
                  "\r\n"
                  "Pragma: no-cache\r\n\r\n");
}

TEST(httpFetchTool, AgentOptionAndNoPragmaByDefault) {
    ScriptedServer server(
        {{ServerStep::read(), ServerStep::send("HTTP/1.0 200 OK\r\n\r\nx"), ServerStep::close()}});
    const FetchRun r = runFetch({"--agent", "probe/2", QString::fromLatin1(server.url("/"))});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "x");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].contains("\r\nUser-Agent: probe/2\r\n"));
    EXPECT_FALSE(server.requests()[0].contains("Pragma"));
}

struct FetchFailure {
    const char* name;
    std::function<QStringList(ScriptedServer&)> args;
    ServerScript script;
    QByteArray stderrLine;
};

const FetchFailure kFetchFailures[] = {
    {"NotFound",
     [](ScriptedServer& s) { return QStringList{QString::fromLatin1(s.url("/missing"))}; },
     {ServerStep::read(), ServerStep::send("HTTP/1.0 404 Not Found\r\nContent-Length: 1\r\n\r\nx")},
     "error 404: Not Found\n"},
    {"Refused",
     [](ScriptedServer&) {
         return QStringList{QStringLiteral("http://127.0.0.1:%1/").arg(RefusedPort())};
     },
     {},
     "error 404: Connection refused (Error #10061)\n"},
    {"Timeout",
     [](ScriptedServer& s) {
         return QStringList{"--timeout", "1", QString::fromLatin1(s.url("/"))};
     },
     {ServerStep::read()},
     "error 404: Request aborted on timeout\n"},
    {"Https",
     [](ScriptedServer&) { return QStringList{QStringLiteral("https://127.0.0.1:1/")}; },
     {},
     "error 501: Protocol \"https\" not implemented\n"},
};

class httpFetchFailures : public testing::TestWithParam<FetchFailure> {};

TEST_P(httpFetchFailures, WriteTheErrorLineAndExit1) {
    ScriptedServer server(QList<ServerScript>{GetParam().script});
    const FetchRun r = runFetch(GetParam().args(server));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, GetParam().stderrLine);
    EXPECT_TRUE(r.out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(http, httpFetchFailures, testing::ValuesIn(kFetchFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(httpFetchTool, BadArgumentsExit2) {
    EXPECT_EQ(runFetch({}).exitCode, 2);
    EXPECT_EQ(runFetch({"--bogus", "http://127.0.0.1:1/"}).exitCode, 2);
    EXPECT_EQ(runFetch({"--timeout", "x", "http://127.0.0.1:1/"}).exitCode, 2);
}

} // namespace
