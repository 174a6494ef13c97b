#include "platform/SystemError.h"

#include <cstring>

namespace zarq {

SystemError::SystemError(int code, const QString& systemText)
    : std::runtime_error(format(code, systemText).toStdString()), m_code(code) {}

SystemError SystemError::fromErrno(int err) {
    return SystemError(err, QString::fromLocal8Bit(std::strerror(err)));
}

QString SystemError::format(int code, const QString& systemText) {
    return QStringLiteral("System Error.  Code: %1.\r\n%2").arg(code).arg(systemText);
}

} // namespace zarq
