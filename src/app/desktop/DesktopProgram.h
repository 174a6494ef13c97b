#pragma once

#include "platform/ZarqConfig.h"
#include "session/SessionProtocol.h"

#include <QString>
#include <functional>
#include <memory>

class QApplication;

namespace zarq {

class SessionWatch;
class TForm1;

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
// The window's network and resume watch, started: none when `options.watch` or the saved
// switch turns watching off. A network watcher that cannot start is reported on stderr.
std::unique_ptr<SessionWatch> startDesktopWatch(TForm1& form, const DesktopOptions& options);

int runDesktop(QApplication& app, const DesktopOptions& options, const SignalWatch& watchSignals);

} // namespace zarq
