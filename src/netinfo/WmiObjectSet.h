#pragma once

#include "netinfo/WmiObject.h"

#include <optional>

namespace zarq {

// The instances a query returned. count() is what the set reports before it is walked;
// next() hands out one instance per call and nothing once the walk ends (whether because
// there is no more or because the provider failed: both end the walk quietly).
// count() reports its failures by throwing WmiError.
class WmiObjectSet {
public:
    virtual ~WmiObjectSet() = default;

    virtual int count() = 0;
    virtual std::optional<WmiObject> next() = 0;
};

} // namespace zarq
