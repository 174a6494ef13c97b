// Request side of THttpClient: settings, the blocking Get, starting a request, name lookup,
// connect and the request bytes.
#include "http/THttpClient.h"

#include "http/ESocketException.h"
#include "http/HttpRequestLines.h"
#include "http/HttpUrl.h"
#include "platform/SocketError.h"
#include "platform/TickSource.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace zarq {

namespace {

// Exit code with which Get's own wake-ups leave its nested event loop. Any other code means
// the application is quitting.
constexpr int kWake = 0x5a41;

} // namespace

THttpClient::THttpClient(QObject* owner) : QObject(owner), m_socket(this) {
    m_socket.OnDnsLookupDone = [this](TAsyncSocket&, quint16 e) { onDnsLookupDone(e); };
    m_socket.OnSessionConnected = [this](TAsyncSocket&, quint16 e) { onSessionConnected(e); };
    m_socket.OnDataAvailable = [this](TAsyncSocket&, quint16) { onDataAvailable(); };
    m_socket.OnSessionClosed = [this](TAsyncSocket&, quint16 e) {
        if (m_relocating)
            onRelocationClosed();
        else
            onSessionClosed(e);
    };
    // Socket failures are heard here instead of being raised; the transaction sees them as
    // missing progress and ends on its inactivity limit.
    m_socket.OnError = [this](TAsyncSocket&, const QByteArray& text) {
        if (OnSocketError)
            OnSocketError(*this, text);
    };
}

THttpClient::~THttpClient() {
    m_socket.OnSessionClosed = nullptr;
    m_socket.OnDnsLookupDone = nullptr;
}

void THttpClient::setRequestVer(const QByteArray& v) {
    if (v == m_requestVer)
        return;
    if (v != "1.0" && v != "1.1")
        throw EHttpException("Insupported HTTP version", 5);
    m_requestVer = v;
}

void THttpClient::setState(THttpState s) {
    if (s == m_state)
        return;
    m_state = s;
    if (OnStateChange)
        OnStateChange(*this);
    if (s != httpReady)
        return;
    const THttpRequest kind = m_requestType;
    if (OnRequestDone)
        QMetaObject::invokeMethod(
            this,
            [this, kind] {
                if (OnRequestDone)
                    OnRequestDone(*this, kind, m_requestError);
            },
            Qt::QueuedConnection);
    if (m_waitLoop)
        m_waitLoop->exit(kWake);
}

void THttpClient::postReadyNotice() {
    // Tagged with the request: a notice left over from an earlier request must not end this one.
    // One pending notice is enough: a second one would find the state already changed.
    if (m_readyPending == m_requestSerial)
        return;
    const quint64 serial = m_requestSerial;
    m_readyPending = serial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (m_readyPending == serial)
                m_readyPending = 0;
            if (serial == m_requestSerial)
                setState(httpReady);
        },
        Qt::QueuedConnection);
}

void THttpClient::postLoginNotice() {
    const quint64 serial = m_requestSerial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial == m_requestSerial && m_state != httpReady && m_state != httpAborting)
                login();
        },
        Qt::QueuedConnection);
}

void THttpClient::Get() {
    startRequest(httpGET);
    m_socket.CreateCounter();
    m_socket.Counter()->Reset();

    QEventLoop loop;
    QTimer wake;
    wake.setInterval(int(std::clamp(m_timeoutMs, 1u, 1000u)));
    QObject::connect(&wake, &QTimer::timeout, &loop, [&loop] { loop.exit(kWake); });
    wake.start();
    m_waitLoop = &loop; // never nested: a second Get on this client is refused as busy
    while (m_state != httpReady) {
        // Sleeps until something happens: socket events, posted notices, the wake-up timer.
        const int rc = loop.exec();
        if (m_state == httpReady)
            break;
        if (rc != kWake) {
            abortRequest("Request aborted", 3);
        } else if (m_socket.Counter()->IdleMs(TickCount()) >= m_timeoutMs) {
            abortRequest("Request aborted on timeout", 8);
        }
    }
    m_waitLoop = nullptr;

    if (m_statusCode >= 400 && m_statusCode != 401 && m_statusCode != 407)
        throw EHttpException(m_statusText, quint16(m_statusCode));
}

