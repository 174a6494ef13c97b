#include "platform/ProcessWait.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zarq {

namespace {

// A zombie still answers kill(pid, 0); its state letter in /proc tells that it has ended.
bool isZombie(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() && line.at(close + 2) == 'Z';
}

bool exists(pid_t pid) {
    // EPERM: the process exists but belongs to someone else; it is still there.
    return (::kill(pid, 0) == 0 || errno == EPERM) && !isZombie(pid);
}

} // namespace

void ProcessWait::untilEnded(pid_t pid) {
    if (pid <= 0)
        return;
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(fd);
        return;
    }
    if (errno == ESRCH)
        return;
#endif
    untilEndedByPolling(pid);
}

void ProcessWait::untilEndedByPolling(pid_t pid, int intervalMs) {
    if (pid <= 0)
        return;
    while (exists(pid))
        ::usleep(static_cast<useconds_t>(intervalMs) * 1000);
}

} // namespace zarq
