#pragma once

#include "shell/TrayBackend.h"

#include <QSystemTrayIcon>

namespace zarq {

// The real notification area, through QSystemTrayIcon (StatusNotifierItem or the XEmbed
// tray, whichever the desktop offers). QSystemTrayIcon reports clicks rather than button
// presses; they are translated into the press/release events the tray icon works on:
// a click (Trigger) is a left press and release, a double click (the second press of a
// double click) is LeftDoubleClick, the context request a right press and release.
class SystemTrayBackend : public TrayBackend {
    Q_OBJECT
public:
    explicit SystemTrayBackend(QObject* parent = nullptr);

    bool isAvailable() const override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& tip) override;
    void setMenu(QMenu* menu) override;
    void popUpMenu(QMenu* menu, const QPoint& pos) override;
    void show() override;
    void hide() override;

    // The Qt tray icon underneath (for balloon messages, and for tests to activate it).
    QSystemTrayIcon* trayIcon() { return &m_icon; }

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_icon;
};

} // namespace zarq
