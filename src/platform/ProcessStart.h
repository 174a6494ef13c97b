#pragma once

#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace zarq {

// Starts programs without a shell (`posix_spawn`): argv[0] is the program (looked up on PATH
// when it holds no "/"), the rest are its arguments exactly as given, so no blank, quote or "$"
// in them is ever interpreted.
class ProcessStart {
public:
    // A start that nobody waits for: the program gets a session of its own (it survives the
    // end of this process and its terminal) and /dev/null for its standard streams. Returns its
    // process id, or -1 with the reason in `*error` (and errno set).
    static pid_t detached(const QStringList& argv, QString* error = nullptr);

    // Runs the program and waits for its end without limit. `quiet` gives it /dev/null for its
    // standard streams (the stand-in for a hidden window); otherwise it shares ours. Returns its
    // exit code, 128 + the signal number when a signal ended it, or -1 with the reason in
    // `*error` (and errno set) when it could not be started.
    static int runAndWait(const QStringList& argv, bool quiet, QString* error = nullptr);
};

} // namespace zarq
