#pragma once

#include <QString>

namespace zarq {

// Whether the updater will be able to put the staged components in place. Without that, a
// restart would bring back the old program, which finds the same update due at its next start
// and restarts again, for ever: a program installed for all users (owned by root or a package
// manager) must never enter that loop.
class RestartDestination {
public:
    // Empty when the application folder and every copy target can be written and the paths
    // travel on the updater's command line intact; otherwise a sentence saying why not.
    // `components` is the component list as the updater receives it, `staging` the folder of
    // the staged files, `application` the program to restart.
    // `parameter` is the restarted program's parameter.
    static QString problem(const QString& applicationFolder, const QString& application,
                           const QString& staging, const QString& components,
                           const QString& parameter = QString());

    // Whether `text` must be enclosed in double quotes to stay one parameter: it holds a blank
    // (any character up to the space, as the command-line rules separate on).
    static bool needsQuotes(const QString& text);
};

} // namespace zarq
