#pragma once

#include <QString>
#include <sys/types.h>

namespace zarq {

// A file written so that a crash, a full disk or a running program using the old file never
// sees half of it: the content goes to a temporary file beside the target (same directory, so
// the same file system), and only a complete one is renamed over the target. The temporary file
// is removed when the object goes without `commit`.
class ReplacingFile {
public:
    explicit ReplacingFile(QString target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file (mode 0600). Another writer may fill it by its path.
    bool open(QString* error);
    QString temporaryPath() const { return m_temporary; }
    bool write(const char* data, qsizetype size, QString* error);

    // Gives the content `mode`, flushes it to disk and renames it over the target.
    bool commit(mode_t mode, QString* error);

    // Copies `source` over `target` this way.
    static bool copy(const QString& source, const QString& target, mode_t mode, QString* error);

    // The permission bits of an existing file, or -1 when there is none.
    static int modeOf(const QString& path);
    // The mode a new file of this user gets: 0666 without the process's file-creation mask,
    // read without changing it (umask() would change it, for a moment, for every thread).
    static mode_t newFileMode();

private:
    QString m_target;
    QString m_temporary;
    int m_fd = -1;
    bool m_committed = false;
};

} // namespace zarq
