#pragma once

#include <QString>
#include <sys/types.h>

namespace zarq {

// Expansion of files in the LZ format ("SZDD") through libmspack. A file that is not in that
// format is never destroyed: it counts as its own expansion.
class LzExpander {
public:
    // The most an expansion (LZ or cabinet) may write: a small file that claims gigabytes is an
    // attack on the disk, not an update. At most 100 times the packed size (at least 1 MiB), and
    // never more than 1 GiB or `budget`.
    static constexpr qint64 kMaxExpanded = qint64(1024) * 1024 * 1024;
    static qint64 expansionLimit(qint64 packedSize, qint64 budget = kMaxExpanded);

    // Whether `path` begins with an LZ header that libmspack accepts.
    static bool isCompressed(const QString& path);

    // The file name (without folder) that the expansion of `path` gets: the name recorded in the
    // header (the last character restored in place of "_"), or the file's own name when it is
    // not compressed or records no usable character.
    static QString expandedName(const QString& path);

    // Writes the expansion of `source` to `target` (a file that is not compressed is copied as
    // it is) through a temporary file renamed over `target`, with permission bits `mode`. The
    // source stays. Returns false with the reason in `*error`; `target` is then untouched.
    // An expansion longer than expansionLimit(source size, `budget`) fails before a byte is
    // written.
    static bool expandTo(const QString& source, const QString& target, mode_t mode,
                         QString* error = nullptr, qint64 budget = kMaxExpanded);
};

// Expands `path` beside itself under its expanded name and deletes the compressed file. Returns
// the expanded file's path, or an empty string when expansion failed; the compressed file then
// stays, so nothing is lost. A file that is not compressed is left intact and its own path is
// returned.
QString ExpandLZFile(const QString& path, mode_t mode = 0600,
                     qint64 budget = LzExpander::kMaxExpanded);

} // namespace zarq
