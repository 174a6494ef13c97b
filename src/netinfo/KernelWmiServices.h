#pragma once

#include "netinfo/KernelSnapshot.h"
#include "netinfo/WmiServices.h"

namespace zarq {

// The root\CIMV2 namespace of the WMI stand-in, answering from one kernel snapshot.
//   Win32_IP4RouteTable: Destination, NextHop, InterfaceIndex, Mask, Metric1
//   Win32_NetworkAdapterConfiguration: Index, SettingID, IPAddress, IPSubnet,
//       DefaultIPGateway, MACAddress, Description, IPEnabled, DHCPEnabled
//   Win32_NetworkAdapter: Index, NetConnectionID, Name, MACAddress
// Index is the kernel's interface index; SettingID and NetConnectionID are the interface
// name (NetConnectionID is null for loopback). Addresses are IPv4 only: the LAN name the
// service keeps is an IPv4 record.
class KernelWmiServices : public WmiServices {
public:
    explicit KernelWmiServices(KernelSnapshot snapshot) : m_snapshot(std::move(snapshot)) {}

    std::unique_ptr<WmiObjectSet> execQuery(const QString& query, const QString& language,
                                            int flags) override;
    std::unique_ptr<WmiObjectSet> instancesOf(const QString& className, int flags) override;

private:
    KernelSnapshot m_snapshot;
};

} // namespace zarq
