#include "soak/ExternalSoak.h"

#include "support/ProcessProbe.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <unistd.h>

namespace soak {

namespace {

const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");
constexpr double kHoldSeconds = 1.5;  // a held heartbeat's wait at the service
constexpr double kQuietSeconds = 0.3; // no event for this long: the program waits in it

// utime + stime of `pid` in milliseconds.
double cpuMs(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    const QList<QByteArray> rest = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const long ticks = rest.value(11).toLong() + rest.value(12).toLong(); // fields 14 and 15
    return double(ticks) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// The program's standard error, kept for the census lines and for a failure report.
struct ErrorLines {
    QByteArray all;
    qsizetype censusSeen = 0;
};

// Holds a heartbeat at the service, takes the figures while the program waits in it, and
// lets heartbeats run again. Fills `failure` when something does not answer.
Figures sample(QProcess& zarq, SoakService& service, ErrorLines& err, QString& failure) {
    Figures f;
    if (service.get("/control?fault=delay&target=online&delay=" + QByteArray::number(kHoldSeconds))
            .trimmed() != "ok") {
        failure = QStringLiteral("the service refused the hold");
        return f;
    }
    if (!bench::waitFor([&] { return bench::monotonicNow() - service.lastEvent > kQuietSeconds; },
                        10000)) {
        failure = QStringLiteral("the program did not come to wait in a held heartbeat");
        return f;
    }
    f = Figures::read(QString::number(zarq.processId()));
    ::kill(pid_t(zarq.processId()), SIGUSR1);
    static const QRegularExpression census(
        QStringLiteral("timer census: (-?\\d+) timers, (-?\\d+) objects"));
    QRegularExpressionMatch m;
    bench::waitFor(
        [&] {
            err.all += zarq.readAllStandardError();
            m = census.match(QString::fromLocal8Bit(err.all.mid(err.censusSeen)));
            return m.hasMatch();
        },
        10000);
    if (m.hasMatch()) {
        f.timers = m.captured(1).toLongLong();
        f.objects = m.captured(2).toLongLong();
        err.censusSeen = err.all.size();
    } else {
        failure = QStringLiteral("the program printed no timer census");
    }
    service.get("/control?fault=none");
    return f;
}

} // namespace

ExternalSoak::Result ExternalSoak::run(SoakService& service) const {
    Result r;
    QProcessEnvironment e = env;
    e.insert(QStringLiteral("ZARQ_TEST_HEARTBEAT_MS"), QStringLiteral("1"));
    e.insert(QStringLiteral("ZARQ_TEST_TIMER_REPORT"), QStringLiteral("1"));
    QProcess zarq;
    zarq.setProcessEnvironment(e);
    zarq.start(kZarq, arguments);
    ErrorLines err;
    auto fail = [&](const QString& why) {
        err.all += zarq.readAllStandardError();
        r.failure = why + QStringLiteral("; the program said:\n") + QString::fromLocal8Bit(err.all);
        zarq.kill();
        zarq.waitForFinished(10000);
        return r;
    };
    auto running = [&] { return zarq.state() == QProcess::Running; };
    if (!zarq.waitForStarted(30000))
        return fail(QStringLiteral("the program did not start"));
    const long base = counter();
    if (!bench::waitFor([&] { return counter() - base >= warmup || !running(); }, 120000) ||
        !running())
        return fail(QStringLiteral("the warm-up did not complete"));

    r.start = sample(zarq, service, err, r.failure);
    if (!r.failure.isEmpty())
        return fail(r.failure);
    const long first = counter();
    const double t0 = bench::monotonicNow();
    const double cpu0 = cpuMs(zarq.processId());
    // A bound only against a stuck run; nothing is timed by it.
    if (!bench::waitFor([&] { return counter() - first >= count || !running(); }, 1800000) ||
        !running())
        return fail(
            QStringLiteral("the run stopped after %1 of %2").arg(counter() - first).arg(count));
    r.seconds = bench::monotonicNow() - t0;
    r.cpuMs = cpuMs(zarq.processId()) - cpu0;
    r.counted = counter() - first;
    r.end = sample(zarq, service, err, r.failure);
    if (!r.failure.isEmpty())
        return fail(r.failure);

    const long signouts = service.signouts;
    ::kill(pid_t(zarq.processId()), SIGTERM);
    if (!zarq.waitForFinished(30000))
        return fail(QStringLiteral("the program did not end on SIGTERM"));
    r.exitStatus = zarq.exitStatus() == QProcess::NormalExit ? zarq.exitCode() : -1;
    // The service's line for the sign-out may still be on its way to us.
    bench::waitFor([&] { return service.signouts > signouts; }, 5000);
    return r;
}

} // namespace soak
