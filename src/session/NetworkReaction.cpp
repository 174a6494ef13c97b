#include "session/NetworkReaction.h"

#include <QElapsedTimer>
#include <QSignalBlocker>

namespace zarq {

NetworkReaction::NetworkReaction(SessionProtocol& session, QObject* parent)
    : QObject(parent), m_session(session) {
    // Queued: the kept event is acted on from the event loop, after the finished operation has
    // unwound and its notices were delivered, never inside it.
    connect(&m_session, &SessionProtocol::operationFinished, this, &NetworkReaction::act,
            Qt::QueuedConnection);
}

bool NetworkReaction::signedIn() const {
    return !m_session.state().SessionID.isEmpty() &&
           const_cast<SessionProtocol&>(m_session).Timer1().isActive();
}

void NetworkReaction::networkChanged() {
    m_network = true;
    act();
}

void NetworkReaction::resumed() {
    m_resume = true;
    act();
}

void NetworkReaction::act() {
    if (m_session.isBusy() || (!m_network && !m_resume))
        return; // kept for the end of the running request
    const bool resume = m_resume;
    m_network = m_resume = false;
    if (!mayAct())
        return;
    if (!signedIn()) {
        whenIdle();
        return;
    }
    // A heartbeat due while the echo request waits would find the client busy and count as a
    // network error: its tick is held back for the request and, when one fell due, the
    // heartbeat runs right after it. The timer keeps running, so its period stays as it was.
    const int left = m_session.Timer1().remainingTime();
    QElapsedTimer took;
    took.start();
    std::optional<QByteArray> address;
    {
        const QSignalBlocker hold(m_session.Timer1());
        address = m_session.askPublicAddress();
    }
    const bool heartbeatDue = took.elapsed() >= left;
    // The network may still be coming up (no answer yet); its next change brings us back.
    if (!address || !mayAct() || !signedIn()) {
        if (heartbeatDue && mayAct() && signedIn())
            m_session.Timer1Timer();
        return;
    }
    SessionState& state = m_session.state();
    if (*address != state.PublicIP) {
        m_session.Timer1().stop();
        m_session.gotologin();
        return;
    }
    const bool lanChanged = m_session.boxes().Checkbox3 && m_session.GetLanAddress() != state.LanIP;
    if (!lanChanged && !resume) {
        if (heartbeatDue)
            m_session.Timer1Timer();
        return;
    }
    m_session.Timer1Timer();
    if (m_session.Timer1().isActive())
        m_session.Timer1().start(m_session.heartbeatInterval()); // the next a full period later
}

} // namespace zarq
