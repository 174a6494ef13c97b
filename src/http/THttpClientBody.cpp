// Body and relocation of THttpClient: writing the document (declared length, until close,
// chunked) into the receive stream, following "location" replies, cutting the stream back.
#include "http/HttpUrl.h"
#include "http/THttpClient.h"

#include <QBuffer>
#include <QFileDevice>

namespace zarq {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void THttpClient::getBodyLineNext(const char* data, qsizetype len) {
    if (m_bodyStepCount == 0) {
        m_chunkLength = 0;
        m_chunkReceived = 0;
        m_chunkStep = ChunkStep::Size;
        if (OnDocBegin)
            OnDocBegin(*this);
        m_streamStartSize = m_receiveStream ? m_receiveStream->size() : 0;
    }
    ++m_bodyStepCount;

    if (m_replyTransferEncoding != "chunked") {
        if (len > 0) {
            m_receivedCount += len;
            if (bodyPastLimit())
                return failReplyTooLarge("Reply body too large");
            writeBody(data, len);
        }
        if (m_receivedCount == m_contentSize)
            bodyComplete();
        return;
    }
    qsizetype i = 0;
    while (i < len && m_chunkStep != ChunkStep::Done) {
        switch (m_chunkStep) {
        case ChunkStep::Size: {
            const int v = hexValue(data[i]);
            if (v < 0) {
                m_chunkStep = ChunkStep::Extension;
                break;
            }
            // Saturate: an absurd size simply means "read until the connection ends".
            m_chunkLength =
                m_chunkLength > (qint64(1) << 55) ? m_chunkLength : m_chunkLength * 16 + v;
            ++i;
            break;
        }
        case ChunkStep::Extension:
            if (data[i++] == '\n')
                m_chunkStep = ChunkStep::Data;
            break;
        case ChunkStep::Data: {
            const qsizetype take =
                qsizetype(std::min<qint64>(m_chunkLength - m_chunkReceived, len - i));
            if (take > 0) {
                m_receivedCount += take;
                m_chunkReceived += take;
                if (bodyPastLimit())
                    return failReplyTooLarge("Reply body too large");
                writeBody(data + i, take);
                i += take;
            }
            if (m_chunkReceived >= m_chunkLength)
                m_chunkStep = ChunkStep::DataEnd;
            break;
        }
        case ChunkStep::DataEnd:
            if (data[i++] == '\n') {
                if (m_chunkLength == 0) {
                    m_chunkStep = ChunkStep::Done; // trailers are not supported
                } else {
                    m_chunkLength = 0;
                    m_chunkReceived = 0;
                    m_chunkStep = ChunkStep::Size;
                }
            }
            break;
        case ChunkStep::Done:
            break;
        }
    }
    if (m_chunkStep == ChunkStep::Done)
        bodyComplete();
}

void THttpClient::writeBody(const char* data, qsizetype len) {
    if (m_receiveStream)
        m_receiveStream->write(data, len);
    if (OnDocData)
        OnDocData(*this, data, len);
}

void THttpClient::bodyComplete() {
    m_bodyStepCount = 0;
    m_lineHandler = LineHandler::None;
    setState(httpBodyReceived);
    if (OnDocEnd)
        OnDocEnd(*this);
    // The caller, seeing the body ended, starts a pending relocation or posts the ready notice;
    // a ready notice from here would end Get before a relocation on a kept connection is sent.
    if (m_closeReq)
        m_socket.CloseDelayed();
}

void THttpClient::locationTarget(const QByteArray& value) {
    QByteArray scheme = SplitHttpUrl(m_url, m_requestPath).scheme;
    if (scheme.isEmpty())
        scheme = "http";
    const QByteArray lower = value.toLower();
    // The URL of the new document names the port when it is not the default one.
    const QByteArray authority =
        m_connectPort == "80" ? m_connectHost : m_connectHost + ':' + m_connectPort;
    if (value.startsWith('/')) {
        m_requestPath = value;
        m_relocationURL = scheme + "://" + authority + m_requestPath;
    } else if (!lower.startsWith("http://") && !lower.startsWith("https://")) {
        qsizetype end = m_requestPath.indexOf('?');
        if (end < 0)
            end = m_requestPath.size();
        qsizetype cut = -1;
        for (qsizetype i = 0; i < end; ++i) {
            if (m_requestPath[i] == '/' || m_requestPath[i] == ':')
                cut = i;
        }
        m_requestPath = m_requestPath.left(cut + 1) + value;
        m_relocationURL = scheme + "://" + authority + m_requestPath;
    } else {
        const HttpUrlParts p = SplitHttpUrl(value, m_requestPath);
        m_connectHost = p.host;
        m_requestPath = p.path;
        m_connectPort = p.port.isEmpty() ? QByteArray("80") : p.port;
        m_connectProtocol = p.scheme;
        if (!p.user.isEmpty() && !p.password.isEmpty()) {
            m_currentUsername = p.user;
            m_currentPassword = p.password;
        }
        if (!p.scheme.isEmpty() && !p.host.isEmpty()) {
            m_targetHost = p.host;
            m_relocationURL = p.scheme + "://" + p.host +
                              (p.port.isEmpty() ? QByteArray() : ':' + p.port) + p.path;
            // The "Host: " line names the port of the document asked for, not that of the
            // first URL.
            m_targetPort = m_connectPort;
        }
        if (m_requestPath.isEmpty())
            m_requestPath = "/";
    }
}

bool THttpClient::passLimit() {
    ++m_locationChangeCurCount;
    if (m_locationChangeCurCount <= m_locationChangeMaxCount)
        return true;
    bool allow = false;
    if (OnLocationChangeExceeded)
        OnLocationChangeExceeded(*this, m_locationChangeCurCount, allow);
    if (allow)
        return true;
    postReadyNotice(); // the relocating reply is the result
    return false;
}

void THttpClient::startRelocation() {
    m_receivedCount = 0;
    m_receiveStart = m_receiveLength = 0;
    m_headerLineCount = 0;
    m_bodyStepCount = 0;
    if (!passLimit()) {
        m_relocationPending = false;
        return;
    }
    if (m_connectHost != m_connectedHost || m_connectPort != m_connectedPort ||
        m_connectProtocol != m_connectedProtocol || m_closeReq) {
        m_relocating = true;
        m_socket.CloseDelayed();
        return;
    }
    if (OnLocationChange)
        OnLocationChange(*this);
    m_replyHeaders.clear();
    m_requestError = 0;
    m_statusCode = 0;
    m_contentSize = -1;
    m_replyContentType.clear();
    m_replyTransferEncoding.clear();
    m_replyContentEncoding.clear();
    m_relocationPending = false;
    m_closeReq = m_requestVer == "1.0";
    deriveDocumentName(m_requestPath);
    cutStreamBack();
    postLoginNotice();
}

void THttpClient::onRelocationClosed() {
    QByteArray url = m_relocationURL;
    if (const qsizetype hash = url.indexOf('#'); hash >= 0)
        url.truncate(hash);
    deriveDocumentName(SplitHttpUrl(url, m_requestPath).path);
    m_relocationPending = false;
    m_relocating = false;
    m_inHeader = false;
    m_receiveStart = m_receiveLength = 0;
    if (!passLimit())
        return;
    if (OnLocationChange)
        OnLocationChange(*this);
    m_replyHeaders.clear();
    m_headerLineCount = 0;
    m_bodyStepCount = 0;
    m_statusCode = 0;
    m_contentSize = -1;
    m_replyContentType.clear();
    m_replyTransferEncoding.clear();
    m_replyContentEncoding.clear();
    m_closeReq = m_requestVer == "1.0";
    cutStreamBack();
    postLoginNotice();
}

void THttpClient::cutStreamBack() {
    if (!m_receiveStream || m_receiveStream->size() == m_streamStartSize)
        return;
    if (auto* buffer = qobject_cast<QBuffer*>(m_receiveStream)) {
        buffer->buffer().resize(m_streamStartSize);
        buffer->seek(m_streamStartSize);
    } else if (auto* file = qobject_cast<QFileDevice*>(m_receiveStream)) {
        file->resize(m_streamStartSize);
        file->seek(m_streamStartSize);
    }
}

} // namespace zarq
