#pragma once

#include <QString>
#include <QStringList>

namespace zarq {

// Extracts every file of the cabinet `cabinetPath` into `destination` (the current directory
// when empty) through libmspack: folders named in the cabinet are created, each file gets the
// cabinet's time stamp (a local time) and replaces an existing file only once it is complete.
// A name that is absolute or climbs out of the destination (also through a symbolic link
// inside it) is refused: nothing is written outside, the entry is skipped and its name added to
// `*refused`. Returns 0 on success, -1 when the file is no cabinet, cannot be read, or a file
// of it cannot be written (files extracted before stay).
// A cabinet whose files together would be longer than LzExpander::expansionLimit(its size,
// `budget`) is refused whole, before anything is written (-1).
int ExtractCabinet(const QString& cabinetPath, const QString& destination,
                   QStringList* refused = nullptr, qint64 budget = qint64(1024) * 1024 * 1024);

} // namespace zarq
