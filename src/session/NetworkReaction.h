#pragma once

#include "session/SessionProtocol.h"

#include <QObject>
#include <functional>

namespace zarq {

// What the session does when the network changed or the machine woke up, so the service hears
// of a new address at once instead of at the next heartbeat. Both fronts use it; it calls the
// protocol's own operations and never changes what they do.
//
// Signed in: the echo host is asked once. Another public address signs in again; otherwise a
// changed LAN address (with the LAN option on) or a resume runs the heartbeat now, and the
// next one follows a full period later. Not signed in: whenIdle() (the headless front retries
// a failed sign-in; the desktop leaves its boxes and states to the user). While a request is
// under way the event is kept and acted on once when it ends.
class NetworkReaction : public QObject {
    Q_OBJECT
public:
    explicit NetworkReaction(SessionProtocol& session, QObject* parent = nullptr);

    void networkChanged();
    void resumed();

    // May the reaction start requests now? (false while the program is stopping)
    std::function<bool()> mayAct = [] { return true; };
    // Called for an event that comes while not signed in.
    std::function<void()> whenIdle = [] {};

    bool signedIn() const;

private:
    void act();

    SessionProtocol& m_session;
    bool m_network = false;
    bool m_resume = false;
};

} // namespace zarq
