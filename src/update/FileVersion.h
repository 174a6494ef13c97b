#pragma once

#include "update/VersionValue.h"

#include <QString>

namespace zarq {

// The file version of a file on disk. Zarq's executables carry it as an ELF note (owner "Zarq",
// type kNoteType, four 16-bit parts) that the build writes from the project version; every
// other file, and any file that cannot be read, has none: both halves -1.
class FileVersion {
public:
    static constexpr quint32 kNoteType = 0x5a56;
    static VersionValue read(const QString& path);
};

} // namespace zarq
