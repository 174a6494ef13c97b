#include "update/CurlRequest.h"

#include "update/CurlSession.h"

#include "platform/TextCodec.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace zarq {

namespace {

// Body bytes held at most before curl is paused (plus one hand-over of curl),
// and the level below which a paused transfer goes on: the gap keeps pauses rare.
constexpr qsizetype kBufferLimit = 128 * 1024;
constexpr qsizetype kResumeLevel = 32 * 1024;
// curl's receive buffer: what one read from the socket, and one hand-over, takes at most.
constexpr qsizetype kReceiveBuffer = 64 * 1024;

} // namespace

QByteArray CurlRequest::escapedUrl(const QByteArray& url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(url.size());
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::strchr("\"<>^`{|}", c) != nullptr) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

CurlRequest::Setup CurlRequest::Setup::ftp(const QByteArray& url, const QString& user,
                                           const QString& password, bool passive) {
    Setup setup;
    setup.url = url;
    if (!user.isEmpty() && !password.isEmpty()) {
        setup.user = TextCodec::toCp936(user);
        setup.password = TextCodec::toCp936(password);
    }
    setup.ftpPassive = passive;
    return setup;
}

CurlRequest::CurlRequest(CurlSession& session, Setup setup)
    : m_session(&session), m_setup(std::move(setup)) {}

CurlRequest::~CurlRequest() {
    if (m_session && m_added)
        m_session->remove(this);
    if (m_easy)
        curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_headerList);
}

void CurlRequest::detach() {
    m_session = nullptr;
}

bool CurlRequest::open() {
    if (!m_session || !m_session->valid() || !(m_easy = curl_easy_init())) {
        m_result = CURLE_FAILED_INIT;
        return false;
    }
    const CurlSession::Options& o = m_session->options();
    m_setup.url = escapedUrl(m_setup.url);
    curl_easy_setopt(m_easy, CURLOPT_URL, m_setup.url.constData());
    curl_easy_setopt(m_easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CurlRequest::writeCallback);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CurlRequest::headerCallback);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    // Every request on a connection of its own. Taking over a parked FTP control connection,
    // libcurl (7.88) at times never asks to watch its socket again, and the request would
    // wait for its stall limit; one more connect or login per file costs little here.
    curl_easy_setopt(m_easy, CURLOPT_FORBID_REUSE, 1L);
    // Fewer, larger reads from the socket; the body still reaches the file in small blocks.
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, long(kReceiveBuffer));
    // Only these schemes, also after a redirection: never file:// or anything else a server
    // could point to.
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    // What began over https stays on https: a redirection to http or ftp would hand the rest of
    // the transfer to whoever sits on the network path.
    m_secureOrigin = m_setup.url.left(8).toLower() == "https://";
    curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     m_secureOrigin ? "https" : "http,https,ftp");
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!o.caInfo.isEmpty())
        curl_easy_setopt(m_easy, CURLOPT_CAINFO, o.caInfo.constData());
    if (!o.agent.isEmpty())
        curl_easy_setopt(m_easy, CURLOPT_USERAGENT, o.agent.constData());
    if (!o.proxy.isEmpty())
        curl_easy_setopt(m_easy, CURLOPT_PROXY, o.proxy.constData());
    if (!o.proxyUser.isEmpty()) {
        curl_easy_setopt(m_easy, CURLOPT_PROXYUSERNAME, o.proxyUser.constData());
        curl_easy_setopt(m_easy, CURLOPT_PROXYPASSWORD, o.proxyPassword.constData());
    }
    if (o.connectTimeoutMs > 0)
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, o.connectTimeoutMs);
    for (const QByteArray& line : m_setup.headers)
        m_headerList = curl_slist_append(m_headerList, line.constData());
    if (m_headerList)
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headerList);
    if (!m_setup.user.isEmpty()) {
        curl_easy_setopt(m_easy, CURLOPT_USERNAME, m_setup.user.constData());
        curl_easy_setopt(m_easy, CURLOPT_PASSWORD, m_setup.password.constData());
    }
    // Active FTP: the server connects back to the address of our control connection.
    curl_easy_setopt(m_easy, CURLOPT_FTPPORT, m_setup.ftpPassive ? nullptr : "-");
    curl_easy_setopt(m_easy, CURLOPT_TRANSFERTEXT, 0L);
    if (m_setup.noBody)
        curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
    if (m_setup.post) {
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_setup.postData.size()));
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDS, m_setup.postData.constData());
    }

    m_session->add(this);
    m_added = true;
    if (o.stallTimeoutSeconds > 0) {
        // One timer for the whole request, not curl's speed check, which wakes every second:
        // a stalled server then costs nothing until the limit is reached.
        m_stall.setSingleShot(true);
        QObject::connect(&m_stall, &QTimer::timeout, [this] { checkStall(); });
        m_lastData.start();
        m_stall.start(int(o.stallTimeoutSeconds * 1000));
    }
    m_started.start();
    if (o.minimumRate > 0 && o.rateWindowSeconds > 0) {
        // One look per window: a slow host costs a wake-up a minute, not one a second.
        QObject::connect(&m_rate, &QTimer::timeout, [this] { checkRate(); });
        m_rate.start(int(o.rateWindowSeconds * 1000));
    }
    if (o.deadlineSeconds > 0) {
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &QTimer::timeout, [this] { checkDeadline(); });
        m_deadlineMs = qint64(o.deadlineSeconds) * 1000;
        m_deadline.start(int(m_deadlineMs));
    }
    while (!headReady())
        waitOrAbort();
    extendDeadline();
    return !m_done || m_result == CURLE_OK || m_bodyStarted || m_headDone;
}

