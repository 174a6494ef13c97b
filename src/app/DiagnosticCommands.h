#pragma once

namespace zarq {

// `zarq --lan-address`: prints the LAN address the session would send (what the resolver
// returns: one address, several joined by "|", "NULL", or an empty line). Exit status 0.
int runLanAddressCommand();

// `zarq --network-report`: prints the network page's report of adapters and DNS servers.
// Exit status 0, or 1 with the system error on standard error when the adapters or the DNS
// servers cannot be read.
int runNetworkReportCommand();

} // namespace zarq
