#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

// Runs the event loop until `done` holds or `ms` pass; returns whether it holds. The bound is
// generous: it only stops a broken test from hanging, nothing is timed by it. The loop sleeps
// between events (a 10 ms tick re-checks `done`), so a waiting test leaves the CPU to the
// servers and programs it waits for.
inline bool waitFor(const std::function<bool()>& done, int ms = 30000) {
    const QDeadlineTimer deadline(ms);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(10);
    while (!done() && !deadline.hasExpired()) {
        // Returns at once while the application is quitting; the deadline still ends the wait.
        if (loop.exec() != 0)
            QEventLoop().processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}
