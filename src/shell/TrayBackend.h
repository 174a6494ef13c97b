#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

class QMenu;

namespace zarq {

// The desktop's notification area as the tray icon sees it: put an icon there, take it away,
// and report what the pointer did to it. The program uses SystemTrayBackend
// (QSystemTrayIcon); tests drive a fake one.
class TrayBackend : public QObject {
    Q_OBJECT
public:
    enum class Event {
        LeftPress,
        LeftRelease,
        LeftDoubleClick,
        RightPress,
        RightRelease,
        MiddlePress,
        MiddleRelease,
        // The one primary activation of a StatusNotifierItem host (its "Activate"): such a
        // host reports neither presses nor double clicks.
        PrimaryActivation
    };
    Q_ENUM(Event)

    using QObject::QObject;

    // Whether a tray host is running now.
    virtual bool isAvailable() const = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& tip) = 0;
    // The menu the tray host may show by itself on a right click.
    virtual void setMenu(QMenu* menu) = 0;
    // Shows `menu` at `pos` on a right press (a host that shows the menu itself ignores it).
    virtual void popUpMenu(QMenu* menu, const QPoint& pos) = 0;
    // Adds the icon to the tray and keeps it there, also across a restart of the tray host;
    // removes it.
    virtual void show() = 0;
    virtual void hide() = 0;

signals:
    void mouseEvent(zarq::TrayBackend::Event event, QPoint globalPos);
};

} // namespace zarq
