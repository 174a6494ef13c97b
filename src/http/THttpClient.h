#pragma once

#include "http/EHttpException.h"
#include "http/TAsyncSocket.h"
#include "http/THttpState.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QEventLoop;

namespace zarq {

// HTTP/1.0 client on a TAsyncSocket. Get() blocks its caller but keeps the thread's event loop
// running while it waits, so timers and posted work are handled in the middle of a request.
// Proxy, authentication, uploads, content coding, bandwidth control and SOCKS are settings
// only: they are kept but never change a request.
class THttpClient : public QObject {
public:
    // The largest reply header line, and the largest reply header, the client accepts.
    static constexpr qsizetype kMaxHeaderBytes = 1024 * 1024;

    explicit THttpClient(QObject* owner = nullptr);
    ~THttpClient() override;

    QString Name() const { return m_name; }
    void setName(const QString& v) { m_name = v; }
    QByteArray URL() const { return m_url; }
    void setURL(const QByteArray& v) { m_url = v; }
    QByteArray LocalAddr() const { return m_localAddr; }
    void setLocalAddr(const QByteArray& v) { m_localAddr = v; }
    QByteArray Proxy() const { return m_proxy; }
    void setProxy(const QByteArray& v) { m_proxy = v; }
    QByteArray ProxyPort() const { return m_proxyPort; }
    void setProxyPort(const QByteArray& v) { m_proxyPort = v; }
    QByteArray Sender() const { return m_sender; }
    void setSender(const QByteArray& v) { m_sender = v; }
    QByteArray Agent() const { return m_agent; }
    void setAgent(const QByteArray& v) { m_agent = v; }
    QByteArray Accept() const { return m_accept; }
    void setAccept(const QByteArray& v) { m_accept = v; }
    QByteArray AcceptLanguage() const { return m_acceptLanguage; }
    void setAcceptLanguage(const QByteArray& v) { m_acceptLanguage = v; }
    QByteArray Reference() const { return m_reference; }
    void setReference(const QByteArray& v) { m_reference = v; }
    QByteArray Connection() const { return m_connection; }
    void setConnection(const QByteArray& v) { m_connection = v; }
    QByteArray ProxyConnection() const { return m_proxyConnection; }
    void setProxyConnection(const QByteArray& v) { m_proxyConnection = v; }
    QByteArray Username() const { return m_username; }
    void setUsername(const QByteArray& v) { m_username = v; }
    QByteArray Password() const { return m_password; }
    void setPassword(const QByteArray& v) { m_password = v; }
    QByteArray ProxyUsername() const { return m_proxyUsername; }
    void setProxyUsername(const QByteArray& v) { m_proxyUsername = v; }
    QByteArray ProxyPassword() const { return m_proxyPassword; }
    void setProxyPassword(const QByteArray& v) { m_proxyPassword = v; }
    bool NoCache() const { return m_noCache; }
    void setNoCache(bool v) { m_noCache = v; }
    QDateTime ModifiedSince() const { return m_modifiedSince; } // invalid = 0
    void setModifiedSince(const QDateTime& v) { m_modifiedSince = v; }
    QByteArray Cookie() const { return m_cookie; }
    void setCookie(const QByteArray& v) { m_cookie = v; }
    QByteArray ContentTypePost() const { return m_contentTypePost; }
    void setContentTypePost(const QByteArray& v) { m_contentTypePost = v; }
    QByteArray ContentRangeBegin() const { return m_contentRangeBegin; }
    void setContentRangeBegin(const QByteArray& v) { m_contentRangeBegin = v; }
    QByteArray ContentRangeEnd() const { return m_contentRangeEnd; }
    void setContentRangeEnd(const QByteArray& v) { m_contentRangeEnd = v; }
    QByteArray AcceptRanges() const { return m_acceptRanges; }
    bool MultiThreaded() const { return m_multiThreaded; }
    void setMultiThreaded(bool v) { m_multiThreaded = v; }
    QByteArray RequestVer() const { return m_requestVer; }
    void setRequestVer(const QByteArray& v); // only "1.0" and "1.1"
    bool FollowRelocation() const { return m_followRelocation; }
    void setFollowRelocation(bool v) { m_followRelocation = v; }
    int LocationChangeMaxCount() const { return m_locationChangeMaxCount; }
    void setLocationChangeMaxCount(int v) { m_locationChangeMaxCount = v; }
    int LocationChangeCurCount() const { return m_locationChangeCurCount; }
    THttpAuthType ServerAuth() const { return m_serverAuth; }
    void setServerAuth(THttpAuthType v) { m_serverAuth = v; }
    THttpAuthType ProxyAuth() const { return m_proxyAuth; }
    void setProxyAuth(THttpAuthType v) { m_proxyAuth = v; }
    int BandwidthLimit() const { return m_bandwidthLimit; }
    void setBandwidthLimit(int v) { m_bandwidthLimit = v; }
    int BandwidthSampling() const { return m_bandwidthSampling; }
    void setBandwidthSampling(int v) { m_bandwidthSampling = v; }
    THttpClientOptions Options() const { return m_options; }
    void setOptions(THttpClientOptions v) { m_options = v; }
    unsigned Timeout() const { return m_timeoutMs / 1000; }
    void setTimeout(unsigned seconds) { m_timeoutMs = seconds * 1000u; }
    // Test hook: the inactivity limit in milliseconds.
    void setTimeoutMs(unsigned ms) { m_timeoutMs = ms; }
    QByteArray SocksServer() const { return m_socksServer; }
    void setSocksServer(const QByteArray& v) { m_socksServer = v; }
    QByteArray SocksLevel() const { return m_socksLevel; }
    void setSocksLevel(const QByteArray& v) { m_socksLevel = v; }
    QByteArray SocksPort() const { return m_socksPort; }
    void setSocksPort(const QByteArray& v) { m_socksPort = v; }
    QByteArray SocksUsercode() const { return m_socksUsercode; }
    void setSocksUsercode(const QByteArray& v) { m_socksUsercode = v; }
    QByteArray SocksPassword() const { return m_socksPassword; }
    void setSocksPassword(const QByteArray& v) { m_socksPassword = v; }
    TSocksAuthentication SocksAuthentication() const { return m_socksAuthentication; }
    void setSocksAuthentication(TSocksAuthentication v) { m_socksAuthentication = v; }

