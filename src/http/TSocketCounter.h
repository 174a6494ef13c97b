#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <optional>

namespace zarq {

// Activity counter of a socket: when it was (re)started and when bytes last went out or came in.
// All ticks come from TickCount() and are compared so that the 32-bit wrap does no harm.
class TSocketCounter {
public:
    // Start := now; no send or receive seen yet.
    void Reset();
    void SetLastSendTick(quint32 tick) { m_lastSend = tick; }
    void SetLastRecvTick(quint32 tick) { m_lastRecv = tick; }

    quint32 StartTick() const { return m_start; }
    QDateTime StartTime() const { return QDateTime::fromMSecsSinceEpoch(m_startMs); }
    // The latest of start, last send and last receive.
    quint32 LatestActivity() const;
    // Milliseconds since the latest activity.
    quint32 IdleMs(quint32 now) const;

private:
    quint32 m_start = 0;
    std::optional<quint32> m_lastSend;
    std::optional<quint32> m_lastRecv;
    qint64 m_startMs = 0; // wall clock of the start; converted only when asked for
};

} // namespace zarq
