#pragma once

#include <QtGlobal>
#include <functional>

namespace zarq {

// A 32-bit millisecond tick count that wraps around like the classic system tick counter.
// Tests replace the source to drive time across the wrap.
quint32 TickCount();

// Replaces the source of TickCount(); an empty function restores the monotonic clock.
void SetTickSource(std::function<quint32()> source);

// Milliseconds from `earlier` to `later`, correct across one wrap of the 32-bit counter.
inline quint32 TickDiff(quint32 later, quint32 earlier) {
    return later - earlier;
}

// True when tick `a` lies after tick `b` (the two less than 2^31 ms apart).
inline bool TickAfter(quint32 a, quint32 b) {
    return qint32(a - b) > 0;
}

} // namespace zarq
