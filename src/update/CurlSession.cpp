#include "update/CurlSession.h"

#include "update/CurlRequest.h"

#include <QEventLoop>
#include <QSocketNotifier>

#include <mutex>

namespace zarq {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

CurlSession::CurlSession(Options options) : m_options(std::move(options)) {
    initCurlOnce();
    m_multi = curl_multi_init();
    if (!m_multi)
        return;
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlSession::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlSession::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlSession::~CurlSession() {
    for (CurlRequest* request : m_requests)
        request->detach();
    if (m_multi)
        curl_multi_cleanup(m_multi);
    for (auto& [socket, watch] : m_watches) {
        delete watch.read;
        delete watch.write;
    }
}

void CurlSession::add(CurlRequest* request) {
    m_requests.append(request);
    curl_multi_add_handle(m_multi, request->easy());
}

void CurlSession::remove(CurlRequest* request) {
    if (m_requests.removeOne(request))
        curl_multi_remove_handle(m_multi, request->easy());
}

bool CurlSession::waitForActivity() {
    QEventLoop loop;
    m_waiting.append(&loop);
    // Not 0: the thread's event loops are ending (the program quits). Every new loop would
    // return at once, so waiting on would spin without ever serving the sockets.
    const bool ok = loop.exec() == 0;
    m_waiting.removeOne(&loop);
    return ok;
}

int CurlSession::socketCallback(CURL*, curl_socket_t socket, int what, void* self, void*) {
    auto* session = static_cast<CurlSession*>(self);
    Watch& watch = session->m_watches[socket];
    // Notifiers are kept (disabled) rather than deleted: curl may drop a socket from inside a
    // notifier's own signal, and a later socket with the same number reuses them.
    const auto want = [&](QSocketNotifier*& notifier, QSocketNotifier::Type type, bool on) {
        if (!notifier && !on)
            return;
        if (!notifier) {
            notifier = new QSocketNotifier(socket, type, session);
            const int events = type == QSocketNotifier::Read ? CURL_CSELECT_IN : CURL_CSELECT_OUT;
            connect(notifier, &QSocketNotifier::activated, session,
                    [session, socket, events] { session->act(socket, events); });
        }
        notifier->setEnabled(on);
    };
    const bool in = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool out = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    want(watch.read, QSocketNotifier::Read, in);
    want(watch.write, QSocketNotifier::Write, out);
    return 0;
}

int CurlSession::timerCallback(CURLM*, long timeoutMs, void* self) {
    auto* session = static_cast<CurlSession*>(self);
    // curl may not be called back from here: the timer makes the call from the event loop.
    if (timeoutMs < 0)
        session->m_timer.stop();
    else
        session->m_timer.start(int(qMin(timeoutMs, long(INT_MAX))));
    return 0;
}

void CurlSession::act(curl_socket_t socket, int events) {
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    collectFinished();
    wake();
}

void CurlSession::wake() {
    for (QEventLoop* loop : m_waiting)
        loop->quit();
}

void CurlSession::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        for (CurlRequest* request : m_requests) {
            if (request->easy() == message->easy_handle)
                request->finished(message->data.result);
        }
    }
}

} // namespace zarq
