#pragma once

#include "netinfo/WmiLocator.h"
#include "netinfo/WmiQuery.h"

#include <QByteArray>

namespace zarq {

// The LAN address of the adapter that carries the default route, as the IPAddress text of
// its adapter configuration: one address, several joined by "|", "NULL", or empty text
// when no adapter is found. Asks this machine's WMI stand-in afresh; never throws.
QByteArray GetLanAddress();

// The same resolution through any WMI provider. Throws std::invalid_argument only when
// the adapter index the provider gives is not a decimal integer.
QByteArray GetLanAddress(WmiLocator& locator);

// The adapter index ("0" when there is no default route, empty when no adapter was found)
// and the default gateway's address.
void GetDefaultRouteAdapterIndex(WmiLocator& locator, QByteArray& index, QByteArray& gateway);

QByteArray GetAdapterSettingID(WmiLocator& locator, int index);

QByteArray GetAdapterAddresses(WmiLocator& locator, const QByteArray& settingID);

// The cell in `row` of the column whose header equals `name` without regard to case; the
// last matching column wins. Empty text when none matches or the cell does not exist.
QByteArray LookupColumn(const T2DimStrArray& table, int columnCount, int row,
                        const QByteArray& name);

} // namespace zarq
