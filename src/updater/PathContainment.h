#pragma once

#include <QString>
#include <QStringList>

namespace zarq {

// Decides whether names taken from a command line or a list file stay inside the folders they
// are meant for. Nothing the update brings may write outside them.
class PathContainment {
public:
    // `name` cleaned, when it is relative, holds no NUL and does not climb out ("..") of its
    // folder; else empty.
    static QString relativeName(const QString& name);

    // Whether the folder `dir` (absolute, without a NUL) lies in one of `roots`, both by its
    // text and after following the symbolic links of the part of it that exists.
    static bool folderInside(const QString& dir, const QStringList& roots);
};

} // namespace zarq
