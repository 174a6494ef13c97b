#include "app/SignalPipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zarq {

namespace {

int g_pipe[2] = {-1, -1};

void onPosixSignal(int signo) {
    const int saved = errno;
    const char byte = static_cast<char>(signo);
    // Async-signal-safe; a full pipe only drops a repeat of a signal already pending.
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalPipe::SignalPipe(std::function<void(int)> onSignal, QObject* owner)
    : QObject(owner), m_onSignal(std::move(onSignal)) {}

SignalPipe::~SignalPipe() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &dfl, nullptr);
    ::sigaction(SIGINT, &dfl, nullptr);
    m_notifier.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool SignalPipe::install() {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    struct sigaction sa {};
    sa.sa_handler = onPosixSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    return true;
}

void SignalPipe::drain() {
    char bytes[16];
    ssize_t n;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            m_onSignal(static_cast<unsigned char>(bytes[i]));
    }
}

} // namespace zarq
