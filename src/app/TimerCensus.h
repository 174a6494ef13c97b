#pragma once

#include <QtGlobal>

namespace zarq {

// A debugging aid for long runs: counts the live QObjects of the process and the timers
// registered for them with the calling thread's event dispatcher (QTimer, QBasicTimer and
// startTimer alike), so a run can show that neither grows. It learns of every object through
// QtCore's object hooks, the ones object inspectors use, and so must be installed before the
// first QObject exists. Nothing is tracked unless it is installed.
class TimerCensus {
public:
    struct Count {
        qsizetype objects = -1; // live QObjects of every thread
        qsizetype timers = -1;  // timers of those objects on this thread's dispatcher
    };

    // Installs the hooks once; false when QtCore's hook table has another layout than the one
    // this code knows or another tool already holds the hooks.
    static bool install();
    static bool isInstalled();

    // The figures now; -1 for both when not installed, timers -1 without an event dispatcher.
    static Count take();
};

} // namespace zarq
