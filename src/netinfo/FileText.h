#pragma once

#include <QByteArray>
#include <QString>

namespace zarq {

// The whole content of a file (also of /proc files, whose size reads as 0). Throws
// SystemError with the errno of the failing call.
QByteArray readWholeFile(const QString& path);

} // namespace zarq
