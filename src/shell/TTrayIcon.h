#pragma once

#include "shell/TSimpleTimer.h"
#include "shell/TrayBackend.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <memory>

class QMenu;
class QWidget;

namespace zarq {

// The program's icon in the notification area (`TrayIcon1`), for the life of its owner, the
// main window.
//
//   TrayIcon1 = new TTrayIcon(this);                  // this = the main window
//   TrayIcon1->setIcon(Skin::trayIcon());
//   TrayIcon1->setPopupMenu(SkinPopupMenu1);          // a TTrayMenu
//   TrayIcon1->setMinimizeToTray(true);
//   connect(TrayIcon1, &TTrayIcon::DblClick, this, [this] { showAndRaise(this); });
//   TrayIcon1->setIconVisible(true);
//
// Clicks: a right press shows PopupMenu at once; a left double click emits DblClick. A
// single left click emits Click: at once when nothing is connected to DblClick, else one
// double-click interval after the press, and not at all when a double click follows. On a
// StatusNotifierItem host, which reports one primary activation instead of clicks, that
// activation emits DblClick. While Enabled is false, clicks are ignored.
//
// Minimising the owner with MinimizeToTray on hides the owner (and so its taskbar entry) and
// keeps the icon; showAndRaise() brings it back. Without a tray host, minimising stays a
// plain minimise, so the window keeps its taskbar entry and never becomes unreachable.
//
// When the tray host restarts (it disappears and comes back), the notification area itself
// adds the icon again: QSystemTrayIcon puts a visible icon into a tray that becomes
// available, so nothing here wakes up to look for the host.
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxHint = 127;

    // `backend` defaults to the real notification area (SystemTrayBackend).
    explicit TTrayIcon(QWidget* owner, std::unique_ptr<TrayBackend> backend = nullptr);
    ~TTrayIcon() override; // removes the icon

    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon& icon);

    bool IconVisible() const { return m_iconVisible; }
    void setIconVisible(bool visible);

    QString Hint() const { return m_hint; }
    void setHint(const QString& hint);
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool show);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    QMenu* PopupMenu() const { return m_menu; }
    void setPopupMenu(QMenu* menu);
    // Also show the menu on a left press.
    bool LeftPopup() const { return m_leftPopup; }
    void setLeftPopup(bool on) { m_leftPopup = on; }

    bool MinimizeToTray() const { return m_minimizeToTray; }
    void setMinimizeToTray(bool on) { m_minimizeToTray = on; }

    // Hides the owner into the tray and makes sure the icon is there.
    void HideToTray();

    // The tooltip given to the tray: the first 127 characters of Hint, or nothing when Hint is
    // empty or ShowHint is off.
    static QString tipText(const QString& hint, bool showHint);

    // Test seam: the double-click interval (default: the desktop's).
    void setDoubleClickInterval(int ms) { DoubleClickTimer.setInterval(ms); }
    bool clickPending() const { return DoubleClickTimer.isActive(); }
    TrayBackend* backend() const { return m_backend.get(); }

signals:
    void Click();
    void DblClick();
    void MouseDown(Qt::MouseButton button, QPoint globalPos);
    void MouseUp(Qt::MouseButton button, QPoint globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onMouseEvent(TrayBackend::Event event, QPoint pos);
    void onDoubleClickTimer();
    void popUp(const QPoint& pos);
    void updateTip();

    QPointer<QWidget> m_owner;
    std::unique_ptr<TrayBackend> m_backend;
    QIcon m_icon;
    bool m_iconVisible = false;
    QString m_hint;
    bool m_showHint = true;
    bool m_enabled = true;
    QPointer<QMenu> m_menu;
    bool m_leftPopup = false;
    bool m_minimizeToTray = false;

    TSimpleTimer DoubleClickTimer;
    bool LeftDown = false;
    bool ClickPending = false;
    bool DoubleClicked = false;
};

} // namespace zarq
