#pragma once

#include "netinfo/WmiLocator.h"
#include "netinfo/WmiProperty.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <exception>

namespace zarq {

// A query result as texts in the system code page: row 0 is "Instance" followed by the
// property names, row r (from 1) is r in decimal followed by the r-th instance's values.
using T2DimStrArray = QList<QList<QByteArray>>;

// Runs one query through `locator` and fills `table`. Returns the number of property
// columns, 0 when the query returned no instance, or -1 when anything failed; the failure's
// message is then in `errorText`. Never throws.
//
// A text that begins with "SELECT" (in capitals) is run as WQL; any other text is taken as
// a class name whose instances are listed. The table is sized once, by the count the
// object set reports and the property count of the first instance; rows or cells that
// would fall outside it are dropped.
int RunWmiQuery(WmiLocator& locator, const QString& server, const QString& nameSpace,
                const QString& user, const QString& password, const QString& query,
                T2DimStrArray& table, int& instanceCount, QString& errorText);

// The text of one property value. Throws WmiError when an integer value does not fit in
// 32 bits or a value cannot be converted.
QByteArray WmiValueText(const WmiProperty& property);

// The message of a caught failure with leading and trailing characters up to the space
// removed; empty when the failure carries no message (an exception of no known kind).
QString ExceptionText(std::exception_ptr failure);

// Floating-point text in the general format: 15 significant digits, fixed notation unless
// the exponent is too large or too small, then "1.5E20" style.
QString generalFloatText(double value, QChar decimalPoint);

} // namespace zarq
