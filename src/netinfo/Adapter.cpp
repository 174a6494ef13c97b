#include "netinfo/Adapter.h"

#include "netinfo/ListItem.h"

#include <algorithm>

namespace zarq {

TAdapter::TAdapter(const AdapterRecord& record)
    : AdapterName(record.adapterName), Description(record.description),
      AddressLength(quint32(std::min<qsizetype>(record.address.size(), 8))),
      MacAddress(MacToText(record.address, AddressLength)), Index(record.index),
      AdapterType(record.type), DhcpEnabled(record.dhcpEnabled),
      CurrentIPAddress(record.currentIpAddress ? TInfoIPAddress(*record.currentIpAddress)
                                               : TInfoIPAddress()),
      DhcpServer(record.dhcpServer), HaveWins(record.haveWins),
      PrimaryWinsServer(record.primaryWinsServer), SecondaryWinsServer(record.secondaryWinsServer) {
    LoadAddressList(record.ipAddressList, m_ipAddresses);
    LoadAddressList(record.gatewayList, m_gateways);
}

const TInfoIPAddress& TAdapter::IPAddresses(int i) const {
    return listItem(m_ipAddresses, i);
}

const TInfoIPAddress& TAdapter::Gateways(int i) const {
    return listItem(m_gateways, i);
}

QString MacToText(const QByteArray& bytes, quint32 count) {
    const qsizetype n = std::min<qsizetype>({qsizetype(count), bytes.size(), 8});
    return QString::fromLatin1(bytes.left(n).toHex(':').toUpper());
}

void LoadAddressList(const QList<IpAddrString>& chain, QList<TInfoIPAddress>& list) {
    list.clear();
    for (const IpAddrString& entry : chain)
        list.append(TInfoIPAddress(entry));
}

} // namespace zarq
