#pragma once

#include "netinfo/DnsServers.h"
#include "netinfo/IPInfo.h"

#include <QString>
#include <functional>

namespace zarq {

// The network page's report: one block per adapter, each closed by an empty line, then the
// DNS servers. Every line ends with CR LF.
class NetworkReport {
public:
    using DnsSource = std::function<void(QStringList&)>;

    // The report of this machine. Throws SystemError when the adapters or the DNS servers
    // cannot be read.
    static QString getipinfo();

    // Builds the report into `memo`: `memo` is cleared only once the adapters have been
    // read, and holds the adapter blocks when reading the DNS servers then fails.
    static void getipinfo(QString& memo, const TIPInfo::Source& adapters,
                          const DnsSource& dnsServers);

    static QString adapterText(const TIPInfo& info);
    static QString dnsText(const QStringList& lines);
};

} // namespace zarq
