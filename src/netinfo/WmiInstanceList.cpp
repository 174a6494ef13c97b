#include "netinfo/WmiInstanceList.h"

namespace zarq {

std::optional<WmiObject> WmiInstanceList::next() {
    if (m_next >= m_instances.size())
        return std::nullopt;
    return m_instances.at(m_next++);
}

} // namespace zarq
