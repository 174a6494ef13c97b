#pragma once

#include <QString>

namespace zarq {

// A folder that only its user can reach: the test for a folder whose files are later run or
// put in place (the update's staging folder). Checking the folder alone is not enough: whoever
// can write any folder above it can rename the folder away and put another (or a link) in its
// place. So the whole path is opened from "/" down, one folder at a time, never through a
// link, and each folder on the way must belong to root or to this user and be closed to
// writing by others. A root-owned folder with the sticky bit (such as /tmp) is allowed on the
// way: nobody else can rename or remove what is not theirs in it.
class FolderChain {
public:
    enum class Mode {
        // The folder is made (0700) where it is missing, and closed to 0700 when it is open to
        // others: the folder the program stages in.
        Create,
        // The folder must exist and be 0700 already: the updater, which only reads what the
        // program staged.
        Existing,
    };

    // An open descriptor of `dir` (the caller closes it), or -1 with the reason in `error`.
    static int open(const QString& dir, Mode mode, QString* error);
    // The same check without keeping the descriptor: empty when the folder passes.
    static QString check(const QString& dir, Mode mode);
};

} // namespace zarq
