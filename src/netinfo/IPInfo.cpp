#include "netinfo/IPInfo.h"

#include "netinfo/AdapterTable.h"

#include <stdexcept>
#include <string>

namespace zarq {

TIPInfo::TIPInfo() : TIPInfo(Source(&AdapterTable::read)) {}

TIPInfo::TIPInfo(const Source& source) {
    // The table is read whole, however large: there is no fixed buffer to overflow.
    for (const AdapterRecord& record : source())
        m_adapters.append(TAdapter(record));
}

const TAdapter& TIPInfo::Adapters(int i) const {
    if (i < 0 || i >= m_adapters.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    return m_adapters.at(i);
}

} // namespace zarq
