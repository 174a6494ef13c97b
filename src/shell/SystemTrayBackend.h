#pragma once

#include "shell/TrayBackend.h"

#include <QSystemTrayIcon>
#include <functional>
#include <optional>

namespace zarq {

// The real notification area, through QSystemTrayIcon (StatusNotifierItem or the XEmbed
// tray, whichever the desktop offers). QSystemTrayIcon reports clicks rather than button
// presses; they are translated into the events the tray icon works on.
//
// On an XEmbed tray: a click (Trigger) is a left press and release, a double click (the
// second press of a double click) is LeftDoubleClick, the context request a right press and
// release. A StatusNotifierItem host gives only its primary activation, which Qt also calls
// Trigger; there it is PrimaryActivation. Which of the two hosts Qt docked into is asked of
// `dockedAsStatusNotifierItem` (default: the session bus, see StatusNotifierItemProbe.h) at
// the first Trigger, and kept: Qt never changes its choice while the process runs.
class SystemTrayBackend : public TrayBackend {
    Q_OBJECT
public:
    using HostProbe = std::function<bool()>;

    explicit SystemTrayBackend(QObject* parent = nullptr,
                               HostProbe dockedAsStatusNotifierItem = {});

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
    bool onStatusNotifierHost();

    QSystemTrayIcon m_icon;
    HostProbe m_hostProbe;
    std::optional<bool> m_statusNotifierHost;
};

} // namespace zarq
