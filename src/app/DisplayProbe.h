#pragma once

#include <QByteArray>
#include <QString>

namespace zarq {

// Whether the display named by DISPLAY / WAYLAND_DISPLAY answers, found out with a plain
// socket connect and no GUI library. Qt's own display connection gives up by ending the
// process, so a stale DISPLAY (an SSH session, a dead X server) must be caught before the
// window program is started.
class DisplayProbe {
public:
    struct Environment {
        QByteArray display;        // DISPLAY
        QByteArray waylandDisplay; // WAYLAND_DISPLAY
        QString runtimeDir;        // XDG_RUNTIME_DIR
        QByteArray qpaPlatform;    // QT_QPA_PLATFORM
        // Where local X servers put their sockets; a test may point it elsewhere.
        QString x11SocketDir = QStringLiteral("/tmp/.X11-unix");
        int tcpTimeoutMs = 2000;

        static Environment current();
    };

    // Empty text when a display answers (or none is needed: a Qt platform other than X11 or
    // Wayland was chosen), else one sentence saying why no display can be used.
    static QString unreachableReason(const Environment& env);

    // Each answers empty text when the display answers, else why not.
    static QString probeX11(const QByteArray& display, const QString& socketDir, int tcpTimeoutMs);
    static QString probeWayland(const QByteArray& waylandDisplay, const QString& runtimeDir);
};

} // namespace zarq
