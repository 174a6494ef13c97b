#pragma once

#include "netinfo/NetlinkFilter.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>

namespace zarq {

// Tells at once when the kernel's IPv4 addresses, routes or the default route's link change:
// an rtnetlink socket joined to those groups, watched by a QSocketNotifier. A burst of
// messages (a Wi-Fi reconnect sends dozens) gives one changed() a settle time after the last
// one that mattered. Nothing polls: while nothing changes the process is not woken.
class NetworkChangeWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 1000;

    explicit NetworkChangeWatcher(QObject* parent = nullptr);
    ~NetworkChangeWatcher() override;

    // Opens the socket. False, with the reason in error(), when the kernel refuses it.
    bool start();
    QString error() const { return m_error; }

    // One datagram as the kernel would send it (the socket's reader and tests use this).
    void feed(const QByteArray& datagram);

    void setSettleMs(int ms) { m_settle.setInterval(ms); }
    NetlinkFilter& filter() { return m_filter; }

signals:
    void changed();

private:
    void readAll();
    void kick();

    NetlinkFilter m_filter;
    QTimer m_settle;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QString m_error;
};

} // namespace zarq
