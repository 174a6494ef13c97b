#pragma once

#include <QList>
#include <QString>

namespace zarq {

// One file entry of the control file ("file1", "file2", ...). Paths and URLs are already
// expanded; dates and times are kept as written and read when compared.
struct TFileDescription {
    QString URL;
    QString LocalVersion;
    QString NewVersion;
    int NewSize = 0;
    int NewCheckSum = -1;
    QString NewCustomVer;
    QString NewDate;
    QString NewTime;
    QString Description;
    QString TargetDir; // empty, or ending in "/"
    bool Compressed = false;
    int FileSize = 0;
    bool Mandatory = false;
    bool Preselect = true;
    bool Hidden = false;
    bool Selected = false;
    QString Sha256; // the hash the fetched file must have (64 hexadecimal digits), as written
};

// The file entries in the order of their numbers.
using TFileList = QList<TFileDescription>;

} // namespace zarq
