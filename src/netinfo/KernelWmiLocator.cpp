#include "netinfo/KernelWmiLocator.h"

#include "netinfo/KernelWmiServices.h"
#include "netinfo/WmiError.h"

#include <QSysInfo>
#include <optional>

namespace zarq {

namespace {

bool isThisMachine(const QString& server) {
    for (const QString& local :
         {QStringLiteral(""), QStringLiteral("."), QStringLiteral("localhost"),
          QStringLiteral("127.0.0.1"), QSysInfo::machineHostName()}) {
        if (server.compare(local, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

KernelWmiLocator::SnapshotSource KernelWmiLocator::readOnce(SnapshotSource read) {
    auto kept = std::make_shared<std::optional<KernelSnapshot>>();
    return [read = std::move(read), kept] {
        if (!*kept)
            *kept = read();
        return **kept;
    };
}

std::unique_ptr<WmiServices> KernelWmiLocator::connectServer(const QString& server,
                                                             const QString& nameSpace,
                                                             const QString& user, const QString&) {
    // There is no remote WMI on Linux: another machine is unreachable, as it would be when
    // its RPC service does not answer.
    if (!isThisMachine(server))
        throw WmiError(QStringLiteral("The RPC server is unavailable."));
    QString path = nameSpace;
    path.replace(u'/', u'\\');
    if (path.compare(QLatin1String("root\\CIMV2"), Qt::CaseInsensitive) != 0)
        throw WmiError(QStringLiteral("Invalid namespace: %1").arg(nameSpace));
    if (!user.isEmpty())
        throw WmiError(QStringLiteral("User credentials cannot be used for local connections"));
    return std::make_unique<KernelWmiServices>(m_source());
}

} // namespace zarq
