#pragma once

#include "platform/ZarqConfig.h"
#include "session/SessionProtocol.h"

#include <QString>
#include <functional>

class QApplication;

namespace zarq {

// How the desktop program is started.
struct DesktopOptions {
    ZarqConfig config;
    int heartbeatMs = SessionProtocol::kHeartbeatMs;
    bool watch = true;  // react at once to network changes and resumes
    QString runtimeDir; // the single-instance guard's folder; empty: $XDG_RUNTIME_DIR
};

// Arranges for `endSession` to run from the event loop when SIGTERM or SIGINT arrives;
// false when that cannot be set up.
using SignalWatch = std::function<bool(std::function<void()> endSession)>;

// The desktop program on `app`: skin, single-instance guard (a second copy asks the first to
// come forward and ends at once, before any window, sign-in or update check exists), the main
// window with its tray icon, then the event loop. The end of the desktop session and the
// signals that `watchSignals` brings in sign out and end the program. Returns the exit status.
int runDesktop(QApplication& app, const DesktopOptions& options, const SignalWatch& watchSignals);

} // namespace zarq
