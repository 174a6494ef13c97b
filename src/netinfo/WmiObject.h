#pragma once

#include "netinfo/WmiProperty.h"

#include <QList>

namespace zarq {

// One WMI instance: its properties in the order the provider enumerates them.
struct WmiObject {
    QList<WmiProperty> properties;
};

} // namespace zarq
