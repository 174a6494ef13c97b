#pragma once

#include "netinfo/WmiObjectSet.h"

#include <QString>
#include <memory>

namespace zarq {

// A connection to one WMI namespace. Both calls throw WmiError when the query or the
// class is refused.
class WmiServices {
public:
    // Flags as the query helper passes them.
    static constexpr int ReturnImmediately = 16;
    static constexpr int ReturnImmediatelyShallow = 17;

    virtual ~WmiServices() = default;

    virtual std::unique_ptr<WmiObjectSet> execQuery(const QString& query, const QString& language,
                                                    int flags) = 0;
    virtual std::unique_ptr<WmiObjectSet> instancesOf(const QString& className, int flags) = 0;
};

} // namespace zarq
