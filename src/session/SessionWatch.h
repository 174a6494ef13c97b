#pragma once

#include "netinfo/NetworkChangeWatcher.h"
#include "netinfo/ResumeWatcher.h"
#include "session/NetworkReaction.h"

#include <QObject>
#include <QString>

namespace zarq {
class RegistryStore;
}

namespace zarq {

// The network-change and resume watchers wired to the session's reaction; what both fronts
// own when watching is on (`--no-watch` or the settings value WatchNetwork=0 turn it off).
class SessionWatch : public QObject {
    Q_OBJECT
public:
    explicit SessionWatch(SessionProtocol& session, QObject* parent = nullptr);

    // The saved switch: the integer value "WatchNetwork" beside the login; 0 turns watching
    // off, anything else or no value (or a value that cannot be read) leaves it on. Read after
    // the login was loaded, which reports and moves aside a settings file that cannot be parsed.
    static bool savedSwitch(RegistryStore& registry);

    // Starts both watchers. Returns the reason the network watcher could not start, or empty
    // text; a missing logind is no error.
    QString start();

    NetworkReaction& reaction() { return m_reaction; }
    NetworkChangeWatcher& network() { return m_network; }
    ResumeWatcher& resume() { return m_resume; }

signals:
    // Each event as it arrives, for the front's log.
    void networkChanged();
    void resumed();

private:
    NetworkReaction m_reaction;
    NetworkChangeWatcher m_network;
    ResumeWatcher m_resume;
};

} // namespace zarq