void CurlRequest::extendDeadline() {
    const qint64 length = contentLength();
    if (!m_session || !m_deadline.isActive() || length <= 0 ||
        m_session->options().deadlineBytesPerSecond <= 0)
        return;
    const CurlSession::Options& o = m_session->options();
    m_deadlineMs += length / o.deadlineBytesPerSecond * 1000;
    m_deadline.start(int(qMax<qint64>(
        0, qMin<qint64>(m_deadlineMs - m_started.elapsed(), std::numeric_limits<int>::max()))));
}

void CurlRequest::checkRate() {
    if (m_done || !m_session)
        return;
    const CurlSession::Options& o = m_session->options();
    const qint64 got = m_windowBytes;
    m_windowBytes = 0;
    // A transfer held back because the reader is slow is not the host's fault.
    if (m_paused || got >= qint64(o.minimumRate) * o.rateWindowSeconds)
        return;
    abort(CURLE_OPERATION_TIMEDOUT,
          QByteArray("Transfer too slow: ") + QByteArray::number(got) + " bytes in the last " +
              QByteArray::number(qint64(o.rateWindowSeconds)) + " seconds (at least " +
              QByteArray::number(qint64(o.minimumRate)) + " bytes a second needed)");
    m_session->wake();
}

void CurlRequest::checkDeadline() {
    if (m_done || !m_session)
        return;
    abort(CURLE_OPERATION_TIMEDOUT, QByteArray("Transfer not finished within its deadline of ") +
                                        QByteArray::number(m_deadlineMs / 1000) + " seconds");
    m_session->wake();
}

bool CurlRequest::headReady() const {
    return m_done || m_headDone || m_bodyStarted || !m_session;
}

