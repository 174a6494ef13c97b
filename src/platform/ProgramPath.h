#pragma once

#include <QString>

namespace zarq {

// The program a user starts: `zarq`. The desktop window runs in a companion executable that
// `zarq` replaces itself with (so the headless program never loads the GUI libraries); that
// companion learns the launcher's path from the environment, and everything that writes the
// program's path somewhere (the start-at-log-in entry) must use this, not its own file path.
class ProgramPath {
public:
    static constexpr const char* kLauncherVariable = "ZARQ_LAUNCHER";

    // The launcher's absolute path when this process was started through it and it still
    // exists; otherwise this executable's own path.
    static QString launcher();

    // The desktop companion beside `launcherPath` (build tree) or in
    // <prefix>/libexec/zarq/ (installed); empty when there is none.
    static QString desktopCompanion(const QString& launcherPath);
};

} // namespace zarq
