#include "netinfo/AdapterTable.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <net/if_arp.h>

namespace zarq {

namespace {

unsigned adapterType(const KernelInterface& i) {
    switch (i.hardwareType) {
    case ARPHRD_ETHER:
        return AdapterTable::TypeEthernet;
    case ARPHRD_PPP:
        return AdapterTable::TypePpp;
    case ARPHRD_LOOPBACK:
        return AdapterTable::TypeLoopback;
    case ARPHRD_IEEE80211:
        return AdapterTable::TypeIeee80211;
    default:
        return AdapterTable::TypeOther;
    }
}

} // namespace

QList<AdapterRecord> AdapterTable::read() {
    QList<AdapterRecord> records = fromSnapshot(KernelSnapshot::read());
    if (records.isEmpty())
        throw SystemError::fromErrno(ENODATA);
    return records;
}

QList<AdapterRecord> AdapterTable::fromSnapshot(const KernelSnapshot& snapshot) {
    QList<AdapterRecord> records;
    for (const KernelInterface& i : snapshot.interfaces) {
        if (i.isLoopback())
            continue;
        AdapterRecord r;
        r.adapterName = i.name;
        r.description = i.description();
        r.address = i.hardwareAddress.left(8);
        r.index = i.index;
        r.type = adapterType(i);

        r.ipAddressList.clear();
        for (const KernelAddress& a : i.addresses) {
            r.ipAddressList.append(
                {KernelSnapshot::dottedText(a.address), KernelSnapshot::dottedText(a.mask)});
        }
        if (r.ipAddressList.isEmpty())
            r.ipAddressList.append({QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0")});

        r.gatewayList.clear();
        for (const quint32 gateway : snapshot.defaultGateways(i.index))
            r.gatewayList.append(
                {KernelSnapshot::dottedText(gateway), QStringLiteral("255.255.255.255")});
        if (r.gatewayList.isEmpty())
            r.gatewayList.append(IpAddrString{});
        records.append(r);
    }
    return records;
}

} // namespace zarq
