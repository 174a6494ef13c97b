#include "update/RunAndWait.h"

#include "platform/CommandLine.h"
#include "platform/ProcessStart.h"

#include <cerrno>

namespace zarq {

bool RunAndWait(const QString& commandLine, bool show, int* lastError, QString* startError) {
    QString error;
    const int code = ProcessStart::runAndWait(CommandLine::split(commandLine), !show, &error);
    if (code == 0)
        return true;
    if (lastError)
        *lastError = code < 0 ? (errno != 0 ? errno : ENOENT) : code + 8192;
    if (startError && code < 0)
        *startError = error;
    return false;
}

} // namespace zarq
