#include "netinfo/InfoIPAddress.h"

namespace zarq {

QString TInfoIPAddress::AsText() const {
    if (IPAddress.isEmpty() && IPMask.isEmpty())
        return QString();
    return IPAddress + u'/' + IPMask;
}

} // namespace zarq
