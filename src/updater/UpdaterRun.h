#pragma once

#include <QStringList>
#include <functional>

namespace zarq {

// The updater program from start to end: wait for the program to end, read and delete
// UPDATER.INI, place the components, start the program again.
class UpdaterRun {
public:
    // `args` without the program's own name. Returns the exit status (0; nobody reads it).
    int run(const QStringList& args);

    // The 500 ms pauses; tests may shorten them.
    std::function<void(int ms)> sleep;
};

} // namespace zarq
