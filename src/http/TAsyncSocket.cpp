#include "http/TAsyncSocket.h"

#include "http/DottedAddress.h"
#include "http/ESocketException.h"
#include "platform/SocketError.h"

#include <unistd.h>

namespace zarq {

TAsyncSocket::TAsyncSocket(QObject* owner)
    : QObject(owner), m_readNotifier(QSocketNotifier::Read),
      m_writeNotifier(QSocketNotifier::Write) {
    connect(&m_readNotifier, &QSocketNotifier::activated, this, [this] { onReadActivated(); });
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, [this] { onWriteActivated(); });
    restoreDefaults();
}

TAsyncSocket::~TAsyncSocket() {
    m_destroying = true;
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    if (m_fd >= 0)
        closeHandle(true);
}

void TAsyncSocket::restoreDefaults() {
    m_proto = "tcp";
    m_localPort = "0";
    m_localAddr = "0.0.0.0";
    m_addr.clear();
    m_port.clear();
    m_lingerOnOff = TSocketLingerOnOff::wsLingerOn;
    m_lingerTimeout = 0;
    m_allSent = true;
    m_closeNotified = false;
}

void TAsyncSocket::setState(TSocketState s) {
    if (s == m_state)
        return;
    const TSocketState old = m_state;
    m_state = s;
    if (OnChangeState)
        OnChangeState(*this, old, s);
}

void TAsyncSocket::reportError(const QByteArray& text) {
    if (OnError) {
        OnError(*this, text);
        return;
    }
    throw ESocketException(text);
}

void TAsyncSocket::socketError(const QByteArray& step, int code) {
    const QByteArray text =
        SocketErrorDesc(code) + " (#" + QByteArray::number(code) + " in " + step + ")";
    if (code == 10054 || code == 10057) {
        if (m_fd >= 0)
            closeHandle(false);
        if (m_state != TSocketState::wsClosed) {
            m_closeNotified = true;
            if (OnSessionClosed)
                OnSessionClosed(*this, quint16(code));
            setState(TSocketState::wsClosed);
        }
    }
    m_lastError = quint16(code);
    reportError(text);
}

#define ZARQ_SETTER(Name, member)                                                                  \
    void TAsyncSocket::set##Name(const QByteArray& v) {                                            \
        if (m_state != TSocketState::wsClosed) {                                                   \
            reportError("Cannot change " #Name " if not closed");                                  \
            return;                                                                                \
        }                                                                                          \
        member = v;                                                                                \
    }
ZARQ_SETTER(Addr, m_addr)
ZARQ_SETTER(Port, m_port)
ZARQ_SETTER(Proto, m_proto)
ZARQ_SETTER(LocalPort, m_localPort)
#undef ZARQ_SETTER

void TAsyncSocket::setLocalAddr(const QByteArray& v) {
    if (m_state != TSocketState::wsClosed) {
        reportError("Cannot change LocalAddr if not closed");
        return;
    }
    m_localAddr = v.isEmpty() ? QByteArray("0.0.0.0") : v;
}

void TAsyncSocket::CreateCounter() {
    if (!m_counter)
        m_counter = std::make_unique<TSocketCounter>();
}

// ---- name lookup ----

void TAsyncSocket::DnsLookup(const QByteArray& host) {
    if (host.isEmpty()) {
        reportError("DNS lookup: invalid host name.");
        if (OnDnsLookupDone)
            OnDnsLookupDone(*this, 10022);
        return;
    }
    if (m_lookupId >= 0) {
        // The withdrawn lookup's reply is ignored by its id.
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    m_dnsResult.clear();
    m_dnsResultList.clear();
    if (IsDottedAddress(host)) {
        if (const auto a = InetAddr(host)) {
            m_dnsResult = DottedText(*a);
            m_dnsResultList = {m_dnsResult};
            if (OnDnsLookupDone)
                OnDnsLookupDone(*this, 0);
            return;
        }
    }
    m_lookupId =
        QHostInfo::lookupHost(QString::fromLatin1(host), this, &TAsyncSocket::onLookupResult);
}

void TAsyncSocket::onLookupResult(const QHostInfo& info) {
    if (m_lookupId < 0 || info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    quint16 error = 0;
    switch (info.error()) {
    case QHostInfo::NoError:
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                m_dnsResultList.append(a.toString().toLatin1());
        }
        if (m_dnsResultList.isEmpty())
            error = 11004;
        else
            m_dnsResult = m_dnsResultList.first();
        break;
    case QHostInfo::HostNotFound:
        error = 11001;
        break;
    default:
        error = 11003;
        break;
    }
    if (OnDnsLookupDone)
        OnDnsLookupDone(*this, error);
}

void TAsyncSocket::CancelDnsLookup() {
    if (m_lookupId < 0)
        return;
    QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    if (!m_destroying && OnDnsLookupDone)
        OnDnsLookupDone(*this, 10004);
}

} // namespace zarq
