// zarq --headless against a reference service that misbehaves, one row per fault: the program
// keeps running while the fault lasts, signs in once it is lifted, and neither loses the saved
// login nor writes anything beside its own files.

#include "FaultFixture.h"
#include "support/ProcessProbe.h" // the benchmarks' reader of /proc/<pid>/status

#include <csignal>

using namespace faults;

namespace {

struct SessionRow {
    const char* name;
    QByteArray fault; // the service's fault switch; empty: the port is closed instead
    // A line the program prints while the fault lasts (twice: it keeps trying); empty when the
    // program signs in in spite of the fault.
    QByteArray whileFaulty;
};

const QByteArray kRetry = "zarq: network error or the service is unavailable; trying again in ";

// Every fault breaks the echo host's reply, the first request of a sign-in; the trickle is
// kept to the echo host, whose reply then takes about 4.7 s.
const SessionRow kRows[] = {
    {"PortClosed", {}, kRetry},
    {"Stall", "fault=stall", kRetry},
    {"TrickleOneBytePer100ms", "fault=trickle&target=echo", {}},
    {"ClosedInsideTheHeader", "fault=cut-header", kRetry},
    {"ClosedInsideTheBody", "fault=cut-body", kRetry},
    // The sign-in reply cut short would carry half a session token.
    {"ClosedInsideTheSignInReplyBody", "fault=cut-body&target=auth", kRetry},
    {"Garbage", "fault=garbage", kRetry},
    {"TwoMegabyteHeader", "fault=huge-header", kRetry},
    {"BodyWithoutEnd", "fault=endless-body", kRetry},
};

class SessionFault : public testing::TestWithParam<SessionRow> {
protected:
    void TearDown() override {
        if (m_zarq.state() != QProcess::NotRunning) {
            m_zarq.kill();
            m_zarq.waitForFinished(10000);
        }
    }

    QProcessEnvironment env() const {
        QProcessEnvironment e = m_home.environment();
        e.insert(QStringLiteral("ZARQ_ECHO_HOST"), QString::fromLatin1(m_service.host()));
        e.insert(QStringLiteral("ZARQ_API_HOST"), QString::fromLatin1(m_service.host()));
        e.insert(QStringLiteral("ZARQ_TEST_HEARTBEAT_MS"), QStringLiteral("300"));
        e.insert(QStringLiteral("ZARQ_TEST_RETRY_MS"), QStringLiteral("200"));
        // Long enough for a byte every 100 ms, short enough that no row waits 30 s.
        e.insert(QStringLiteral("ZARQ_TEST_HTTP_TIMEOUT_MS"), QStringLiteral("1000"));
        return e;
    }

    FaultHome m_home;
    Service m_service{m_home.work()};
    QProcess m_zarq;
    QByteArray m_err;
};

} // namespace

TEST_P(SessionFault, KeepsRunningRecoversAndLosesNothing) {
    const SessionRow& row = GetParam();
    ASSERT_TRUE(m_service.start());
    const Finished saved = setLogin(env(), "demo123");
    ASSERT_EQ(saved.exitCode, 0) << saved.err.constData();
    const QByteArray settingsBefore = testfiles::readFile(m_home.settings());
    const QString listingBefore = m_home.listing();

    const int port = m_service.port();
    if (row.fault.isEmpty()) {
        m_service.stop();
    } else {
        ASSERT_TRUE(m_service.control(row.fault));
    }

    m_zarq.setProcessEnvironment(env());
    QObject::connect(&m_zarq, &QProcess::readyReadStandardError,
                     [this] { m_err += m_zarq.readAllStandardError(); });
    m_zarq.start(kZarq, {QStringLiteral("--headless")});
    ASSERT_TRUE(m_zarq.waitForStarted(30000));

    if (!row.whileFaulty.isEmpty()) {
        ASSERT_TRUE(waitFor([&] { return m_err.count(row.whileFaulty) >= 2; }, 60000))
            << m_err.constData();
        EXPECT_EQ(m_zarq.state(), QProcess::Running);
        EXPECT_FALSE(m_err.contains("zarq: signed in")) << m_err.constData();
        EXPECT_EQ(m_service.count("heartbeat"), 0);
        // No reply is taken whole whatever its size: a header or body past the client's
        // limits ends the request.
        const long peak = bench::statusField(m_zarq.processId(), "VmHWM:"); // KiB
        EXPECT_GT(peak, 0);
        EXPECT_LT(peak, 256 * 1024);
        if (row.fault.isEmpty()) {
            ASSERT_TRUE(m_service.start(port)) << "the port was taken meanwhile";
        } else {
            ASSERT_TRUE(m_service.control("fault=none"));
        }
    }

    // Signed in, with a working session: the heartbeat is answered.
    ASSERT_TRUE(waitFor([&] { return m_service.count("heartbeat") >= 1; }, 60000))
        << m_err.constData();
    EXPECT_EQ(m_err.count("zarq: signed in: demo.dyn.tervan.com -> 127.0.0.1;"), 1)
        << m_err.constData();
    if (row.whileFaulty.isEmpty()) {
        EXPECT_FALSE(m_err.contains("trying again")) << m_err.constData();
    }

    ::kill(pid_t(m_zarq.processId()), SIGTERM);
    ASSERT_TRUE(waitFor([&] { return m_zarq.state() == QProcess::NotRunning; }));
    EXPECT_EQ(m_zarq.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_zarq.exitCode(), 0) << m_err.constData();
    EXPECT_TRUE(m_err.contains("zarq: signed out\n")) << m_err.constData();
    EXPECT_TRUE(waitFor([&] { return m_service.count("signout") == 1; }));

    EXPECT_EQ(testfiles::readFile(m_home.settings()), settingsBefore);
    EXPECT_EQ(m_home.listing(), listingBefore);
}

INSTANTIATE_TEST_SUITE_P(Rows, SessionFault, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<SessionRow>& info) {
                             return std::string(info.param.name);
                         });
