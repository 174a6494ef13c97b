#include "netinfo/NetworkReport.h"

#include "netinfo/AdapterTable.h"
#include "platform/TextCodec.h"

namespace zarq {

namespace {

const QString crlf = QStringLiteral("\r\n");

// Each pair preceded by three spaces, the first one too.
QString pairsText(int count, const std::function<const TInfoIPAddress&(int)>& pair) {
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("   ") + pair(i).AsText();
    return text;
}

} // namespace

QString NetworkReport::adapterText(const TIPInfo& info) {
    QString text;
    for (int n = 0; n < info.AdapterCount(); ++n) {
        const TAdapter& a = info.Adapters(n);
        text += QStringLiteral("网卡名称: ") + a.Description + crlf;
        text += QStringLiteral("网卡MAC: ") + a.MacAddress + crlf;
        text += QStringLiteral("IP地址: ") +
                pairsText(a.IPAddressCount(),
                          [&](int i) -> const TInfoIPAddress& { return a.IPAddresses(i); }) +
                crlf;
        const QString gateways = pairsText(
            a.GatewayCount(), [&](int i) -> const TInfoIPAddress& { return a.Gateways(i); });
        if (TextCodec::trimmed(gateways).size() > 2)
            text += QStringLiteral("网关: ") + gateways + crlf;
        text += crlf;
    }
    return text;
}

QString NetworkReport::dnsText(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + crlf;
    return text;
}

void NetworkReport::getipinfo(QString& memo, const TIPInfo::Source& adapters,
                              const DnsSource& dnsServers) {
    const TIPInfo info(adapters);
    memo.clear();
    memo += adapterText(info);
    QStringList lines;
    dnsServers(lines);
    memo += dnsText(lines);
}

QString NetworkReport::getipinfo() {
    QString memo;
    getipinfo(memo, &AdapterTable::read, [](QStringList& lines) { GetDnsServers(lines); });
    return memo;
}

} // namespace zarq
