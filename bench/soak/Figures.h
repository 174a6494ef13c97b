#pragma once

// The figures a soak run compares at its start and its end, for another process or this one:
// resident memory (all of it and its anonymous part), open descriptors, and the timers and
// QObjects the program's census reports. The anonymous part (heap, stacks) is what a leak
// grows; the rest of VmRSS is mapped files, whose pages come and go with what was last run.

#include <QString>
#include <QtGlobal>
#include <cstdio>

namespace soak {

struct Figures {
    long vmRssKb = -1;     // /proc/<pid>/status VmRSS
    long anonymousKb = -1; // smaps_rollup Anonymous: heap and other anonymous pages
    long fds = -1;         // entries of /proc/<pid>/fd
    qsizetype timers = -1; // registered timers (TimerCensus), -1 when not known
    qsizetype objects = -1;

    // The memory and descriptor figures of `pid` ("self" for this process); the census
    // figures stay -1.
    static Figures read(const QString& pid);
};

// Prints the table of one phase: each figure at the start, at the end, its growth and whether
// it meets the goal (anonymous memory grows by at most `memoryGoalKb`; descriptors, timers
// and objects do not grow). Returns whether every goal is met.
bool printTable(FILE* out, const QString& title, const Figures& start, const Figures& end,
                long memoryGoalKb);

} // namespace soak
