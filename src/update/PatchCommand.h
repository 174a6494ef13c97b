#pragma once

#include <QString>

namespace zarq {

// The external patcher's command line for the patch file `fileName` and the entry's local
// version: "patcher.exe <file> <version>", or with logging "patcher.exe -v <file>
// <version>>> UPDATER.LOG" (the log file name glued to the version, as the patcher has always
// been called). This program never starts the patcher itself; the text is what a run would use.
QString PatchCommandLine(const QString& fileName, const QString& localVersion, bool logging);

} // namespace zarq
