#include "netinfo/IPInfo.h"

#include "netinfo/AdapterTable.h"
#include "netinfo/ListItem.h"

namespace zarq {

TIPInfo::TIPInfo() : TIPInfo(Source(&AdapterTable::read)) {}

TIPInfo::TIPInfo(const Source& source) {
    // The table is read whole, however large: there is no fixed buffer to overflow.
    for (const AdapterRecord& record : source())
        m_adapters.append(TAdapter(record));
}

const TAdapter& TIPInfo::Adapters(int i) const {
    return listItem(m_adapters, i);
}

} // namespace zarq
