// Connect, socket events, sending, receiving and closing of TAsyncSocket.
#include "http/DottedAddress.h"
#include "http/TAsyncSocket.h"
#include "platform/SocketError.h"
#include "platform/TickSource.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarq {

namespace {

std::optional<quint16> resolvePort(const QByteArray& text) {
    bool ok = false;
    const uint p = text.trimmed().toUInt(&ok);
    if (ok)
        return p <= 65535 ? std::optional<quint16>(quint16(p)) : std::nullopt;
    if (const servent* s = getservbyname(text.constData(), "tcp"))
        return quint16(ntohs(quint16(s->s_port)));
    return std::nullopt;
}

} // namespace

void TAsyncSocket::Connect() {
    if (m_fd >= 0 && m_state != TSocketState::wsClosed)
        return reportError("Connect: Socket already in use");
    if (m_port.isEmpty())
        return reportError("Connect: No Port Specified");
    if (m_addr.isEmpty())
        return reportError("Connect: No IP Address Specified");
    if (m_proto.isEmpty())
        return reportError("Connect: No Protocol Specified");
    // Only TCP over IPv4 is ever asked of this socket.
    const QByteArray proto = m_proto.toLower();
    if (proto != "tcp" && proto != "6")
        return reportError("connect: Winsock Resolve Proto: Invalid Protocol.");
    const auto port = resolvePort(m_port);
    if (!port)
        return reportError("connect: Winsock Resolve Port: Invalid Port.");
    const auto localPort = resolvePort(m_localPort);
    if (!localPort)
        return reportError("connect: Winsock Resolve Port: Invalid Port.");
    std::optional<quint32> peer = InetAddr(m_addr);
    if (!peer) {
        bool numeric = true;
        for (char c : m_addr.trimmed())
            numeric = numeric && ((c >= '0' && c <= '9') || c == '.');
        if (numeric)
            return reportError("connect: Winsock Resolve Host: '" + m_addr +
                               "' Invalid IP address.");
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(m_addr.constData(), nullptr, &hints, &res) != 0 || !res)
            return reportError("connect: Winsock Resolve Host: Cannot convert host address '" +
                               m_addr + "' - " + SocketErrorDesc(11001));
        peer = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(res);
    }
    const auto local = InetAddr(m_localAddr);
    if (!local)
        return reportError("connect: Winsock Resolve Host: '" + m_localAddr +
                           "' Invalid IP address.");

    dropSendBuffer();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (m_fd < 0)
        return socketError("Connect (socket)", WinsockErrorFromErrno(errno));
    ++m_connectionSerial;
    m_closeNotified = false;
    m_closePending = false;
    setState(TSocketState::wsOpened);
    if (m_state != TSocketState::wsOpened)
        return socketError("Connect (Invalid operation in OnChangeState)", 10022);

    const int on = 1;
    if (setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return socketError("setsockopt(SO_REUSEADDR)", WinsockErrorFromErrno(errno));
    if (m_lingerOnOff != TSocketLingerOnOff::wsLingerNoSet) {
        // On with 0 seconds (the default): closing never waits for unsent data.
        linger l{};
        l.l_onoff = m_lingerOnOff == TSocketLingerOnOff::wsLingerOn ? 1 : 0;
        l.l_linger = m_lingerTimeout;
        if (setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
            return socketError("setsockopt(SO_LINGER)", WinsockErrorFromErrno(errno));
    }
    if (*localPort != 0 || *local != INADDR_ANY) {
        sockaddr_in la{};
        la.sin_family = AF_INET;
        la.sin_port = htons(*localPort);
        la.sin_addr.s_addr = *local;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&la), sizeof la) != 0) {
            const int code = WinsockErrorFromErrno(errno);
            m_lastError = quint16(code);
            return reportError("Bind socket failed - " + SocketErrorDesc(code) + " (#" +
                               QByteArray::number(code) + ")");
        }
        setState(TSocketState::wsBound);
    }
    m_readNotifier.setSocket(m_fd);
    m_writeNotifier.setSocket(m_fd);

    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(*port);
    sa.sin_addr.s_addr = *peer;
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 || errno == EINPROGRESS) {
        // Completion (also an immediate one) is seen by the write notifier.
        setState(TSocketState::wsConnecting);
        m_readNotifier.setEnabled(true);
        m_writeNotifier.setEnabled(true);
        return;
    }
    const int err = errno;
    switch (err) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNRESET: {
        // Linux may refuse a loopback connect right inside connect(); the peer's answer has
        // always reached our users as a connect event, so it is delivered as one from the event
        // loop, with the same code it would have had.
        setState(TSocketState::wsConnecting);
        const quint64 serial = m_connectionSerial;
        const quint16 code = quint16(WinsockErrorFromErrno(err));
        QMetaObject::invokeMethod(
            this,
            [this, serial, code] {
                if (serial == m_connectionSerial && m_state == TSocketState::wsConnecting)
                    connectEvent(code);
            },
            Qt::QueuedConnection);
        return;
    }
    default:
        socketError("Connect", WinsockErrorFromErrno(err));
    }
}

int TAsyncSocket::takeSoError() const {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    return WinsockErrorFromErrno(err);
}

void TAsyncSocket::connectEvent(quint16 error) {
    if (m_state == TSocketState::wsConnected)
        return;
    setState(TSocketState::wsConnected);
    if (m_fd >= 0)
        m_writeNotifier.setEnabled(m_buffered > 0);
    if (m_counter && error == 0)
        m_counter->Reset();
    const quint64 serial = m_connectionSerial;
    if (OnSessionConnected)
        OnSessionConnected(*this, error);
    if (error != 0 && serial == m_connectionSerial && m_state != TSocketState::wsClosed)
        Close();
}

