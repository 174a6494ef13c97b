#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <memory>
#include <xcb/xcb.h>

// What a test sees of an X display, asked of the X server itself (libxcb): the tray selection,
// the windows a process put on the display, their titles and whether they are on screen.
namespace zarq::test {

using XConnection = std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)>;

// One connection to `display`; null when the display cannot be reached.
XConnection connectTo(const QString& display);

// Whether a tray host owns the tray selection of the display's first screen.
bool trayHostRunning(const QString& display);

// A window of the process, as the X server has it.
struct XWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    bool topLevel = false;         // a child of the root (the display has no window manager)
    bool viewable = false;         // mapped, and so are its ancestors
    bool overrideRedirect = false; // menus and other popups
    QString netWmName;             // _NET_WM_NAME, the title window managers show (UTF-8)
    QRect rootGeometry;            // where it is, in root coordinates
};

// Every window carrying _NET_WM_PID `pid`. A tray icon that the tray host docked is found
// inside the host's window, so it is not topLevel.
QList<XWindow> windowsOf(const QString& display, qint64 pid);

// The top-level window of `pid` whose title is exactly `title`; id NONE when there is none.
XWindow topLevelTitled(const QString& display, qint64 pid, const QString& title);

// Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
bool requestClose(const QString& display, xcb_window_t window);

} // namespace zarq::test
