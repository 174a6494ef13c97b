#pragma once

#include <QString>
#include <cstdio>

namespace zarq {

// Writes "zarq: <line>" and a line end to `out` in the locale's encoding and flushes it: the
// one form of every message the program prints for a person or a log.
void writeLogLine(FILE* out, const QString& line);

} // namespace zarq