    // Not owned; may be null (the body is then read and dropped).
    QIODevice* ReceiveStream() const { return m_receiveStream; }
    void setReceiveStream(QIODevice* v) { m_receiveStream = v; }
    // The largest body of one reply the client takes (0, the default: no limit); a longer one
    // fails the request with "Reply body too large".
    qint64 MaxBodyBytes() const { return m_maxBodyBytes; }
    void setMaxBodyBytes(qint64 v) { m_maxBodyBytes = v; }

    int StatusCode() const { return m_statusCode; }
    QByteArray StatusText() const { return m_statusText; }
    quint16 RequestError() const { return m_requestError; }
    THttpState State() const { return m_state; }
    QByteArray RelocationURL() const { return m_relocationURL; }
    QList<QByteArray> ReplyHeaders() const { return m_replyHeaders; }
    QByteArray ReplyVersion() const { return m_replyVersion; }
    qint64 ContentSize() const { return m_contentSize; }
    QByteArray ReplyContentType() const { return m_replyContentType; }
    QByteArray ReplyTransferEncoding() const { return m_replyTransferEncoding; }
    QByteArray ReplyContentEncoding() const { return m_replyContentEncoding; }
    qint64 ReceivedCount() const { return m_receivedCount; }
    QByteArray DocumentName() const { return m_documentName; }
    TAsyncSocket& CtrlSocket() { return m_socket; }

    // Blocking GET of URL; throws EHttpException.
    void Get();

    // Notifications (sender first), all optional.
    std::function<void(THttpClient&)> OnStateChange;
    std::function<void(THttpClient&, quint16)> OnSessionConnected;
    std::function<void(THttpClient&)> OnSessionClosed;
    std::function<void(THttpClient&)> OnRequestHeaderBegin;
    std::function<void(THttpClient&)> OnRequestHeaderEnd;
    std::function<void(THttpClient&, const QByteArray& method, QList<QByteArray>& headers)>
        OnBeforeHeaderSend;
    std::function<void(THttpClient&, QByteArray& line)> OnCommand;
    std::function<void(THttpClient&)> OnHeaderBegin;
    std::function<void(THttpClient&)> OnHeaderEnd;
    std::function<void(THttpClient&)> OnHeaderData;
    std::function<void(THttpClient&, const QByteArray& value, bool& accept)> OnCookie;
    std::function<void(THttpClient&)> OnDocBegin;
    std::function<void(THttpClient&, const char* data, qsizetype len)> OnDocData;
    std::function<void(THttpClient&)> OnDocEnd;
    std::function<void(THttpClient&)> OnLocationChange;
    std::function<void(THttpClient&, int count, bool& allow)> OnLocationChangeExceeded;
    std::function<void(THttpClient&, THttpRequest, quint16 error)> OnRequestDone;
    std::function<void(THttpClient&, const QByteArray& line)> OnDataPush;
    std::function<void(THttpClient&, const QByteArray& line)> OnDataPush2;
    std::function<void(THttpClient&, const QByteArray& text)> OnSocketError;

private:
    enum class LineHandler { None, Header, Body };
    enum class ChunkStep { Size, Extension, Data, DataEnd, Done };

