#include "session/SessionProtocol.h"

#include "http/THttpClient.h"
#include "platform/TextCodec.h"
#include "session/LoginSettings.h"
#include "session/Md5.h"

#include <QBuffer>
#include <QCoreApplication>
#include <arpa/inet.h>

namespace zarq {

// Counts nested operations (a request keeps the event loop running, so a tick or a stop
// request can start one inside another) and reports when the outermost one ends.
class SessionProtocol::Operation {
public:
    explicit Operation(SessionProtocol& p) : m_p(p) { ++m_p.m_depth; }
    ~Operation() {
        if (--m_p.m_depth == 0)
            emit m_p.operationFinished();
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    SessionProtocol& m_p;
};

SessionProtocol::SessionProtocol(LoginBoxes& boxes, QByteArray echoHost, QByteArray apiHost,
                                 QObject* owner)
    : QObject(owner), m_boxes(boxes), m_echoHost(std::move(echoHost)),
      m_apiHost(std::move(apiHost)), m_httpClient1(std::make_unique<THttpClient>()) {
    // HttpClient1 as designed: the constructor's defaults but for its name and agent.
    m_httpClient1->setName(QStringLiteral("HttpClient1"));
    m_httpClient1->setAgent(kDesignAgent);
    m_httpClient1->setMaxBodyBytes(kMaxReplyBytes);
    m_timer1.setInterval(kHeartbeatMs);
    connect(&m_timer1, &QTimer::timeout, this, &SessionProtocol::Timer1Timer);
    GetLanAddress = [] { return QByteArray(); };
    GetBrowserUserAgent = [] { return QByteArray(); };
}

SessionProtocol::~SessionProtocol() = default;

void SessionProtocol::assignUserAgent() {
    m_state.UserAgent = GetBrowserUserAgent() + kAgentSuffix;
    m_httpClient1->setAgent(m_state.UserAgent);
}

bool SessionProtocol::passesInetAddr(const QByteArray& text) {
    // inet_addr also accepts the short forms ("10.1", "0x7f.1") and answers INADDR_NONE for
    // 255.255.255.255 as for garbage; the service relies on exactly this test.
    return ::inet_addr(text.constData()) != INADDR_NONE && !text.contains('\0');
}

void SessionProtocol::post(SessionNoticeNumber number) {
    if (!m_state.MainHandle) {
        // Nobody to tell: the owner sets MainHandle before any sign-in can start.
        qWarning("zarq: session notice %d has no window to go to", int(number));
        return;
    }
    QCoreApplication::postEvent(m_state.MainHandle, new SessionNotice(number, this, 0));
}

QByteArray SessionProtocol::fetch(const QByteArray& url) {
    THttpClient& client = *m_httpClient1;
    if (client.State() != httpReady) {
        // A request of this client is still waiting further out; Get refuses to start another
        // ("is busy") and the running one keeps its URL and stream.
        client.Get();
    }
    client.setURL(url);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    client.setReceiveStream(&stream);
    try {
        client.Get();
    } catch (...) {
        client.setReceiveStream(nullptr);
        throw;
    }
    client.setReceiveStream(nullptr);
    return TextCodec::trimmed(stream.data());
}

std::optional<QByteArray> SessionProtocol::tryFetch(const QByteArray& url) {
    try {
        return fetch(url);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<QByteArray> SessionProtocol::askPublicAddress() {
    Operation op(*this);
    m_httpClient1->setNoCache(true);
    std::optional<QByteArray> address = tryFetch("http://" + m_echoHost + "/");
    if (address && !passesInetAddr(*address))
        address.reset();
    return address;
}

void SessionProtocol::gotologin() {
    Operation op(*this);
    const QByteArray name = TextCodec::toCp936(m_boxes.Edit1);
    const QByteArray zone = TextCodec::toCp936(m_boxes.ComboBox1);
    m_state.FullDomain = name + '.' + zone;
    m_state.LanDomain = name + ".in." + zone;
    LoginSettings::updateLoginKey(m_boxes, m_state.LoginKey);
    m_state.SessionID.clear();

    post(WM_LOGIN_BEGIN);
    // The window shows its signing-in state before the first blocking request.
    QCoreApplication::processEvents();

    // A failed request, a text that is no address and an empty sign-in reply all end the same
    // way: the service could not be reached as far as the user can tell.
    auto fail = [this] {
        m_state.PublicIP.clear();
        post(WM_NET_ERROR);
    };
    m_httpClient1->setNoCache(true);
    const std::optional<QByteArray> address = tryFetch("http://" + m_echoHost + "/");
    if (!address || !passesInetAddr(*address))
        return fail();
    m_state.PublicIP = *address;
    m_state.LanIP = GetLanAddress();
    post(WM_IP_INFO);

    const QByteArray requestKey = Md5::hex(m_state.PublicIP + m_state.LoginKey);
    QByteArray url =
        "http://" + m_apiHost + "/auth/?domain=" + m_state.FullDomain + "&key=" + requestKey;
    if (m_boxes.Checkbox3 && !m_state.LanIP.isEmpty())
        url += "&inip=" + m_state.LanIP;
    const std::optional<QByteArray> reply = tryFetch(url);
    if (!reply || reply->isEmpty())
        return fail();
    switch (reply->at(0)) {
    case '0':
        m_state.SessionID = reply->mid(2);
        m_timer1.start(m_heartbeatMs);
        post(WM_LOGIN_OK);
        break;
    case '1':
        post(WM_LOGIN_FAILED);
        break;
    case '2':
        post(WM_NET_ERROR);
        break;
    default:
        // Any other reply has no meaning in the protocol: no notice, no change.
        break;
    }
}

void SessionProtocol::Timer1Timer() {
    Operation op(*this);
    try {
        QByteArray url = "http://" + m_apiHost + "/online/?session=" + m_state.SessionID;
        const QByteArray lan = GetLanAddress();
        if (m_boxes.Checkbox3 && lan != m_state.LanIP) {
            m_state.LanIP = lan;
            post(WM_IP_INFO);
            url += "&inip=" + m_state.LanIP;
        }
        const QByteArray reply = fetch(url);
        if (reply == "1") {
            m_timer1.stop();
            gotologin();
        } else if (reply == "2") {
            m_timer1.stop();
            post(WM_LOGIN_ELSEWHERE);
        }
    } catch (const std::exception&) {
        m_timer1.stop();
        post(WM_NET_ERROR);
    }
}

void SessionProtocol::gotologout() {
    Operation op(*this);
    // A fresh client with the constructor's defaults, freed whatever Get does.
    auto client = std::make_unique<THttpClient>();
    client->setAgent(m_httpClient1->Agent());
    client->setNoCache(true);
    client->setMaxBodyBytes(kMaxReplyBytes);
    if (m_signOutTimeoutMs > 0)
        client->setTimeoutMs(m_signOutTimeoutMs);
    m_timer1.stop();
    client->setURL("http://" + m_apiHost + "/logout/?session=" + m_state.SessionID);
    client->Get();
}

} // namespace zarq
