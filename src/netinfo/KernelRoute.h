#pragma once

#include <QString>

namespace zarq {

// One IPv4 route of the main routing table; addresses in network byte order.
struct KernelRoute {
    QString interfaceName;
    unsigned interfaceIndex = 0; // 0 when no listed interface has that name
    quint32 destination = 0;
    quint32 gateway = 0;
    quint32 mask = 0;
    int metric = 0;
    unsigned flags = 0; // RTF_* flags

    bool isDefault() const { return destination == 0 && mask == 0; }
    bool hasGateway() const { return gateway != 0; }
};

} // namespace zarq