void THttpClient::abortRequest(const QByteArray& text, quint16 error) {
    const bool wasLookup = m_state == httpDnsLookup;
    setState(httpAborting);
    m_relocationPending = false;
    m_relocating = false;
    if (wasLookup)
        m_socket.CancelDnsLookup(); // its "cancelled" notice is ignored while aborting
    m_statusCode = 404;
    m_statusText = text;
    m_requestError = error;
    if (wasLookup)
        onSessionClosed(0);
    else
        m_socket.Close();
    setState(httpReady);
}

void THttpClient::startRequest(THttpRequest kind) {
    if (m_state != httpReady)
        throw EHttpException("HTTP component " + m_name.toUtf8() + " is busy", 1);
    const bool previousKeptOpen = !m_closeReq;
    m_locationChangeCurCount = 0;
    m_requestType = kind;
    ++m_requestSerial;
    m_replyHeaders.clear();
    m_requestError = 0;
    m_documentName.clear();
    m_statusCode = 0;
    m_receivedCount = 0;
    m_headerLineCount = 0;
    m_bodyStepCount = 0;
    m_contentSize = -1;
    m_replyContentType.clear();
    m_replyTransferEncoding.clear();
    m_replyContentEncoding.clear();
    m_relocationURL = m_url;
    m_closeReq = m_requestVer == "1.0";
    m_inHeader = false;
    m_relocationPending = false;
    m_relocating = false;
    m_lineHandler = LineHandler::None;
    m_receiveStart = m_receiveLength = 0;
    // A relocation cuts the stream back to where this request began, never further: a stream
    // the caller reuses keeps what it held before.
    m_streamStartSize = m_receiveStream ? m_receiveStream->size() : 0;

    m_currentUsername = m_username;
    m_currentPassword = m_password;
    m_currentConnection = m_connection;
    m_currentProxyConnection = m_proxyConnection;

    const HttpUrlParts parts = SplitHttpUrl(m_url, m_requestPath);
    m_requestPath = parts.path;
    m_targetHost = parts.host;
    m_connectProtocol = parts.scheme;
    if (!parts.user.isEmpty())
        m_currentUsername = parts.user;
    if (!parts.password.isEmpty())
        m_currentPassword = parts.password;
    const QByteArray port = parts.port.isEmpty() ? QByteArray("80") : parts.port;
    m_targetPort = port;
    if (m_connectProtocol.isEmpty())
        m_connectProtocol = "http";
    if (m_requestPath.isEmpty())
        m_requestPath = "/";
    deriveDocumentName(m_requestPath);
    m_connectHost = parts.host;
    m_connectPort = port;

    if (m_socket.State() == TSocketState::wsConnected) {
        // A connection is reused only when the last reply left it open for more.
        if (previousKeptOpen && !m_socket.ClosePending() && m_connectHost == m_connectedHost &&
            m_connectPort == m_connectedPort && m_connectProtocol == m_connectedProtocol) {
            setState(httpNotConnected);
            onSessionConnected(0);
            return;
        }
        m_socket.Abort();
    } else if (m_socket.State() != TSocketState::wsClosed) {
        m_socket.Abort();
    }
    setState(httpNotConnected);
    login();
}

void THttpClient::login() {
    m_relocating = false;
    if (m_socket.State() == TSocketState::wsConnected) {
        onSessionConnected(0);
        return;
    }
    setState(httpDnsLookup);
    try {
        m_socket.setLocalAddr(m_localAddr);
        m_socket.DnsLookup(m_connectHost);
    } catch (const std::exception& e) {
        m_statusCode = 404;
        m_statusText = QByteArray(e.what());
        setState(httpReady);
    }
}

