#pragma once

#include <sys/types.h>

namespace zarq {

// Waits for the end of a process that need not be our child (the updater waits for the program
// it replaces).
class ProcessWait {
public:
    // Blocks without limit until process `pid` has ended; returns at once when there is no such
    // process (or `pid` is not positive). Sleeps in `poll` on a pidfd; on a kernel without
    // pidfds it falls back to `untilEndedByPolling`.
    static void untilEnded(pid_t pid);

    // The fallback: asks `kill(pid, 0)` every `intervalMs` until the process is gone. A process
    // that has ended but was not yet reaped by its parent counts as ended.
    static void untilEndedByPolling(pid_t pid, int intervalMs = 50);
};

} // namespace zarq
