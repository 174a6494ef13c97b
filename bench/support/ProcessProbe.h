#pragma once

// Small helpers the benchmarks that run the real program share: a monotonic clock, an event
// loop wait that sleeps between events, and fields of /proc/<pid>/status.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <cstring>
#include <ctime>
#include <functional>

namespace bench {

// Ends a helper process: asked first, killed when it does not end within 5 s.
inline void stopProcess(QProcess& p) {
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

inline double monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Runs the event loop until `done` holds or `ms` pass. It sleeps between events (a 1 ms tick
// re-checks `done`), so the measuring process does not compete with what it measures.
inline bool waitFor(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(1);
    while (!done() && !deadline.hasExpired())
        loop.exec();
    return done();
}

// A numeric field of /proc/<pid>/status ("RssAnon:", "VmRSS:", ...), or -1.
inline long statusField(qint64 pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace bench
