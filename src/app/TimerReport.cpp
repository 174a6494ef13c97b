#include "app/TimerReport.h"

#include "app/LogLine.h"
#include "app/TimerCensus.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zarq {

namespace {

int g_reportPipe[2] = {-1, -1};

void onUsr1(int) {
    const int saved = errno;
    const char byte = 1;
    // Async-signal-safe; a full pipe only drops a request while others wait to be answered.
    (void)!::write(g_reportPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TimerReport::TimerReport(FILE* out, QObject* owner) : QObject(owner), m_out(out) {}

TimerReport::~TimerReport() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGUSR1, &dfl, nullptr);
    m_notifier.reset();
    for (int& fd : g_reportPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool TimerReport::requested() {
    return !qEnvironmentVariableIsEmpty(kVariable);
}

bool TimerReport::install() {
    if (::pipe2(g_reportPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    m_notifier = std::make_unique<QSocketNotifier>(g_reportPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    struct sigaction sa {};
    sa.sa_handler = onUsr1;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGUSR1, &sa, nullptr) == 0;
}

void TimerReport::drain() {
    char bytes[16];
    bool asked = false;
    while (::read(g_reportPipe[0], bytes, sizeof bytes) > 0)
        asked = true;
    if (!asked)
        return;
    const TimerCensus::Count count = TimerCensus::take();
    writeLogLine(
        m_out,
        QStringLiteral("timer census: %1 timers, %2 objects").arg(count.timers).arg(count.objects));
}

} // namespace zarq