    // Request side (THttpClient.cpp).
    void setState(THttpState s);
    void startRequest(THttpRequest kind);
    void login();
    void postLoginNotice();
    void postReadyNotice();
    void abortRequest(const QByteArray& text, quint16 error);
    void onDnsLookupDone(quint16 error);
    void onSessionConnected(quint16 error);
    void sendRequest(const QByteArray& method, const QByteArray& version);
    QList<QByteArray> requestLines(const QByteArray& method, const QByteArray& version);
    void deriveDocumentName(const QByteArray& path);
    void adjustDocumentExtension();

    // Reply side (THttpClientReply.cpp).
    void onDataAvailable();
    void handleHeaderLine(const QByteArray& line);
    void endHeader();
    void handBodyBytes();
    // Once the body has ended: the pending relocation, or the ready notice.
    void afterBodySlice();
    void getBodyLineNext(const char* data, qsizetype len);
    void writeBody(const char* data, qsizetype len);
    void bodyComplete();
    void fireHeaderEnd();
    void locationTarget(const QByteArray& value);
    void startRelocation();
    void onRelocationClosed();
    bool passLimit();
    void cutStreamBack();
    void onSessionClosed(quint16 error);
    void cutLines();
    void failReplyTooLarge(const QByteArray& text);
    bool bodyPastLimit() const { return m_maxBodyBytes > 0 && m_receivedCount > m_maxBodyBytes; }

    TAsyncSocket m_socket;
    QString m_name;
    QByteArray m_url, m_localAddr = "0.0.0.0", m_proxy, m_proxyPort = "80", m_sender;
    QByteArray m_agent = "Mozilla/4.0 (compatible; HTTP client)";
    QByteArray m_accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    QByteArray m_acceptLanguage, m_reference, m_connection, m_proxyConnection;
    QByteArray m_username, m_password, m_proxyUsername, m_proxyPassword;
    bool m_noCache = false;
    QDateTime m_modifiedSince;
    QByteArray m_cookie, m_contentTypePost = "application/x-www-form-urlencoded";
    QByteArray m_contentRangeBegin, m_contentRangeEnd, m_acceptRanges;
    bool m_multiThreaded = false;
    QByteArray m_requestVer = "1.0";
    bool m_followRelocation = true;
    int m_locationChangeMaxCount = 5;
    int m_locationChangeCurCount = 0;
    THttpAuthType m_serverAuth = httpAuthNone, m_proxyAuth = httpAuthNone;
    int m_bandwidthLimit = 10000, m_bandwidthSampling = 1000;
    THttpClientOptions m_options = 0;
    unsigned m_timeoutMs = 30000;
    QByteArray m_socksServer, m_socksLevel = "5", m_socksPort, m_socksUsercode, m_socksPassword;
    TSocksAuthentication m_socksAuthentication = socksNoAuthentication;
    QIODevice* m_receiveStream = nullptr;
    qint64 m_maxBodyBytes = 0;

    // Transaction state.
    THttpState m_state = httpReady;
    THttpRequest m_requestType = httpABORT;
    int m_statusCode = 0;
    QByteArray m_statusText;
    quint16 m_requestError = 0;
    QByteArray m_relocationURL, m_replyVersion, m_documentName;
    QList<QByteArray> m_replyHeaders;
    qint64 m_contentSize = -1, m_receivedCount = 0;
    QByteArray m_replyContentType, m_replyTransferEncoding, m_replyContentEncoding;
    QByteArray m_currentUsername, m_currentPassword, m_currentConnection, m_currentProxyConnection;
    QByteArray m_connectHost, m_connectPort, m_connectProtocol;
    QByteArray m_targetHost, m_targetPort, m_requestPath;
    QByteArray m_connectedHost, m_connectedPort, m_connectedProtocol;
    bool m_closeReq = false, m_relocationPending = false, m_inHeader = false;
    bool m_relocating = false;
    LineHandler m_lineHandler = LineHandler::None;
    QByteArray m_receiveBuffer;
    qsizetype m_receiveStart = 0; // consumed bytes at the front of the buffer
    qsizetype m_receiveLength = 0;
    qsizetype m_headerBytes = 0;
    int m_headerLineCount = 0, m_bodyStepCount = 0;
    qint64 m_streamStartSize = 0;
    qint64 m_chunkLength = 0, m_chunkReceived = 0;
    ChunkStep m_chunkStep = ChunkStep::Size;
    quint64 m_requestSerial = 0;
    quint64 m_readyPending = 0; // request whose ready notice waits in the queue
    QEventLoop* m_waitLoop = nullptr;
};

} // namespace zarq
