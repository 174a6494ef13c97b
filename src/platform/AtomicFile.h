#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace zarq {

// Private, crash-safe file writes: the content goes to a temporary file of mode 0600 in the
// same directory, is flushed to disk and then renamed over the old file, so a reader (or a
// crash) sees either the old or the new content, never a part.
class AtomicFile {
public:
    // Writes `content` to `path`, creating its directory (mode 0700) when missing. Returns an
    // empty string on success, else the operating system's reason.
    static QString write(const QString& path, const QByteArray& content);

    // Creates `dir` and its missing parents with mode 0700.
    static bool makePrivateDirectory(const QString& dir);

    // Renames `path` to "<path>.<yyyyMMdd-hhmmss>.bad" (a free name; never replaces a file).
    // Returns an empty string and sets `*movedTo` on success, else the reason.
    static QString moveAside(const QString& path, const QDateTime& when, QString* movedTo);
};

} // namespace zarq
