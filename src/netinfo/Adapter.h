#pragma once

#include "netinfo/AdapterRecord.h"
#include "netinfo/InfoIPAddress.h"

#include <QList>

namespace zarq {

// One adapter of the inventory, copied from its record.
class TAdapter {
public:
    explicit TAdapter(const AdapterRecord& record);

    int IPAddressCount() const { return int(m_ipAddresses.size()); }
    // Throws std::out_of_range for an index outside 0 to count-1.
    const TInfoIPAddress& IPAddresses(int i) const;
    int GatewayCount() const { return int(m_gateways.size()); }
    const TInfoIPAddress& Gateways(int i) const;

    QString AdapterName;
    QString Description;
    quint32 AddressLength = 0;
    QString MacAddress;
    quint32 Index = 0;
    quint32 AdapterType = 0;
    bool DhcpEnabled = false;
    TInfoIPAddress CurrentIPAddress;
    TInfoIPAddress DhcpServer;
    bool HaveWins = false;
    TInfoIPAddress PrimaryWinsServer;
    TInfoIPAddress SecondaryWinsServer;

private:
    QList<TInfoIPAddress> m_ipAddresses;
    QList<TInfoIPAddress> m_gateways;
};

// Each of the first `count` bytes (at most 8) as two upper-case hexadecimal digits, joined
// by ":"; empty text for no bytes.
QString MacToText(const QByteArray& bytes, quint32 count);

// Clears `list` and appends one pair per entry of the chain.
void LoadAddressList(const QList<IpAddrString>& chain, QList<TInfoIPAddress>& list);

} // namespace zarq
