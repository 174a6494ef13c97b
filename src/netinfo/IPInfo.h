#pragma once

#include "netinfo/Adapter.h"

#include <functional>

namespace zarq {

// A snapshot of the adapter table, taken when the object is made.
class TIPInfo {
public:
    using Source = std::function<QList<AdapterRecord>()>;

    // Reads this machine's adapters; throws SystemError when they cannot be read.
    TIPInfo();
    // Reads the adapters `source` gives (tests); its failures pass through.
    explicit TIPInfo(const Source& source);

    int AdapterCount() const { return int(m_adapters.size()); }
    // Throws std::out_of_range for an index outside 0 to count-1.
    const TAdapter& Adapters(int i) const;

private:
    QList<TAdapter> m_adapters;
};

} // namespace zarq
