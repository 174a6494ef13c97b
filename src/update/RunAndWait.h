#pragma once

#include <QString>

namespace zarq {

// Runs `commandLine` (taken apart by CommandLine's rules and started without a shell) and waits
// without limit for its end. True when it ran and ended with exit code 0. Otherwise
// `*lastError` receives the exit code + 8192 (a program ended by signal s counts as exit code
// 128 + s), or the errno value of a start that failed (then `*startError` says why). `show` off
// gives the program /dev/null for its standard streams, the stand-in for a hidden window. The
// caller logs the command ("Exec: " ...) and shows any progress window; both are its business.
bool RunAndWait(const QString& commandLine, bool show, int* lastError = nullptr,
                QString* startError = nullptr);

} // namespace zarq
