// Reply side of THttpClient: cutting received bytes into lines, the status and header lines,
// the body (declared length, until close, chunked), relocations and the end of the connection.
#include "http/HttpUrl.h"
#include "http/THttpClient.h"

#include <cstring>
#include <stdexcept>

namespace zarq {

namespace {

// A status code that is not a number ends the handling of the read event it arrived in.
struct StatusConversionError : std::runtime_error {
    StatusConversionError() : std::runtime_error("status code is not a number") {}
};

} // namespace

void THttpClient::onDataAvailable() {
    if (m_receiveStart > 0) {
        const qsizetype left = m_receiveLength - m_receiveStart;
        std::memmove(m_receiveBuffer.data(), m_receiveBuffer.constData() + m_receiveStart,
                     size_t(left));
        m_receiveStart = 0;
        m_receiveLength = left;
    }
    if (m_receiveBuffer.size() < m_receiveLength + 8192) {
        m_receiveBuffer.resize(m_receiveLength + 8193);
        m_receiveBuffer[m_receiveLength + 8192] = 0;
    }
    char* base = m_receiveBuffer.data();
    const qsizetype n =
        m_socket.Receive(base + m_receiveLength, m_receiveBuffer.size() - m_receiveLength - 1);
    if (m_requestType == httpABORT || n <= 0)
        return; // bytes before any request are dropped
    m_receiveLength += n;
    base[m_receiveLength] = 0;

    if (m_state != httpWaitingBody)
        cutLines();
    if (m_state == httpWaitingBody) {
        handBodyBytes();
        afterBodySlice();
    }
}

void THttpClient::afterBodySlice() {
    if (m_lineHandler != LineHandler::None)
        return; // more body to come
    if (m_relocationPending)
        startRelocation();
    else
        postReadyNotice();
}

void THttpClient::cutLines() {
    // Once the header ends with a body, what follows in the buffer is body, not lines.
    while (m_receiveLength > m_receiveStart && m_state != httpWaitingBody) {
        const char* start = m_receiveBuffer.constData() + m_receiveStart;
        const qsizetype avail = m_receiveLength - m_receiveStart;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', size_t(avail)));
        const qsizetype lineLen = lf ? lf - start : avail;
        if (lineLen > kMaxHeaderBytes) {
            // A line without end must not eat all memory.
            if (m_state == httpWaitingHeader)
                return failReplyTooLarge("Reply header too large");
            m_receiveStart = m_receiveLength = 0;
            return;
        }
        if (!lf)
            return;
        const qsizetype keep = (lineLen > 0 && start[lineLen - 1] == '\r') ? lineLen - 1 : lineLen;
        const QByteArray line(start, keep);
        m_receiveStart += lineLen + 1;
        if (m_receiveStart == m_receiveLength)
            m_receiveStart = m_receiveLength = 0;
        if (m_state == httpWaitingHeader || m_state == httpWaitingBody) {
            if (m_lineHandler == LineHandler::Header)
                handleHeaderLine(line);
            else
                postReadyNotice();
        } else if (OnDataPush) {
            OnDataPush(*this, line);
        }
    }
}

void THttpClient::failReplyTooLarge(const QByteArray& text) {
    m_statusCode = 404;
    m_statusText = text;
    m_requestError = 10040; // "Message too long"
    m_inHeader = false;
    m_lineHandler = LineHandler::None;
    m_relocationPending = false;
    m_relocating = false;
    m_receiveStart = m_receiveLength = 0;
    m_socket.Abort(); // its close ends the transaction
}

void THttpClient::handleHeaderLine(const QByteArray& line) {
    // The cap is per reply: every reply of a relocation chain has its own header.
    if (m_headerLineCount <= 0)
        m_headerBytes = 0;
    m_headerBytes += line.size() + 2;
    if (m_headerBytes > kMaxHeaderBytes)
        return failReplyTooLarge("Reply header too large");
    if (m_headerLineCount == 0) {
        m_inHeader = true;
        if (OnHeaderBegin)
            OnHeaderBegin(*this);
    } else if (m_headerLineCount == -1) {
        m_headerLineCount = 0;
    }
    ++m_headerLineCount;

    if (m_headerLineCount == 1 && line.startsWith('<') &&
        (line.left(6).toUpper() == "<HTML>" || line.left(9).toUpper() == "<!DOCTYPE")) {
        // A body without header; the first line itself is not part of it.
        if (m_replyContentType.isEmpty())
            m_replyContentType = "text/html";
        setState(httpWaitingBody);
        m_lineHandler = LineHandler::Body;
        fireHeaderEnd();
        getBodyLineNext(nullptr, 0);
        return afterBodySlice();
    }
    if (line.isEmpty())
        return endHeader();

    m_replyHeaders.append(line);
    if (m_headerLineCount == 1) {
        if (!line.startsWith("HTTP/1.0") && !line.startsWith("HTTP/1.1")) {
            if (OnDataPush2)
                OnDataPush2(*this, line);
        } else {
            m_replyVersion = line.mid(5, 3);
            m_closeReq = m_requestVer == "1.0" || m_replyVersion == "1.0";
            qsizetype at = line.size() - 1;
            for (qsizetype i = 9; i < line.size() - 1; ++i) {
                if (line[i] >= '0' && line[i] <= '9') {
                    at = i;
                    break;
                }
            }
            const QByteArray code = line.mid(at, 3);
            bool ok = !code.isEmpty();
            for (char c : code)
                ok = ok && c >= '0' && c <= '9';
            if (!ok)
                throw StatusConversionError();
            m_statusCode = code.toInt();
            m_statusText = line.mid(at + 4);
        }
    } else if (const qsizetype colon = line.indexOf(':'); colon >= 0) {
        const QByteArray name = line.left(colon).toLower();
        qsizetype v = colon + 1;
        while (v < line.size() && line[v] == ' ')
            ++v;
        const QByteArray value = line.mid(v);
        if (name == "location") {
            if (m_requestType == httpPUT) {
                m_relocationURL = value;
            } else if (m_followRelocation) {
                m_relocationPending = true;
                locationTarget(value);
            }
        } else if (name == "content-length") {
            bool ok = false;
            const qint64 size = value.trimmed().toLongLong(&ok);
            m_contentSize = ok ? size : -1;
        } else if (name == "transfer-encoding") {
            m_replyTransferEncoding = value.toLower();
        } else if (name == "content-range") {
            const qsizetype dash = value.indexOf('-');
            const qsizetype slash = value.indexOf('/');
            if (dash >= 0) {
                m_contentRangeBegin = value.mid(6, dash - 6);
                m_contentRangeEnd =
                    slash > dash ? value.mid(dash + 1, slash - dash - 1) : value.mid(dash + 1);
            }
        } else if (name == "accept-ranges") {
            m_acceptRanges = value;
        } else if (name == "content-type") {
            m_replyContentType = value.toLower();
        } else if (name == "set-cookie") {
            bool accept = true;
            if (OnCookie)
                OnCookie(*this, value, accept);
        } else if (name == "connection" || name == "proxy-connection") {
            const QByteArray c = value.trimmed().toLower();
            if (c == "close")
                m_closeReq = true;
            else if (c == "keep-alive")
                m_closeReq = false;
        } else if (name == "content-encoding") {
            m_replyContentEncoding = value;
        }
    }
    if (OnHeaderData)
        OnHeaderData(*this);
}

void THttpClient::fireHeaderEnd() {
    m_inHeader = false;
    if (OnHeaderEnd)
        OnHeaderEnd(*this);
}

void THttpClient::endHeader() {
    if (m_replyVersion == "1.1" && m_statusCode == 100) {
        m_replyHeaders.clear(); // an interim reply; the real header follows
        m_headerLineCount = -1;
        return;
    }
    fireHeaderEnd();
    if (m_state == httpReady) {
        m_receiveStart = m_receiveLength = 0;
        return;
    }
    static constexpr int kNoBody[] = {204, 301, 302, 304, 401, 407};
    const bool noBodyStatus =
        m_statusCode < 200 ||
        std::find(std::begin(kNoBody), std::end(kNoBody), m_statusCode) != std::end(kNoBody);
    if (m_contentSize == 0 || m_requestType == httpHEAD ||
        (m_contentSize == -1 && m_replyTransferEncoding != "chunked" && noBodyStatus)) {
        m_lineHandler = LineHandler::None;
        if (m_relocationPending)
            startRelocation();
        else if (m_closeReq)
            m_socket.CloseDelayed(); // its close ends the transaction
        else
            postReadyNotice();
        return;
    }
    adjustDocumentExtension();
    setState(httpWaitingBody);
    m_lineHandler = LineHandler::Body;
    if (m_receiveLength > m_receiveStart)
        handBodyBytes();
    afterBodySlice();
}

void THttpClient::handBodyBytes() {
    const qsizetype avail = m_receiveLength - m_receiveStart;
    qsizetype take = avail;
    if (m_contentSize >= 0 && avail > m_contentSize - m_receivedCount)
        take = qsizetype(std::max<qint64>(0, m_contentSize - m_receivedCount));
    const qsizetype start = m_receiveStart;
    m_receiveStart += take;
    // Bytes past a declared length stay in the buffer; they belong to no document.
    getBodyLineNext(m_receiveBuffer.constData() + start, take);
    if (m_receiveStart >= m_receiveLength)
        m_receiveStart = m_receiveLength = 0;
}

void THttpClient::onSessionClosed(quint16 error) {
    m_receiveStart = m_receiveLength = 0;
    if (error != 0)
        m_requestError = error;
    if (m_inHeader) {
        // Closed inside the header: the transaction is left to its inactivity limit.
        fireHeaderEnd();
        if (m_relocationPending)
            onRelocationClosed();
        return;
    }
    // (A body still expected: a refused one has its own reason already.)
    if (m_state == httpWaitingBody && m_lineHandler == LineHandler::Body && !m_relocationPending &&
        (m_replyTransferEncoding == "chunked" ||
         (m_contentSize >= 0 && m_receivedCount < m_contentSize))) {
        // The connection ended before the body it announced: half a reply is no reply (half a
        // session token would pass for a sign-in), so the request fails.
        m_statusCode = 404;
        m_statusText = "Connection closed before the end of the reply";
    }
    if (m_bodyStepCount > 0 && OnDocEnd)
        OnDocEnd(*this);
    if (m_relocationPending) {
        onRelocationClosed();
        return;
    }
    if (OnSessionClosed)
        OnSessionClosed(*this);
    if (m_state != httpReady)
        postReadyNotice();
}

} // namespace zarq
