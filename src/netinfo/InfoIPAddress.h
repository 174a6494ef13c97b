#pragma once

#include "netinfo/AdapterRecord.h"

#include <QString>

namespace zarq {

// One address/mask pair of an adapter.
class TInfoIPAddress {
public:
    TInfoIPAddress() = default; // from no entry at all: both texts empty
    explicit TInfoIPAddress(const IpAddrString& entry)
        : IPAddress(entry.ipAddress), IPMask(entry.ipMask) {}

    // "address/mask"; empty when both are empty.
    QString AsText() const;

    QString IPAddress;
    QString IPMask;
};

} // namespace zarq
