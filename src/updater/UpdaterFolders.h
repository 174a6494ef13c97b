#pragma once

#include <QString>

namespace zarq {

// The folders the updater knows by name.
class UpdaterFolders {
public:
    // The user's documents folder (XDG), or the home folder when there is none: the place of
    // UPDATER.INI and of a log file named without a folder.
    static QString documents();

    // The program's private temporary folder, $XDG_CACHE_HOME/tervan/tmp (~/.cache when unset),
    // where the update stages its files; the {TMP} of list files.
    static QString privateTemporary();

    // Placeholders of a list file's TARGET value: {APP} (the current directory) and {TMP}; the
    // Windows folders {WIN}, {SYS} and {PF} have no counterpart and stay as written, as does
    // {DOC}, which the updater never expanded. An inserted folder gets "/." appended, so
    // "{APP}\sub" becomes "<cwd>/./sub". Backslashes are read as "/".
    static QString expandTarget(const QString& value, const QString& currentDir,
                                const QString& temporaryDir);
};

} // namespace zarq
