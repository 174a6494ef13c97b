#include "netinfo/KernelWmiServices.h"

#include "netinfo/WmiError.h"
#include "netinfo/WmiInstanceList.h"
#include "netinfo/WqlQuery.h"

#include <QStringList>
#include <net/route.h>

namespace zarq {

namespace {

struct PropertyDefinition {
    const char* name;
    int cimType;
};

struct ClassDefinition {
    const char* name;
    QList<PropertyDefinition> properties;
};

const QList<ClassDefinition>& classes() {
    static const QList<ClassDefinition> all = {
        {"Win32_IP4RouteTable",
         {{"Destination", CimString},
          {"NextHop", CimString},
          {"InterfaceIndex", CimSint32},
          {"Mask", CimString},
          {"Metric1", CimSint32}}},
        {"Win32_NetworkAdapterConfiguration",
         {{"Index", CimUint32},
          {"SettingID", CimString},
          {"IPAddress", CimString},
          {"IPSubnet", CimString},
          {"DefaultIPGateway", CimString},
          {"MACAddress", CimString},
          {"Description", CimString},
          {"IPEnabled", CimBoolean},
          {"DHCPEnabled", CimBoolean}}},
        {"Win32_NetworkAdapter",
         {{"Index", CimUint32},
          {"NetConnectionID", CimString},
          {"Name", CimString},
          {"MACAddress", CimString}}},
    };
    return all;
}

const ClassDefinition& findClass(const QString& name) {
    for (const ClassDefinition& c : classes()) {
        if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return c;
    }
    throw WmiError(QStringLiteral("Invalid class: %1").arg(name));
}

const PropertyDefinition& findProperty(const ClassDefinition& c, const QString& name) {
    for (const PropertyDefinition& p : c.properties) {
        if (name.compare(QLatin1String(p.name), Qt::CaseInsensitive) == 0)
            return p;
    }
    throw WmiError(
        QStringLiteral("Invalid query: %1 has no property %2").arg(QLatin1String(c.name), name));
}

// Colon-separated upper-case hexadecimal; null when the interface has no hardware address.
QVariant macText(const QByteArray& bytes) {
    if (bytes.count('\0') == bytes.size())
        return QVariant();
    return QString::fromLatin1(bytes.toHex(':').toUpper());
}

QVariant nullWhenEmpty(const QStringList& list) {
    if (list.isEmpty())
        return QVariant();
    QVariantList values;
    for (const QString& s : list)
        values.append(s);
    return values;
}

// One instance of `c` with the named properties only, in the order asked.
class InstanceBuilder {
public:
    InstanceBuilder(const KernelSnapshot& snapshot, const ClassDefinition& c,
                    QList<const PropertyDefinition*> columns)
        : m_snapshot(snapshot), m_class(c), m_columns(std::move(columns)) {}

    QList<WmiObject> all() const {
        QList<WmiObject> out;
        if (QLatin1String(m_class.name) == QLatin1String("Win32_IP4RouteTable")) {
            for (const KernelRoute& r : m_snapshot.routes)
                out.append(make([&](const QString& name) { return routeValue(r, name); }));
        } else {
            for (const KernelInterface& i : m_snapshot.interfaces)
                out.append(make([&](const QString& name) { return adapterValue(i, name); }));
        }
        return out;
    }

    // The value of `name` for the instance; used for the WHERE test too.
    template <typename Value> WmiObject make(Value value) const {
        WmiObject object;
        for (const PropertyDefinition* p : m_columns) {
            const QString name = QLatin1String(p->name);
            object.properties.append(WmiProperty{name, p->cimType, value(name)});
        }
        return object;
    }

    static QVariant routeValue(const KernelRoute& r, const QString& name) {
        if (name == u"Destination")
            return KernelSnapshot::dottedText(r.destination);
        if (name == u"NextHop")
            return KernelSnapshot::dottedText(r.gateway);
        if (name == u"InterfaceIndex")
            return qint64(r.interfaceIndex);
        if (name == u"Mask")
            return KernelSnapshot::dottedText(r.mask);
        return qint64(r.metric); // Metric1
    }

    QVariant adapterValue(const KernelInterface& i, const QString& name) const {
        if (name == u"Index")
            return qint64(i.index);
        if (name == u"SettingID")
            return i.name;
        if (name == u"NetConnectionID")
            return i.isLoopback() ? QVariant() : QVariant(i.name);
        if (name == u"MACAddress")
            return macText(i.hardwareAddress);
        if (name == u"Description" || name == u"Name")
            return i.description();
        if (name == u"IPEnabled")
            return !i.addresses.isEmpty();
        if (name == u"DHCPEnabled")
            return false; // the kernel does not say which program configured an address
        QStringList list;
        if (name == u"IPAddress" || name == u"IPSubnet") {
            for (const KernelAddress& a : i.addresses)
                list.append(KernelSnapshot::dottedText(name == u"IPAddress" ? a.address : a.mask));
        } else { // DefaultIPGateway
            for (const quint32 gateway : m_snapshot.defaultGateways(i.index))
                list.append(KernelSnapshot::dottedText(gateway));
        }
        return nullWhenEmpty(list);
    }

private:
    const KernelSnapshot& m_snapshot;
    const ClassDefinition& m_class;
    QList<const PropertyDefinition*> m_columns;
};

QList<const PropertyDefinition*> allColumns(const ClassDefinition& c) {
    QList<const PropertyDefinition*> columns;
    for (const PropertyDefinition& p : c.properties)
        columns.append(&p);
    return columns;
}

} // namespace

std::unique_ptr<WmiObjectSet> KernelWmiServices::execQuery(const QString& query,
                                                           const QString& language, int) {
    if (language.compare(QLatin1String("WQL"), Qt::CaseInsensitive) != 0)
        throw WmiError(QStringLiteral("Invalid query language: %1").arg(language));
    const WqlQuery wql = WqlQuery::parse(query);
    const ClassDefinition& c = findClass(wql.className());

    QList<const PropertyDefinition*> columns;
    if (wql.selectsAll()) {
        columns = allColumns(c);
    } else {
        for (const QString& name : wql.columns())
            columns.append(&findProperty(c, name));
    }

    QList<WmiObject> instances;
    if (!wql.condition()) {
        instances = InstanceBuilder(m_snapshot, c, columns).all();
    } else {
        // The condition's column goes last, is tested, then dropped again.
        QList<const PropertyDefinition*> withCondition = columns;
        withCondition.append(&findProperty(c, wql.condition()->property));
        for (WmiObject object : InstanceBuilder(m_snapshot, c, withCondition).all()) {
            if (!wql.accepts(object.properties.takeLast()))
                continue;
            instances.append(object);
        }
    }
    return std::make_unique<WmiInstanceList>(instances);
}

std::unique_ptr<WmiObjectSet> KernelWmiServices::instancesOf(const QString& className, int) {
    const ClassDefinition& c = findClass(className);
    return std::make_unique<WmiInstanceList>(InstanceBuilder(m_snapshot, c, allColumns(c)).all());
}

} // namespace zarq
