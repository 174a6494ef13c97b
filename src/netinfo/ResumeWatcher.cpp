#include "netinfo/ResumeWatcher.h"

#include "netinfo/WatchLog.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace zarq {

namespace {
const QString kLogin1 = QStringLiteral("org.freedesktop.login1");
}

ResumeWatcher::ResumeWatcher(QObject* parent) : QObject(parent) {}

bool ResumeWatcher::start() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCDebug(lcWatch, "no system bus (%s): resumes from sleep are not watched",
                qPrintable(bus.lastError().message()));
        return false;
    }
    if (!bus.interface() || !bus.interface()->isServiceRegistered(kLogin1).value()) {
        qCDebug(lcWatch, "logind is not on the system bus: resumes from sleep are not watched");
        return false;
    }
    // Qt D-Bus connects signals by their signature text only.
    if (!bus.connect(kLogin1, QStringLiteral("/org/freedesktop/login1"),
                     QStringLiteral("org.freedesktop.login1.Manager"),
                     QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)))) {
        qCDebug(lcWatch, "cannot listen to logind's PrepareForSleep: %s",
                qPrintable(bus.lastError().message()));
        return false;
    }
    return true;
}

void ResumeWatcher::onPrepareForSleep(bool sleeping) {
    if (!sleeping)
        emit resumed();
}

} // namespace zarq
