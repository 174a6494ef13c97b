#include "netinfo/WmiQuery.h"

#include "netinfo/WmiError.h"
#include "platform/TextCodec.h"

#include <QLocale>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

namespace zarq {

namespace {

QString typeName(const QVariant& value) {
    const char* name = value.metaType().name();
    return name ? QString::fromLatin1(name) : QStringLiteral("unknown");
}

qint32 toInt32(const QVariant& value, const WmiProperty& property) {
    bool ok = false;
    qint64 number = 0;
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
        number = value.toString().toLongLong(&ok, 10);
        break;
    case QMetaType::ULongLong: {
        const quint64 u = value.toULongLong(&ok);
        ok = ok && u <= quint64(std::numeric_limits<qint64>::max());
        number = qint64(u);
        break;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = std::round(value.toDouble());
        ok = std::isfinite(d) && std::fabs(d) < 9.0e18;
        number = ok ? qint64(d) : 0;
        break;
    }
    default:
        number = value.toLongLong(&ok);
        break;
    }
    if (!ok)
        throw WmiError(QStringLiteral("Could not convert the value of %1 (%2) to an integer")
                           .arg(property.name, typeName(value)));
    if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        throw WmiError(QStringLiteral("Overflow while converting the value %1 of %2 to a 32-bit "
                                      "integer")
                           .arg(number)
                           .arg(property.name));
    return qint32(number);
}

QByteArray joined(const QVariantList& elements,
                  const std::function<QByteArray(const QVariant&)>& text) {
    QByteArray out;
    for (qsizetype i = 0; i < elements.size(); ++i) {
        if (i > 0)
            out.append('|');
        out.append(text(elements.at(i)));
    }
    return out;
}

QByteArray scalarText(const WmiProperty& property) {
    if (property.isArray())
        throw WmiError(
            QStringLiteral("Could not convert the array value of %1 to text").arg(property.name));
    return TextCodec::toCp936(property.value.toString());
}

} // namespace

QString generalFloatText(double value, QChar decimalPoint) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");

    // d.dddddddddddddde+XX: 15 significant digits and the power of ten of the first one.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    const QString text = QString::fromLatin1(buffer);
    const qsizetype e = text.indexOf(u'e');
    QString digits = text.left(1) + text.mid(2, e - 2);
    const int power = text.mid(e + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);

    const int exponent = power + 1; // digits before the decimal point
    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent > 15 || exponent < -3) {
        out += digits.left(1);
        if (digits.size() > 1)
            out += decimalPoint + digits.mid(1);
        out += u'E' + QString::number(power);
    } else if (exponent <= 0) {
        out += u'0' + QString(decimalPoint) + QString(-exponent, u'0') + digits;
    } else {
        if (digits.size() <= exponent) {
            out += digits + QString(exponent - digits.size(), u'0');
        } else {
            out += digits.left(exponent) + decimalPoint + digits.mid(exponent);
        }
    }
    return out;
}

QByteArray WmiValueText(const WmiProperty& property) {
    if (property.isNull())
        return QByteArrayLiteral("NULL");

    switch (property.cimType) {
    case CimSint16:
    case CimSint32:
    case CimSint8:
    case CimUint8:
    case CimUint16:
    case CimUint32:
    case CimSint64: {
        const auto text = [&](const QVariant& v) {
            return QByteArray::number(toInt32(v, property));
        };
        return property.isArray() ? joined(property.value.toList(), text) : text(property.value);
    }
    case CimReal32:
    case CimReal64: {
        if (property.isArray())
            return scalarText(property);
        bool ok = false;
        const double d = property.value.toDouble(&ok);
        if (!ok)
            throw WmiError(QStringLiteral("Could not convert the value of %1 (%2) to a number")
                               .arg(property.name, typeName(property.value)));
        return TextCodec::toCp936(generalFloatText(d, QLocale().decimalPoint().at(0)));
    }
    case CimString:
    case CimUint64: {
        const auto text = [](const QVariant& v) { return TextCodec::toCp936(v.toString()); };
        return property.isArray() ? joined(property.value.toList(), text) : text(property.value);
    }
    case CimBoolean:
        if (property.isArray())
            return scalarText(property);
        return property.value.toBool() ? QByteArrayLiteral("True") : QByteArrayLiteral("False");
    case CimObject:
        return QByteArrayLiteral("<CIM Object>");
    case CimDatetime:
    case CimReference:
        return scalarText(property);
    case CimChar16:
        return QByteArrayLiteral("<16-bit character>");
    default:
        return QByteArray();
    }
}

QString ExceptionText(std::exception_ptr failure) {
    if (!failure)
        return QString();
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return TextCodec::trimmed(QString::fromUtf8(e.what()));
    } catch (...) {
        return QString();
    }
}

int RunWmiQuery(WmiLocator& locator, const QString& server, const QString& nameSpace,
                const QString& user, const QString& password, const QString& query,
                T2DimStrArray& table, int& instanceCount, QString& errorText) {
    errorText.clear();
    instanceCount = 0;
    table.clear();
    int result = 0;
    try {
        // The services and the object set are released on every path by their owners.
        std::unique_ptr<WmiServices> services =
            locator.connectServer(server, nameSpace, user, password);
        std::unique_ptr<WmiObjectSet> set =
            query.startsWith(QLatin1String("SELECT"))
                ? services->execQuery(query, QStringLiteral("WQL"), WmiServices::ReturnImmediately)
                : services->instancesOf(query, WmiServices::ReturnImmediatelyShallow);
        instanceCount = set->count();
        if (instanceCount <= 0)
            return 0;

        qsizetype width = 0;
        int row = 0;
        while (std::optional<WmiObject> instance = set->next()) {
            const QList<WmiProperty>& properties = instance->properties;
            if (row == 0) {
                width = properties.size() + 1;
                table = T2DimStrArray(qsizetype(instanceCount) + 1, QList<QByteArray>(width));
                table[0][0] = QByteArrayLiteral("Instance");
                // The column count is the table's width: a later instance with more
                // properties than the first cannot widen it.
                result = int(width - 1);
            }
            ++row;
            if (row > instanceCount)
                continue; // more instances than the set reported: no row left for them
            table[row][0] = QByteArray::number(row);
            for (qsizetype c = 1; c <= properties.size(); ++c) {
                const WmiProperty& property = properties.at(c - 1);
                const QByteArray text = WmiValueText(property);
                if (c >= width)
                    continue;
                if (row == 1)
                    table[0][c] = TextCodec::toCp936(property.name);
                table[row][c] = text;
            }
        }
        return result;
    } catch (...) {
        errorText = ExceptionText(std::current_exception());
        return -1;
    }
}

} // namespace zarq