long CurlRequest::status() const {
    long code = 0;
    if (m_easy)
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

qint64 CurlRequest::contentLength() const {
    curl_off_t length = -1;
    if (m_easy)
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return qint64(length);
}

qint64 CurlRequest::peek(const char** data) {
    if (m_paused && buffered() < kResumeLevel) {
        m_paused = false;
        // May hand over the held data at once (through writeCallback); the rest arrives through
        // the event loop.
        curl_easy_pause(m_easy, CURLPAUSE_CONT);
    }
    while (buffered() == 0 && !m_done && m_session)
        waitOrAbort();
    if (buffered() == 0) {
        if (!m_session && !m_done)
            m_result = CURLE_ABORTED_BY_CALLBACK;
        return m_result == CURLE_OK ? 0 : -1;
    }
    *data = m_buffer.constData() + m_readPos;
    return buffered();
}

void CurlRequest::consume(qint64 count) {
    // Only counted here: the bytes stay in place until curl hands over more (writeCallback).
    m_readPos += qMin<qint64>(count, buffered());
    m_lastData.restart(); // a request paused because we read slowly is not a stalled one
}

qint64 CurlRequest::read(char* into, qint64 max) {
    const char* data = nullptr;
    const qint64 n = qMin(max, peek(&data));
    if (n > 0) {
        std::memcpy(into, data, size_t(n));
        consume(n);
    }
    return n;
}

QString CurlRequest::errorText() const {
    if (m_result == CURLE_OK)
        return QString();
    if (m_result == CURLE_UNSUPPORTED_PROTOCOL && m_secureOrigin)
        return QStringLiteral("redirection from https to another protocol refused (%1)")
            .arg(QString::fromLocal8Bit(m_errorBuffer[0] ? m_errorBuffer
                                                         : curl_easy_strerror(m_result))
                     .trimmed());
    if (m_errorBuffer[0])
        return QString::fromLocal8Bit(m_errorBuffer).trimmed();
    return QString::fromLocal8Bit(curl_easy_strerror(m_result));
}

void CurlRequest::checkStall() {
    if (m_done || !m_session)
        return;
    const qint64 limit = m_session->options().stallTimeoutSeconds * 1000;
    const qint64 quiet = m_lastData.elapsed();
    if (quiet < limit) {
        m_stall.start(int(limit - quiet));
        return;
    }
    abort(CURLE_OPERATION_TIMEDOUT,
          QByteArray("No data received for ") +
              QByteArray::number(qint64(m_session->options().stallTimeoutSeconds)) + " seconds");
    m_session->wake();
}

void CurlRequest::waitOrAbort() {
    if (!m_session->waitForActivity())
        abort(CURLE_ABORTED_BY_CALLBACK, "The program is ending");
}

void CurlRequest::abort(CURLcode result, const QByteArray& text) {
    std::snprintf(m_errorBuffer, sizeof m_errorBuffer, "%s", text.constData());
    if (m_added) {
        m_session->remove(this);
        m_added = false;
    }
    finished(result);
}

void CurlRequest::finished(CURLcode result) {
    m_done = true;
    m_result = result;
}

size_t CurlRequest::writeCallback(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequest*>(self);
    const size_t bytes = size * count;
    if (request->buffered() >= kBufferLimit) {
        request->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    // Read bytes are dropped from the front only when fewer remain than were read, so each
    // byte is moved at most about once.
    if (request->m_readPos > 0 && request->m_readPos >= request->buffered()) {
        request->m_buffer.remove(0, request->m_readPos);
        request->m_readPos = 0;
    }
    request->m_buffer.append(data, qsizetype(bytes));
    request->m_windowBytes += qint64(bytes);
    request->m_bodyStarted = true;
    request->m_lastData.restart();
    return bytes;
}

size_t CurlRequest::headerCallback(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<CurlRequest*>(self);
    const size_t bytes = size * count;
    const QByteArray line(data, qsizetype(bytes));
    request->m_lastData.restart();
    if (line.startsWith("HTTP/")) {
        request->m_locationInBlock = false;
    } else if (line.toLower().startsWith("location:")) {
        request->m_locationInBlock = true;
    } else if (line == "\r\n" || line == "\n") {
        // The end of one reply's head. Interim replies (1xx) and redirections that curl follows
        // are not the head of the reply we read.
        const long code = request->status();
        const bool followed = code >= 300 && code < 400 && request->m_locationInBlock;
        if (code >= 200 && !followed)
            request->m_headDone = true;
    }
    return bytes;
}

} // namespace zarq
