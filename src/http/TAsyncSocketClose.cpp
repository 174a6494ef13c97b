// Receiving and closing of TAsyncSocket.
#include "http/TAsyncSocket.h"
#include "platform/SocketError.h"
#include "platform/TickSource.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zarq {

// ---- receiving ----

qsizetype TAsyncSocket::Receive(char* buffer, qsizetype size) {
    if (m_fd < 0) {
        m_lastError = 10038;
        return -1;
    }
    const ssize_t r = ::recv(m_fd, buffer, size_t(size), 0);
    if (r > 0) {
        m_readCount += r;
        if (m_counter)
            m_counter->SetLastRecvTick(TickCount());
        return r;
    }
    if (r == 0)
        return 0;
    m_lastError = quint16(WinsockErrorFromErrno(errno));
    return -1;
}

qsizetype TAsyncSocket::RcvdCount() const {
    int n = 0;
    if (m_fd < 0 || ioctl(m_fd, FIONREAD, &n) != 0)
        return -1;
    return n;
}

// ---- closing ----

void TAsyncSocket::closeHandle(bool shutdownFirst) {
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    m_readNotifier.setSocket(-1);
    m_writeNotifier.setSocket(-1);
    if (shutdownFirst)
        ::shutdown(m_fd, SHUT_WR);
    ::close(m_fd);
    m_fd = -1;
}

// The end of every close of an open handle: the state, the one close notification of this
// connection, and the defaults, unless a handler has already opened the next connection.
void TAsyncSocket::finishClose(quint64 serial) {
    setState(TSocketState::wsClosed);
    if (!m_destroying && !m_closeNotified) {
        m_closeNotified = true;
        if (OnSessionClosed)
            OnSessionClosed(*this, 0);
    }
    if (serial == m_connectionSerial && m_fd < 0)
        restoreDefaults();
}

void TAsyncSocket::Close() {
    m_closePending = false;
    if (m_fd < 0) {
        if (m_state != TSocketState::wsClosed) {
            setState(TSocketState::wsClosed);
            restoreDefaults();
        }
        return;
    }
    const quint64 serial = m_connectionSerial;
    closeHandle(true);
    finishClose(serial);
}

void TAsyncSocket::CloseDelayed() {
    m_closePending = true;
    const quint64 serial = m_connectionSerial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial == m_connectionSerial && m_closePending)
                Close();
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::Abort() {
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    dropSendBuffer();
    if (m_fd < 0)
        return Close();
    if (m_state == TSocketState::wsConnected) {
        linger l{};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    const quint64 serial = m_connectionSerial;
    m_closePending = false;
    closeHandle(false);
    finishClose(serial);
}

} // namespace zarq
