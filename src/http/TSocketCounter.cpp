#include "http/TSocketCounter.h"

#include "platform/TickSource.h"

namespace zarq {

void TSocketCounter::Reset() {
    m_start = TickCount();
    m_lastSend.reset();
    m_lastRecv.reset();
    m_startMs = QDateTime::currentMSecsSinceEpoch();
}

quint32 TSocketCounter::LatestActivity() const {
    quint32 latest = m_start;
    // "Unset" is kept apart from tick 0: tick 0 is an ordinary moment once the counter wraps.
    for (const auto& t : {m_lastSend, m_lastRecv}) {
        if (t && TickAfter(*t, latest))
            latest = *t;
    }
    return latest;
}

quint32 TSocketCounter::IdleMs(quint32 now) const {
    return TickDiff(now, LatestActivity());
}

} // namespace zarq
