#include "shell/StatusNotifierItemProbe.h"

#include <QCoreApplication>
#include <QDBusConnection>

namespace zarq {

namespace {

bool exportsItem(const QDBusConnection& connection) {
    return connection.isConnected() &&
           connection.objectRegisteredAt(QStringLiteral("/StatusNotifierItem"));
}

} // namespace

bool dockedAsStatusNotifierItem() {
    // Qt exports its item object at "/StatusNotifierItem" on a session bus connection of its
    // own, named after the item ("org.kde.StatusNotifierItem-<pid>-<n>", n counting every
    // platform tray icon Qt made, including the short-lived ones that ask whether a tray is
    // there), or on the shared session connection. An XEmbed icon is no D-Bus object at all.
    if (exportsItem(QDBusConnection::sessionBus()))
        return true;
    const QString prefix =
        QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid());
    for (int n = 1; n <= 256; ++n) {
        // Looking a name up makes no connection: an unknown name gives a disconnected one.
        if (exportsItem(QDBusConnection(prefix + QString::number(n))))
            return true;
    }
    return false;
}

} // namespace zarq