bool TAsyncSocket::completeConnect() {
    const quint64 serial = m_connectionSerial;
    const int err = takeSoError();
    connectEvent(quint16(err));
    return err == 0 && m_fd >= 0 && serial == m_connectionSerial;
}

void TAsyncSocket::onWriteActivated() {
    if (m_fd < 0)
        return;
    if (m_state == TSocketState::wsConnecting && !completeConnect())
        return;
    if (m_state != TSocketState::wsConnected) {
        m_writeNotifier.setEnabled(false);
        return;
    }
    writeEvent();
}

void TAsyncSocket::writeEvent() {
    tryToSend();
    if (m_allSent && m_fd >= 0 && OnDataSent)
        OnDataSent(*this, 0);
}

void TAsyncSocket::postWriteEvent() {
    const quint64 serial = m_connectionSerial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial == m_connectionSerial && m_state == TSocketState::wsConnected)
                writeEvent();
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::onReadActivated() {
    if (m_fd < 0)
        return;
    if (m_state == TSocketState::wsConnecting && !completeConnect())
        return;
    // The notifier is level-triggered: bytes waiting mean a read event; none waiting means
    // either the peer's close (a peek sees end of stream), a failure, or nothing at all.
    const qsizetype waiting = RcvdCount();
    if (waiting > 0)
        return readLoop();
    char c;
    const ssize_t r = ::recv(m_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (r > 0)
        return readLoop();
    if (r == 0)
        return closeEvent(0);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return;
    closeEvent(quint16(WinsockErrorFromErrno(errno)));
}

void TAsyncSocket::readLoop() {
    const quint64 serial = m_connectionSerial;
    for (;;) {
        m_lastError = 0;
        const qint64 before = m_readCount;
        if (OnDataAvailable) {
            try {
                OnDataAvailable(*this, 0);
            } catch (...) {
                // A failing handler ends this read event; the rest waits for the next one.
                break;
            }
        } else {
            char discard[1024];
            if (Receive(discard, sizeof discard) <= 0)
                break;
        }
        if (m_fd < 0 || serial != m_connectionSerial)
            break;
        if (m_lastError != 0) {
            m_lastError = 0;
            break;
        }
        // A handler that takes nothing would otherwise spin here.
        if (m_readCount == before || RcvdCount() <= 0)
            break;
    }
}

void TAsyncSocket::closeEvent(quint16 error) {
    if (m_state == TSocketState::wsConnecting || m_fd < 0)
        return;
    const quint64 serial = m_connectionSerial;
    readLoop(); // the peer's last bytes come before its close
    if (m_fd < 0 || serial != m_connectionSerial)
        return;
    if (!m_closeNotified) {
        m_closeNotified = true;
        if (OnSessionClosed)
            OnSessionClosed(*this, error);
    }
    if (serial == m_connectionSerial && m_state != TSocketState::wsClosed)
        Close();
}

// ---- sending ----

void TAsyncSocket::PutDataInSendBuffer(const char* data, qsizetype len) {
    while (len > 0) {
        if (m_sendChain.empty() || m_sendChain.back().size() >= kSendBlockSize) {
            m_sendChain.emplace_back();
            m_sendChain.back().reserve(kSendBlockSize);
        }
        QByteArray& block = m_sendChain.back();
        const qsizetype take = std::min(len, kSendBlockSize - block.size());
        block.append(data, take);
        data += take;
        len -= take;
        m_buffered += take;
    }
}

qsizetype TAsyncSocket::Send(const char* data, qsizetype len) {
    if (m_state != TSocketState::wsConnected && m_state != TSocketState::wsSocksConnected) {
        socketError("Send", 10057);
        return -1;
    }
    m_allSent = false;
    if (len > 0)
        PutDataInSendBuffer(data, len);
    if (m_buffered > 0) {
        tryToSend();
        if (m_allSent && OnDataSent)
            postWriteEvent(); // OnDataSent still comes from the event loop
    } else {
        m_allSent = true;
    }
    return len;
}

void TAsyncSocket::tryToSend() {
    while (!m_sendChain.empty() && m_fd >= 0) {
        const QByteArray& front = m_sendChain.front();
        const qsizetype left = front.size() - m_sendOffset;
        const ssize_t r =
            ::send(m_fd, front.constData() + m_sendOffset, size_t(left), MSG_NOSIGNAL);
        if (r > 0) {
            m_writeCount += r;
            m_buffered -= r;
            if (m_counter)
                m_counter->SetLastSendTick(TickCount());
            if (r < left) {
                m_sendOffset += r;
                m_writeNotifier.setEnabled(true);
                return;
            }
            m_sendChain.pop_front();
            m_sendOffset = 0;
            continue;
        }
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) {
            m_writeNotifier.setEnabled(true);
            return;
        }
        // A broken pipe is Linux's word for a peer that reset the connection.
        const int code = err == EPIPE ? 10054 : WinsockErrorFromErrno(err);
        if (code == 10022 || code == 10038 || code == 10053 || code == 10054 || code == 10057) {
            m_closeNotified = true;
            Close();
            if (OnSessionClosed)
                OnSessionClosed(*this, quint16(code));
            return;
        }
        return socketError("TryToSend failed", code);
    }
    if (m_sendChain.empty()) {
        m_allSent = true;
        if (m_fd >= 0)
            m_writeNotifier.setEnabled(false);
    }
}

void TAsyncSocket::dropSendBuffer() {
    m_sendChain.clear();
    m_sendOffset = 0;
    m_buffered = 0;
}

} // namespace zarq
