#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace zarq {

// The updater's command line, taken apart (the program's `argv` without its own name):
// process id, "L"/"X", the program to restart, its parameter, the staging folder, then the
// components to place.
struct UpdaterParameters {
    pid_t processId = 0;
    bool logging = false;
    QString application;
    QString applicationParameter;
    QString stagingFolder;
    QStringList components;

    // Empty when the first parameter is not a decimal number: the updater then does nothing.
    // Missing parameters read as empty text.
    static std::optional<UpdaterParameters> parse(const QStringList& args);

    // Whether a program is started at the end: not for "null" (nor for no program at all).
    bool restarts() const;

    // The restart as an argument vector: the program, and its parameter as one argument unless
    // the parameter is the single blank that stands for none (or empty). Run without a shell, a
    // folder with blanks needs no quoting.
    QStringList restartCommand() const;
};

} // namespace zarq
