#pragma once

#include "soak/Figures.h"
#include "soak/SoakService.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

namespace soak {

// One run of the real program against the service with a 1 ms heartbeat: a warm-up, the
// figures, the measured stretch, the figures again, then SIGTERM (which signs out).
//
// The figures are taken while a heartbeat is held at the service (its fault "delay" on the
// heartbeat path): the program then waits inside one request, so both samples see it in the
// same state rather than at a random point of a 1 ms cycle. The timers and objects come from
// the program's census (ZARQ_TEST_TIMER_REPORT, answered on SIGUSR1).
struct ExternalSoak {
    QString title;
    QStringList arguments;         // of build/src/app/zarq
    QProcessEnvironment env;       // HOME, XDG_*, hosts, DISPLAY or not
    std::function<long()> counter; // what the run counts so far (heartbeats, notices)
    long warmup = 0;               // counted before the first figures
    long count = 0;                // counted between the two figures

    struct Result {
        Figures start, end;
        long counted = 0;
        double seconds = 0;  // of the measured stretch
        double cpuMs = 0;    // the program's CPU time over it
        int exitStatus = -1; // after SIGTERM: 0 when it signed out
        QString failure;     // empty when the run went through
    };
    Result run(SoakService& service) const;
};

} // namespace soak