void THttpClient::onDnsLookupDone(quint16 error) {
    if (m_state == httpAborting)
        return;
    if (error != 0) {
        m_requestError = error;
        m_statusCode = 404;
        m_statusText = "can't resolve hostname to IP address";
        onSessionClosed(error);
        return;
    }
    setState(httpDnsLookupDone);
    m_socket.setAddr(m_socket.DnsResult());
    m_socket.setLocalAddr(m_localAddr);
    m_socket.setPort(m_connectPort);
    m_socket.setProto("tcp");
    m_connectedHost = m_connectHost;
    m_connectedPort = m_connectPort;
    m_connectedProtocol = m_connectProtocol;
    if (m_connectProtocol != "http") {
        m_requestError = m_socket.LastError();
        m_statusCode = 501;
        m_statusText = "Protocol \"" + m_connectProtocol + "\" not implemented";
        m_socket.Close();
        onSessionClosed(m_socket.LastError());
        return;
    }
    try {
        m_socket.Connect();
    } catch (const ESocketException&) {
        const quint16 err = m_socket.LastError();
        m_requestError = err;
        m_statusCode = 404;
        m_statusText =
            "can't connect: " + SocketErrorDesc(err) + " (Error #" + QByteArray::number(err) + ")";
        m_socket.Close();
        onSessionClosed(err);
    }
}

void THttpClient::onSessionConnected(quint16 error) {
    if (error != 0) {
        // The socket closes itself next; its close ends the transaction.
        m_requestError = error;
        m_statusCode = 404;
        m_statusText = SocketErrorDesc(error) + " (Error #" + QByteArray::number(error) + ")";
        if (OnSessionConnected)
            OnSessionConnected(*this, error);
        return;
    }
    m_relocationPending = false;
    setState(httpConnected);
    if (OnSessionConnected)
        OnSessionConnected(*this, 0);
    m_lineHandler = LineHandler::Header;
    setState(httpWaitingHeader);
    try {
        sendRequest("GET", m_requestVer);
    } catch (...) {
        // The close ends the transaction without a status.
        m_socket.Close();
    }
}

QList<QByteArray> THttpClient::requestLines(const QByteArray& method, const QByteArray& version) {
    HttpRequestFields f;
    f.method = method;
    f.path = m_requestPath;
    f.version = version;
    f.sender = m_sender;
    f.accept = m_accept;
    f.reference = m_reference;
    f.connection = m_currentConnection;
    f.acceptLanguage = m_acceptLanguage;
    f.contentTypePost = m_contentTypePost;
    f.agent = m_agent;
    f.host = m_targetHost;
    f.port = m_targetPort;
    f.noCache = m_noCache;
    f.proxyConnection = m_currentProxyConnection;
    f.modifiedSince = m_modifiedSince;
    f.cookie = m_cookie;
    f.rangeBegin = m_contentRangeBegin;
    f.rangeEnd = m_contentRangeEnd;
    // A range is asked for once.
    m_contentRangeBegin.clear();
    m_contentRangeEnd.clear();
    return ComposeRequestLines(f);
}

void THttpClient::sendRequest(const QByteArray& method, const QByteArray& version) {
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(*this);
    QList<QByteArray> lines = requestLines(method, version);
    m_acceptRanges.clear();
    if (OnBeforeHeaderSend)
        OnBeforeHeaderSend(*this, method, lines);
    QByteArray request;
    request.reserve(512);
    for (QByteArray& line : lines) {
        if (OnCommand)
            OnCommand(*this, line);
        request += line;
        request += "\r\n";
    }
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(*this);
    request += "\r\n";
    m_socket.PutDataInSendBuffer(request.constData(), request.size());
    m_socket.Send(nullptr, 0);
}

void THttpClient::deriveDocumentName(const QByteArray& path) {
    QByteArray p = path;
    const qsizetype q = p.indexOf('?');
    if (q >= 0)
        p.truncate(q);
    if (p.isEmpty() || p.endsWith('/')) {
        m_documentName = "document.htm";
        return;
    }
    m_documentName = p.mid(p.lastIndexOf('/') + 1).left(255);
}

void THttpClient::adjustDocumentExtension() {
    if (m_replyContentType != "text/html")
        return;
    const qsizetype dot = m_documentName.lastIndexOf('.');
    const QByteArray ext = dot < 0 ? QByteArray() : m_documentName.mid(dot).toLower();
    if (ext == ".exe")
        m_documentName = m_documentName.left(dot + 1) + "htm";
    else if (dot < 0)
        m_documentName += ".htm";
}

} // namespace zarq
