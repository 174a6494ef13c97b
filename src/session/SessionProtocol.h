#pragma once

#include "session/LoginBoxes.h"
#include "session/SessionNotice.h"
#include "session/SessionState.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace zarq {

class THttpClient;

// The name session: sign-in (`gotologin`), heartbeat (`Timer1Timer` on `Timer1`) and sign-out
// (`gotologout`) with the service's session API. It shows nothing: it reports by posting
// SessionNotice events to `state().MainHandle`. The login dialog owns it in the desktop
// program and the headless front in the background one; both fill the same LoginBoxes.
//
// Requests block their caller but keep the event loop running, so notices, timer ticks and
// signals are handled in the middle of an operation; isBusy() tells a caller whether one is
// under way, and operationFinished() is emitted when the outermost one returns.
class SessionProtocol : public QObject {
    Q_OBJECT
public:
    static constexpr int kHeartbeatMs = 300000;
    // The service answers with a line; a reply body past this is a fault of the host, and
    // taking it whole would let a host that never ends its reply fill the memory.
    static constexpr qint64 kMaxReplyBytes = 1024 * 1024;
    static constexpr const char* kDesignAgent = "Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)";
    static constexpr const char* kAgentSuffix = " TERVAN ZARQ Client 1.01";

    // `boxes` is the dialog's boxes; they must outlive this object.
    SessionProtocol(LoginBoxes& boxes, QByteArray echoHost, QByteArray apiHost,
                    QObject* owner = nullptr);
    ~SessionProtocol() override;

    SessionState& state() { return m_state; }
    const SessionState& state() const { return m_state; }
    LoginBoxes& boxes() { return m_boxes; }
    THttpClient& HttpClient1() { return *m_httpClient1; }
    QTimer& Timer1() { return m_timer1; }

    // The two network probes; each returns text and never raises. Until set they give empty
    // text.
    std::function<QByteArray()> GetLanAddress;
    std::function<QByteArray()> GetBrowserUserAgent;

    // Sets `UserAgent` to the browser identity followed by " TERVAN ZARQ Client 1.01" and
    // gives it to HttpClient1 (the login dialog's creation step).
    void assignUserAgent();

    void gotologin();
    void Timer1Timer();
    void gotologout(); // throws EHttpException when the sign-out request fails

    bool isBusy() const { return m_depth > 0; }

    // Asks the echo host for the public address, as the sign-in does, and changes nothing:
    // the text when it passes inet_addr's test, nullopt when the request fails or it does not.
    // Counts as an operation (isBusy, operationFinished).
    std::optional<QByteArray> askPublicAddress();

    // Test hooks: the heartbeat period and the sign-out client's inactivity limit.
    void setHeartbeatInterval(int ms) { m_heartbeatMs = ms; }
    int heartbeatInterval() const { return m_heartbeatMs; }
    void setSignOutTimeoutMs(unsigned ms) { m_signOutTimeoutMs = ms; }

    // inet_addr's test: false for text that is no IPv4 address and for 255.255.255.255.
    static bool passesInetAddr(const QByteArray& text);

signals:
    void operationFinished();

private:
    class Operation;
    QByteArray fetch(const QByteArray& url); // throws what the client's Get throws
    std::optional<QByteArray> tryFetch(const QByteArray& url); // nullopt when the request fails
    void post(SessionNoticeNumber number);

    LoginBoxes& m_boxes;
    QByteArray m_echoHost;
    QByteArray m_apiHost;
    SessionState m_state;
    std::unique_ptr<THttpClient> m_httpClient1;
    QTimer m_timer1;
    int m_heartbeatMs = kHeartbeatMs;
    unsigned m_signOutTimeoutMs = 0; // 0: the client's own default
    int m_depth = 0;
};

} // namespace zarq
