#include "shell/StatusNotifierItemProbe.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace zarq {

bool dockedAsStatusNotifierItem() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false; // no session bus: Qt could only have docked into an XEmbed tray
    const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
    if (!names.isValid())
        return false;
    const QString ours =
        QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid());
    for (const QString& name : names.value()) {
        // Qt registers the item on the process's shared session connection, so the name is
        // owned by this very connection (a process of the same id elsewhere cannot pass).
        if (name.startsWith(ours) &&
            bus.interface()->serviceOwner(name).value() == bus.baseService())
            return true;
    }
    return false;
}

} // namespace zarq
