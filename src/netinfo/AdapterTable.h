#pragma once

#include "netinfo/AdapterRecord.h"
#include "netinfo/KernelSnapshot.h"

namespace zarq {

// The adapter table of this machine: every interface but loopback, in interface-index
// order, however many there are.
//   - AdapterName is the interface name; Description is the name followed by the driver
//     in parentheses when the kernel names one.
//   - The addresses are the interface's IPv4 addresses with their masks; an interface
//     without one lists 0.0.0.0/0.0.0.0.
//   - The gateways are the next hops of the default routes through the interface (mask
//     255.255.255.255); without one the list holds a single empty entry.
class AdapterTable {
public:
    // Reads the kernel. Throws SystemError when it cannot be read, or with ENODATA when
    // the machine has no adapter at all.
    static QList<AdapterRecord> read();

    static QList<AdapterRecord> fromSnapshot(const KernelSnapshot& snapshot);

    // Adapter type codes as the adapter table gives them.
    static constexpr unsigned TypeOther = 1;
    static constexpr unsigned TypeEthernet = 6;
    static constexpr unsigned TypePpp = 23;
    static constexpr unsigned TypeLoopback = 24;
    static constexpr unsigned TypeIeee80211 = 71;
};

} // namespace zarq
