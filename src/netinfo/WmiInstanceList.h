#pragma once

#include "netinfo/WmiObjectSet.h"

namespace zarq {

// An object set over instances held in memory.
class WmiInstanceList : public WmiObjectSet {
public:
    explicit WmiInstanceList(QList<WmiObject> instances) : m_instances(std::move(instances)) {}

    int count() override { return int(m_instances.size()); }
    std::optional<WmiObject> next() override;

private:
    QList<WmiObject> m_instances;
    qsizetype m_next = 0;
};

} // namespace zarq
