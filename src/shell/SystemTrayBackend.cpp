#include "shell/SystemTrayBackend.h"

#include <QCursor>
#include <QMenu>

namespace zarq {

SystemTrayBackend::SystemTrayBackend(QObject* parent) : TrayBackend(parent) {
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

void SystemTrayBackend::onActivated(QSystemTrayIcon::ActivationReason reason) {
    const QPoint pos = QCursor::pos();
    switch (reason) {
    case QSystemTrayIcon::Trigger:
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
