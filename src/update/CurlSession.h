#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <curl/curl.h>
#include <map>

class QEventLoop;
class QSocketNotifier;

namespace zarq {

class CurlRequest;

// The transfer engine of one update run: a libcurl multi handle driven from the Qt event loop.
// curl tells which sockets to watch and when to wake up; QSocketNotifiers and one timer do the
// watching, so a transfer that waits on a stalled server costs no CPU and the thread's other
// events (the user interface) keep running while a request waits.
class CurlSession : public QObject {
public:
    struct Options {
        QByteArray agent;     // User-Agent of HTTP requests
        QByteArray proxy;     // empty: the system's configuration (the *_proxy variables)
        QByteArray proxyUser; // proxy credentials, sent to the proxy only
        QByteArray proxyPassword;
        long connectTimeoutMs = 0; // 0: curl's default
        // A transfer that receives nothing for this long fails (0: never). The update runs on
        // the GUI thread, so a server that stalls for ever must not hold the run for ever.
        long stallTimeoutSeconds = 120;
        // A host that keeps a transfer alive with a byte now and then would pass the stall
        // rule for ever: a transfer that brings fewer than `minimumRate` bytes a second on
        // average over `rateWindowSeconds` fails, and so does one that lasts longer than
        // `deadlineSeconds` plus one second per `deadlineBytesPerSecond` bytes of its announced
        // length (0: no such rule).
        long minimumRate = 1024;
        long rateWindowSeconds = 60;
        long deadlineSeconds = 600;
        long deadlineBytesPerSecond = 100 * 1024;
        QByteArray caInfo; // certificate bundle; empty: the system's
    };

    explicit CurlSession(Options options);
    ~CurlSession() override;
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    // False when libcurl could not make its handle.
    bool valid() const { return m_multi != nullptr; }
    const Options& options() const { return m_options; }

    // Runs the event loop until curl reports progress of any request (or, with no request
    // under way, until the next event). Used by a request waiting for its data. False when the
    // thread's event loops are ending (the program quits): then nothing more can arrive.
    bool waitForActivity();

private:
    friend class CurlRequest;
    void add(CurlRequest* request);
    void remove(CurlRequest* request);
    // Ends every waitForActivity under way.
    void wake();

    static int socketCallback(CURL* easy, curl_socket_t socket, int what, void* self,
                              void* socketData);
    static int timerCallback(CURLM* multi, long timeoutMs, void* self);
    void act(curl_socket_t socket, int events);
    void collectFinished();

    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    Options m_options;
    CURLM* m_multi = nullptr;
    std::map<curl_socket_t, Watch> m_watches;
    QTimer m_timer;
    QList<QEventLoop*> m_waiting;
    QList<CurlRequest*> m_requests;
};

} // namespace zarq
