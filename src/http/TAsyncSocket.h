#pragma once

#include "http/TSocketCounter.h"

#include <QByteArray>
#include <QHostInfo>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <deque>
#include <functional>
#include <memory>

namespace zarq {

enum class TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsSocksConnected,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};

enum class TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// An event-driven IPv4 TCP client socket on the owning thread's Qt event loop: name lookup,
// connect, buffered send, receive, orderly, delayed and abortive close. Every outcome is
// reported through the notifications below; nothing blocks.
class TAsyncSocket : public QObject {
public:
    static constexpr int kSendBlockSize = 1460;

    explicit TAsyncSocket(QObject* owner = nullptr);
    ~TAsyncSocket() override;

    // Notifications, sender first. Error codes are Winsock numbers.
    std::function<void(TAsyncSocket&, quint16)> OnDnsLookupDone;
    std::function<void(TAsyncSocket&, quint16)> OnSessionConnected;
    std::function<void(TAsyncSocket&, quint16)> OnDataAvailable;
    std::function<void(TAsyncSocket&, quint16)> OnDataSent;
    std::function<void(TAsyncSocket&, quint16)> OnSessionClosed;
    std::function<void(TAsyncSocket&, TSocketState, TSocketState)> OnChangeState;
    // When assigned, errors are reported here with their text instead of being raised as
    // ESocketException.
    std::function<void(TAsyncSocket&, const QByteArray&)> OnError;

    // Settings; they may only change while the socket is closed.
    QByteArray Addr() const { return m_addr; }
    void setAddr(const QByteArray& v);
    QByteArray Port() const { return m_port; }
    void setPort(const QByteArray& v);
    QByteArray Proto() const { return m_proto; }
    void setProto(const QByteArray& v);
    QByteArray LocalAddr() const { return m_localAddr; }
    void setLocalAddr(const QByteArray& v);
    QByteArray LocalPort() const { return m_localPort; }
    void setLocalPort(const QByteArray& v);
    TSocketLingerOnOff LingerOnOff() const { return m_lingerOnOff; }
    void setLingerOnOff(TSocketLingerOnOff v) { m_lingerOnOff = v; }
    int LingerTimeout() const { return m_lingerTimeout; }
    void setLingerTimeout(int v) { m_lingerTimeout = v; }

    TSocketState State() const { return m_state; }
    int Handle() const { return m_fd; }
    quint16 LastError() const { return m_lastError; }
    qint64 ReadCount() const { return m_readCount; }
    qint64 WriteCount() const { return m_writeCount; }
    bool AllSent() const { return m_allSent; }
    qsizetype BufferedByteCount() const { return m_buffered; }
    // True while a delayed close is waiting in the event queue.
    bool ClosePending() const { return m_closePending; }

    QByteArray DnsResult() const { return m_dnsResult; }
    QList<QByteArray> DnsResultList() const { return m_dnsResultList; }

    void DnsLookup(const QByteArray& host);
    void CancelDnsLookup();
    void Connect();
    // Appends to the send chain without sending.
    void PutDataInSendBuffer(const char* data, qsizetype len);
    // Appends (when len > 0) and starts sending; returns len, or -1 when not connected.
    qsizetype Send(const char* data, qsizetype len);
    // At most `size` bytes already received; 0 at end of stream, -1 on error (LastError set).
    qsizetype Receive(char* buffer, qsizetype size);
    // Bytes waiting to be read, or -1 when that cannot be asked.
    qsizetype RcvdCount() const;
    void Close();
    void CloseDelayed();
    void Abort();

    TSocketCounter* Counter() const { return m_counter.get(); }
    void CreateCounter();

private:
    void setState(TSocketState s);
    void restoreDefaults();
    void reportError(const QByteArray& text);
    void socketError(const QByteArray& step, int winsockCode);
    void onLookupResult(const QHostInfo& info);
    void onReadActivated();
    void onWriteActivated();
    void connectEvent(quint16 error);
    // A notifier fired while connecting: the connect has ended. True when that connection is
    // open and the event can go on to read or write.
    bool completeConnect();
    void writeEvent();
    void readLoop();
    void closeEvent(quint16 error);
    void postWriteEvent();
    void tryToSend();
    void closeHandle(bool shutdownFirst);
    void finishClose(quint64 serial);
    void dropSendBuffer();
    int takeSoError() const;

    int m_fd = -1;
    QSocketNotifier m_readNotifier;
    QSocketNotifier m_writeNotifier;
    TSocketState m_state = TSocketState::wsClosed;
    QByteArray m_addr, m_port, m_proto, m_localAddr, m_localPort;
    TSocketLingerOnOff m_lingerOnOff = TSocketLingerOnOff::wsLingerOn;
    int m_lingerTimeout = 0;
    quint16 m_lastError = 0;
    qint64 m_readCount = 0;
    qint64 m_writeCount = 0;
    bool m_closeNotified = false;
    bool m_closePending = false;
    bool m_destroying = false;
    bool m_allSent = true;
    quint64 m_connectionSerial = 0;

    int m_lookupId = -1;
    QByteArray m_dnsResult;
    QList<QByteArray> m_dnsResultList;

    std::deque<QByteArray> m_sendChain; // blocks of at most kSendBlockSize bytes
    qsizetype m_sendOffset = 0;         // bytes of the front block already sent
    qsizetype m_buffered = 0;

    std::unique_ptr<TSocketCounter> m_counter;
};

} // namespace zarq
