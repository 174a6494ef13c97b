#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

namespace zarq {

// The test hook ZARQ_TEST_TIMER_REPORT: on SIGUSR1 the program writes one line
// "zarq: timer census: T timers, O objects" (see TimerCensus) to `out`, from its event loop,
// so a soak run can compare the figures at its start and its end. One instance per process.
class TimerReport : public QObject {
public:
    static constexpr const char* kVariable = "ZARQ_TEST_TIMER_REPORT";

    explicit TimerReport(FILE* out = stderr, QObject* owner = nullptr);
    ~TimerReport() override;

    // Whether the variable asks for the report; read before any QObject exists, since the
    // census must see every one.
    static bool requested();

    // Installs the SIGUSR1 handler; false (with errno set) when the pipe cannot be made.
    bool install();

private:
    void drain();

    FILE* m_out;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace zarq
