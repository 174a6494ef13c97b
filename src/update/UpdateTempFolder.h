#pragma once

#include <QString>

namespace zarq {

// The update's private temporary folder: $XDG_CACHE_HOME/tervan/tmp (~/.cache/tervan/tmp when
// XDG_CACHE_HOME is unset or not absolute). The update writes files there that the program
// later runs or puts in place, so it is never the shared /tmp, whose predictable names another
// local user could plant or redirect: the folder is created with mode 0700, and refused when
// any folder on its way from "/" is a link, another user's, or writable by others (see
// FolderChain).
class UpdateTempFolder {
public:
    // The folder's path with a trailing "/", whether or not it exists.
    static QString path();

    // Creates the folder (and its missing parents, mode 0700) when needed and checks it. Returns
    // its path with a trailing "/", or an empty string with the reason in `error`.
    static QString ensure(QString* error);

    // Creates a new empty file named "UPDT" plus a unique suffix in `dir` (mode 0600, opened for
    // reading and writing; never an existing name). Returns its descriptor and sets `path`, or
    // returns -1 with the reason in `error`.
    static int createTempFile(const QString& dir, QString* path, QString* error);
};

} // namespace zarq
