#pragma once

#include "netinfo/WmiServices.h"

namespace zarq {

// Connects to a WMI namespace on a server ("." is this machine). Throws WmiError when the
// server, the namespace or the credentials are refused.
class WmiLocator {
public:
    virtual ~WmiLocator() = default;

    virtual std::unique_ptr<WmiServices> connectServer(const QString& server,
                                                       const QString& nameSpace,
                                                       const QString& user,
                                                       const QString& password) = 0;
};

} // namespace zarq
