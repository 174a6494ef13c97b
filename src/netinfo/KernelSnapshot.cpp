#include "netinfo/KernelSnapshot.h"

#include "netinfo/FileText.h"
#include "platform/SystemError.h"

#include <QFile>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/route.h>
#include <netinet/in.h>
#include <unistd.h>

namespace zarq {

namespace {

quint32 hexField(const QByteArray& field, bool* ok) {
    return quint32(field.toUInt(ok, 16));
}

// An address label such as "eth0:1" names an alias of eth0.
KernelInterface* findByLabel(QList<KernelInterface>& interfaces, const QString& label) {
    for (KernelInterface& i : interfaces) {
        if (i.name == label)
            return &i;
    }
    const qsizetype colon = label.indexOf(u':');
    if (colon > 0) {
        const QString base = label.left(colon);
        for (KernelInterface& i : interfaces) {
            if (i.name == base)
                return &i;
        }
    }
    return nullptr;
}

} // namespace

KernelSnapshot KernelSnapshot::read(const QString& routeFile) {
    KernelSnapshot snapshot;

    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        throw SystemError::fromErrno(errno);
    // Links first (they carry index and hardware address), then their IPv4 addresses.
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
        KernelInterface i;
        i.index = unsigned(link->sll_ifindex);
        i.name = QString::fromLocal8Bit(a->ifa_name);
        i.flags = a->ifa_flags;
        i.hardwareType = link->sll_hatype;
        i.hardwareAddress = QByteArray(reinterpret_cast<const char*>(link->sll_addr),
                                       std::min<int>(link->sll_halen, 8));
        snapshot.interfaces.append(i);
    }
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
            continue;
        KernelInterface* i = findByLabel(snapshot.interfaces, QString::fromLocal8Bit(a->ifa_name));
        if (!i)
            continue;
        KernelAddress address;
        address.address = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
        if (a->ifa_netmask)
            address.mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
        i->addresses.append(address);
    }
    ::freeifaddrs(list);
    std::stable_sort(
        snapshot.interfaces.begin(), snapshot.interfaces.end(),
        [](const KernelInterface& a, const KernelInterface& b) { return a.index < b.index; });

    for (KernelInterface& i : snapshot.interfaces) {
        if (!i.isLoopback())
            i.driver = driverName(i.name);
    }

    snapshot.routes = parseRouteTable(readWholeFile(routeFile));
    for (KernelRoute& route : snapshot.routes) {
        for (const KernelInterface& i : snapshot.interfaces) {
            if (i.name == route.interfaceName)
                route.interfaceIndex = i.index;
        }
    }
    return snapshot;
}

QList<KernelRoute> KernelSnapshot::parseRouteTable(const QByteArray& text) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT; the hexadecimal
    // addresses are the raw network-order words as the machine stores them.
    QList<KernelRoute> routes;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QList<QByteArray> fields = lines.at(n).simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool ok[5] = {};
        KernelRoute route;
        route.interfaceName = QString::fromLocal8Bit(fields.at(0));
        route.destination = hexField(fields.at(1), &ok[0]);
        route.gateway = hexField(fields.at(2), &ok[1]);
        route.flags = fields.at(3).toUInt(&ok[2], 16);
        route.metric = fields.at(6).toInt(&ok[3]);
        route.mask = hexField(fields.at(7), &ok[4]);
        if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }))
            continue;
        if ((route.flags & RTF_UP) == 0)
            continue;
        routes.append(route);
    }
    return routes;
}

QString KernelSnapshot::dottedText(quint32 address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    ::inet_ntop(AF_INET, &in, text, sizeof text);
    return QString::fromLatin1(text);
}

QString KernelSnapshot::driverName(const QString& interfaceName) {
    if (interfaceName.contains(u'/') || interfaceName.startsWith(u'.'))
        return QString();
    const QByteArray link = "/sys/class/net/" + QFile::encodeName(interfaceName) + "/device/driver";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n <= 0)
        return QString(); // virtual interfaces have no device, hence no driver
    const QByteArray path(target, n);
    return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

QList<quint32> KernelSnapshot::defaultGateways(unsigned interfaceIndex) const {
    QList<quint32> gateways;
    for (const KernelRoute& r : routes) {
        if (r.interfaceIndex == interfaceIndex && r.isDefault() && r.hasGateway() &&
            !gateways.contains(r.gateway))
            gateways.append(r.gateway);
    }
    return gateways;
}

} // namespace zarq
