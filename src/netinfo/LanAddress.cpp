#include "netinfo/LanAddress.h"

#include "netinfo/KernelWmiLocator.h"
#include "netinfo/WqlQuery.h"
#include "platform/TextCodec.h"

#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace zarq {

namespace {

struct QueryResult {
    T2DimStrArray table;
    int instanceCount = 0;
    int columnCount = 0;
};

// Every query of the resolver goes to this machine's root\CIMV2 with the caller's own
// credentials. Error texts are not used: a failed query simply yields nothing.
QueryResult localQuery(WmiLocator& locator, const QString& query) {
    QueryResult r;
    QString errorText;
    r.columnCount = RunWmiQuery(locator, QStringLiteral("."), QStringLiteral("root\\CIMV2"),
                                QString(), QString(), query, r.table, r.instanceCount, errorText);
    return r;
}

// A value taken from an earlier table (system code page) as a quoted literal. It is escaped
// as Unicode, not as bytes: the second byte of a double-byte character may be a backslash.
QString literal(const QByteArray& value) {
    return WqlQuery::quoted(TextCodec::fromCp936(value));
}

// Decimal text to integer, as strictly as the conversion the resolver has always used.
int decimalToInt(const QByteArray& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw std::invalid_argument("'" + text.toStdString() + "' is not a valid integer value");
    return value;
}

} // namespace

QByteArray LookupColumn(const T2DimStrArray& table, int columnCount, int row,
                        const QByteArray& name) {
    QByteArray value;
    if (table.isEmpty() || row < 0 || row >= table.size())
        return value;
    const QByteArray wanted = name.toLower();
    const QList<QByteArray>& header = table.at(0);
    const QList<QByteArray>& cells = table.at(row);
    for (int i = 1; i <= columnCount && i < header.size() && i < cells.size(); ++i) {
        if (header.at(i).toLower() == wanted)
            value = cells.at(i);
    }
    return value;
}

void GetDefaultRouteAdapterIndex(WmiLocator& locator, QByteArray& index, QByteArray& gateway) {
    gateway.clear();
    index = "0";
    const QueryResult routes = localQuery(
        locator, u"SELECT NextHop FROM Win32_IP4RouteTable WHERE Destination='0.0.0.0'"_s);
    if (routes.instanceCount <= 0)
        return;
    // Several default routes: the first one listed is taken, metrics are not compared.
    gateway = LookupColumn(routes.table, routes.columnCount, 1, "NextHop");

    QueryResult adapter = localQuery(
        locator, u"SELECT Index FROM Win32_NetworkAdapterConfiguration WHERE DefaultIPGateway="_s +
                     literal(gateway));
    if (adapter.instanceCount == 0) {
        // No configuration lists that gateway: take the first adapter that has a
        // connection name, whatever its routes.
        adapter = localQuery(locator,
                             u"SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID<>NULL"_s);
    }
    index = LookupColumn(adapter.table, adapter.columnCount, 1, "Index");
}

QByteArray GetAdapterSettingID(WmiLocator& locator, int index) {
    const QueryResult r = localQuery(
        locator, u"SELECT SettingID FROM Win32_NetworkAdapterConfiguration WHERE Index="_s +
                     QString::number(index));
    if (r.columnCount <= 0)
        return QByteArray();
    return LookupColumn(r.table, r.columnCount, 1, "settingid");
}

QByteArray GetAdapterAddresses(WmiLocator& locator, const QByteArray& settingID) {
    const QueryResult r = localQuery(
        locator, u"SELECT IPAddress FROM Win32_NetworkAdapterConfiguration WHERE SettingID="_s +
                     literal(settingID));
    return LookupColumn(r.table, r.columnCount, 1, "IPAddress");
}

QByteArray GetLanAddress(WmiLocator& locator) {
    QByteArray index;
    QByteArray gateway;
    GetDefaultRouteAdapterIndex(locator, index, gateway);
    if (index.isEmpty())
        return QByteArray();
    const QByteArray settingID = GetAdapterSettingID(locator, decimalToInt(index));
    return GetAdapterAddresses(locator, settingID);
}

QByteArray GetLanAddress() {
    // The session asks at every sign-in and heartbeat and must go on whatever happens
    // here, so a failure gives the same empty text as "no adapter found".
    try {
        // Every query of one call connects anew but answers from the same reading of the
        // kernel: interfaces, routes and drivers are read once per call, not once per query,
        // and the queries agree with one another even if the network changes meanwhile.
        KernelWmiLocator locator(KernelWmiLocator::readOnce([] { return KernelSnapshot::read(); }));
        return GetLanAddress(locator);
    } catch (...) {
        return QByteArray();
    }
}

} // namespace zarq
