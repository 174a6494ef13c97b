#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace zarq {

// One address/mask entry of an adapter record, as dotted texts.
struct IpAddrString {
    QString ipAddress;
    QString ipMask;
};

// One record of the adapter table the inventory reads. The address and gateway lists
// always hold at least one entry (the record's embedded first one), which may be empty.
struct AdapterRecord {
    QString adapterName;
    QString description;
    QByteArray address; // hardware address bytes, at most 8
    unsigned index = 0;
    unsigned type = 0;
    bool dhcpEnabled = false;
    std::optional<IpAddrString> currentIpAddress;
    QList<IpAddrString> ipAddressList{IpAddrString{}};
    QList<IpAddrString> gatewayList{IpAddrString{}};
    IpAddrString dhcpServer;
    bool haveWins = false;
    IpAddrString primaryWinsServer;
    IpAddrString secondaryWinsServer;
};

} // namespace zarq
