#pragma once

#include <QString>

namespace zarq {

// A folder of this user's own, for files whose names others must not be able to guess and
// plant (locks, sockets, temporary files). Unlike the shared /tmp, nobody else can create,
// replace or redirect anything in it.
class PrivateFolder {
public:
    // "$XDG_CACHE_HOME/tervan/<leaf>" (~/.cache when the variable is unset or relative).
    static QString underCache(const QString& leaf);

    // Creates `dir` (and missing parents) with mode 0700. Empty text when the folder is then
    // fit for private files; else why it is refused: it is a symbolic link or not a folder,
    // it belongs to another user, or other users may enter or write it (mode not 0700). A
    // refused folder is left as it is.
    static QString ensure(const QString& dir);
};

} // namespace zarq
