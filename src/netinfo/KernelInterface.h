#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace zarq {

// One IPv4 address of an interface, both values in network byte order.
struct KernelAddress {
    quint32 address = 0;
    quint32 mask = 0;
};

// One network interface as the kernel reports it.
struct KernelInterface {
    unsigned index = 0;
    QString name;
    unsigned flags = 0;              // IFF_* flags
    unsigned short hardwareType = 0; // ARPHRD_* type
    QByteArray hardwareAddress;
    QList<KernelAddress> addresses; // IPv4 only, in the kernel's order
    QString driver;                 // driver of the interface's device; empty when virtual

    bool isLoopback() const;
    // The name, followed by the driver in parentheses when the kernel names one.
    QString description() const;
};

} // namespace zarq
