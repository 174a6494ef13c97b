#include "update/TAutoUpdate.h"

#include <sys/utsname.h>

// The four lines that describe the machine at the start of every run.

namespace zarq {

QString TAutoUpdate::GetOSVersion() {
    utsname name{};
    if (uname(&name) != 0)
        return QString();
    return QString::fromLocal8Bit(name.release);
}

QString TAutoUpdate::GetIEVersion() {
    return QStringLiteral("(not found)");
}

QString TAutoUpdate::GetCompilerVersion() {
#if defined(__clang__)
    return QStringLiteral("clang %1.%2").arg(__clang_major__).arg(__clang_minor__);
#elif defined(__GNUC__)
    return QStringLiteral("gcc %1.%2").arg(__GNUC__).arg(__GNUC_MINOR__);
#else
    return QStringLiteral("c++");
#endif
}

QString TAutoUpdate::GetInstalledIDEs() {
    return QString();
}

} // namespace zarq
