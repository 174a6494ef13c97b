// The timer census of the soak hook: what it counts, and the line SIGUSR1 brings.
#include "app/TimerCensus.h"
#include "app/TimerReport.h"
#include "support/WaitFor.h"

#include <QObject>
#include <QRegularExpression>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using zarq::TimerCensus;

namespace {

// An object that starts `n` timers of its own with QObject::startTimer.
class Ticking : public QObject {
public:
    explicit Ticking(int n) {
        for (int i = 0; i < n; ++i)
            startTimer(1000 + i);
    }
};

struct Case {
    const char* what;
    std::function<std::unique_ptr<QObject>()> make;
    qsizetype objects;
    qsizetype timers;
};

TEST(TimerCensus, CountsLiveObjectsAndTheirRegisteredTimers) {
    ASSERT_TRUE(TimerCensus::install());
    ASSERT_TRUE(TimerCensus::isInstalled());
    const Case cases[] = {
        {"a plain object", [] { return std::make_unique<QObject>(); }, 1, 0},
        {"a stopped QTimer", [] { return std::make_unique<QTimer>(); }, 1, 0},
        {"a running QTimer",
         [] {
             auto t = std::make_unique<QTimer>();
             t->start(60000);
             return t;
         },
         1, 1},
        {"an object with two startTimer timers", [] { return std::make_unique<Ticking>(2); }, 1, 2},
        {"a parent whose child runs a timer",
         [] {
             auto parent = std::make_unique<QObject>();
             (new QTimer(parent.get()))->start(60000);
             new QObject(parent.get());
             return parent;
         },
         3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TimerCensus::Count before = TimerCensus::take();
        ASSERT_GE(before.objects, 0);
        ASSERT_GE(before.timers, 0);
        std::unique_ptr<QObject> object = c.make();
        const TimerCensus::Count during = TimerCensus::take();
        EXPECT_EQ(during.objects - before.objects, c.objects);
        EXPECT_EQ(during.timers - before.timers, c.timers);
        object.reset();
        const TimerCensus::Count after = TimerCensus::take();
        EXPECT_EQ(after.objects, before.objects);
        EXPECT_EQ(after.timers, before.timers);
    }
}

TEST(TimerCensus, AStoppedTimerIsNoLongerCounted) {
    ASSERT_TRUE(TimerCensus::install());
    QTimer timer;
    const TimerCensus::Count idle = TimerCensus::take();
    timer.start(60000);
    EXPECT_EQ(TimerCensus::take().timers, idle.timers + 1);
    timer.stop();
    EXPECT_EQ(TimerCensus::take().timers, idle.timers);
}

TEST(TimerReport, Sigusr1PrintsTheCensusFromTheEventLoop) {
    ASSERT_TRUE(TimerCensus::install());
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ASSERT_NE(out, nullptr);
    {
        zarq::TimerReport report(out);
        ASSERT_TRUE(report.install());
        // A timer of the test's own, so the census has at least one to find.
        QTimer running;
        running.start(60000);
        ASSERT_EQ(::raise(SIGUSR1), 0);
        EXPECT_TRUE(waitFor([&] { return size > 0; }));
    }
    std::fclose(out);
    const QString line = QString::fromLocal8Bit(text);
    std::free(text);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^zarq: timer census: (\\d+) timers, (\\d+) objects\\n$"))
            .match(line);
    ASSERT_TRUE(m.hasMatch()) << line.toStdString();
    // The running timer and the wait's own tick, on objects that include both.
    EXPECT_GE(m.captured(1).toInt(), 2);
    EXPECT_GE(m.captured(2).toInt(), 2);
}

} // namespace
