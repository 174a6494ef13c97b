#include "shell/SystemTrayBackend.h"

#include "shell/StatusNotifierItemProbe.h"

#include <QCursor>
#include <QMenu>

namespace zarq {

SystemTrayBackend::SystemTrayBackend(QObject* parent, HostProbe dockedAsStatusNotifierItem)
    : TrayBackend(parent), m_hostProbe(std::move(dockedAsStatusNotifierItem)) {
    if (!m_hostProbe)
        m_hostProbe = &zarq::dockedAsStatusNotifierItem;
    connect(&m_icon, &QSystemTrayIcon::activated, this, &SystemTrayBackend::onActivated);
}

bool SystemTrayBackend::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayBackend::setIcon(const QIcon& icon) {
    m_icon.setIcon(icon);
}

void SystemTrayBackend::setToolTip(const QString& tip) {
    m_icon.setToolTip(tip);
}

void SystemTrayBackend::setMenu(QMenu* menu) {
    m_icon.setContextMenu(menu);
}

void SystemTrayBackend::popUpMenu(QMenu*, const QPoint&) {
    // QSystemTrayIcon shows its context menu on the right press by itself (and a
    // StatusNotifierItem host draws it itself); popping it up again would show it twice.
}

void SystemTrayBackend::show() {
    // A visible QSystemTrayIcon docks itself again whenever a tray host (re)appears.
    m_icon.show();
}

void SystemTrayBackend::hide() {
    m_icon.hide();
}

bool SystemTrayBackend::onStatusNotifierHost() {
    if (!m_statusNotifierHost)
        m_statusNotifierHost = m_hostProbe();
    return *m_statusNotifierHost;
}

void SystemTrayBackend::onActivated(QSystemTrayIcon::ActivationReason reason) {
    const QPoint pos = QCursor::pos();
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (onStatusNotifierHost()) {
            emit mouseEvent(Event::PrimaryActivation, pos);
            break;
        }
        emit mouseEvent(Event::LeftPress, pos);
        emit mouseEvent(Event::LeftRelease, pos);
        break;
    case QSystemTrayIcon::DoubleClick:
        emit mouseEvent(Event::LeftDoubleClick, pos);
        emit mouseEvent(Event::LeftRelease, pos);
        break;
    case QSystemTrayIcon::Context:
        emit mouseEvent(Event::RightPress, pos);
        emit mouseEvent(Event::RightRelease, pos);
        break;
    case QSystemTrayIcon::MiddleClick:
        emit mouseEvent(Event::MiddlePress, pos);
        emit mouseEvent(Event::MiddleRelease, pos);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace zarq
