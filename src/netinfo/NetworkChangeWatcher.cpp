#include "netinfo/NetworkChangeWatcher.h"

#include "netinfo/KernelSnapshot.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zarq {

NetworkChangeWatcher::NetworkChangeWatcher(QObject* parent) : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &NetworkChangeWatcher::changed);
    m_filter.defaultInterface = [] {
        try {
            const KernelSnapshot snapshot = KernelSnapshot::read();
            for (const KernelRoute& route : snapshot.routes) {
                if (route.isDefault())
                    return route.interfaceIndex;
            }
        } catch (const std::exception&) {
            // Unreadable kernel state: treat no interface as the default one; its address and
            // route messages still get through.
        }
        return 0u;
    };
}

NetworkChangeWatcher::~NetworkChangeWatcher() {
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool NetworkChangeWatcher::start() {
    if (m_fd >= 0)
        return true;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        m_error = QStringLiteral("cannot open a netlink socket: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        m_error = QStringLiteral("cannot listen to the kernel's network changes: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &NetworkChangeWatcher::readAll);
    return true;
}

void NetworkChangeWatcher::feed(const QByteArray& datagram) {
    if (m_filter.matters(datagram))
        kick();
}

void NetworkChangeWatcher::kick() {
    m_settle.start(); // restarts: the event comes a settle time after the burst's last message
}

void NetworkChangeWatcher::readAll() {
    QByteArray buffer(32768, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer.data(), size_t(buffer.size()), 0);
        if (n > 0) {
            feed(QByteArray(buffer.constData(), int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == ENOBUFS) {
            // The kernel dropped messages we were too slow for: something changed, what is
            // unknown, so it counts as a change.
            kick();
            continue;
        }
        break; // EAGAIN: read everything there was
    }
}

} // namespace zarq
