#pragma once

#include "platform/RegistryStore.h"
#include "platform/ZarqConfig.h"
#include "session/LoginBoxes.h"
#include "session/SessionProtocol.h"
#include "session/SessionWatch.h"

#include <QObject>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

namespace zarq {

// The background program: the login dialog's creation and auto-login without a window, the
// session protocol, and one line on standard error per notice. Where the desktop program
// would ask the user, it decides as a service should: it tries again after a network error
// with a growing delay, and it ends on a refused name or password and on a sign-in elsewhere.
class HeadlessFront : public QObject {
public:
    enum ExitStatus {
        ExitSignedOut = 0,     // stopped by SIGTERM/SIGINT after a sign-out the service took
        ExitError = 1,         // the settings could not be read or written
        ExitUsage = 2,         // bad command line
        ExitRefused = 3,       // the service refused the name or password
        ExitElsewhere = 4,     // the name was signed in from another place
        ExitSignOutFailed = 5, // stopped, but the sign-out request failed
        ExitNotConfigured = 6, // no saved name or password, or auto-login is off
    };

    struct Options {
        ZarqConfig config;
        QString settingsPath = RegistryStore::defaultFilePath();
        int heartbeatMs = SessionProtocol::kHeartbeatMs;
        int firstRetryMs = 60000; // doubles after each failure ...
        int maxRetryMs = 300000;  // ... up to this
        int autoLoginDelayMs = 100;
        int httpTimeoutMs = 0; // how long a request may receive nothing; 0: the client's own
        bool watch = true;     // react at once to network changes and resumes
        std::function<QByteArray()> getLanAddress = [] { return QByteArray(); };
        std::function<QByteArray()> getBrowserUserAgent = [] { return QByteArray(); };
    };

    explicit HeadlessFront(Options options, FILE* log = stderr);
    ~HeadlessFront() override;

    // The creation steps. Returns false when the program must end at once (status in
    // exitStatus()); otherwise the event loop runs the rest and ends with exit(status).
    bool start();
    int exitStatus() const { return m_exitStatus; }

    // SIGTERM/SIGINT: sign out once no request is under way, then end. A second request while
    // waiting ends the program at once.
    void requestStop();

    SessionProtocol& session() { return *m_session; }
    LoginBoxes& boxes() { return m_boxes; }
    int nextRetryMs() const { return m_retryMs; }
    bool retryPending() const { return m_retry.isActive(); }
    SessionWatch* watch() { return m_watch.get(); } // null with watching off

protected:
    bool event(QEvent* e) override;

private:
    void autoLoginTick();
    void startWatching();
    void retryNow();
    // What a failed load of the settings means and what the user can do about it.
    void reportLoadFailure(const ERegistryException& e);
    void onNotice(int number);
    void onOperationFinished();
    void scheduleRetry(const char* why);
    void finish(int status);
    void settle();
    void signOutAndExit();
    void say(const QString& line);
    QString text(const QByteArray& cp936) const;

    Options m_options;
    FILE* m_log;
    LoginBoxes m_boxes;
    RegistryStore m_registry;
    std::unique_ptr<SessionProtocol> m_session;
    std::unique_ptr<SessionWatch> m_watch;
    QTimer m_timer2; // the auto-login tick
    QTimer m_retry;
    int m_retryMs;
    int m_exitStatus = ExitSignedOut;
    bool m_awaitingOutcome = false;
    bool m_finishing = false;
    bool m_stopRequested = false;
    bool m_stopping = false;
};

} // namespace zarq
