#pragma once

#include <QString>
#include <QVariant>

namespace zarq {

// CIM type numbers as WMI reports them for a property.
enum CimType : int {
    CimSint16 = 2,
    CimSint32 = 3,
    CimReal32 = 4,
    CimReal64 = 5,
    CimString = 8,
    CimBoolean = 11,
    CimObject = 13,
    CimSint8 = 16,
    CimUint8 = 17,
    CimUint16 = 18,
    CimUint32 = 19,
    CimSint64 = 20,
    CimUint64 = 21,
    CimDatetime = 101,
    CimReference = 102,
    CimChar16 = 103,
};

// One property of a WMI instance: its name, its CIM type and its value. An invalid (or
// null) QVariant is a null value; a QVariantList is an array whose elements have the
// property's type.
struct WmiProperty {
    QString name;
    int cimType = CimString;
    QVariant value;

    bool isNull() const { return !value.isValid() || value.isNull(); }
    bool isArray() const { return value.typeId() == QMetaType::QVariantList; }
};

} // namespace zarq
