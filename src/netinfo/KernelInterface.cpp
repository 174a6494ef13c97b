#include "netinfo/KernelInterface.h"

#include <net/if.h>

namespace zarq {

bool KernelInterface::isLoopback() const {
    return (flags & IFF_LOOPBACK) != 0;
}

} // namespace zarq
