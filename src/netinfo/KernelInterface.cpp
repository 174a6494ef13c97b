#include "netinfo/KernelInterface.h"

#include <net/if.h>

namespace zarq {

bool KernelInterface::isLoopback() const {
    return (flags & IFF_LOOPBACK) != 0;
}

QString KernelInterface::description() const {
    return driver.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, driver);
}

} // namespace zarq
