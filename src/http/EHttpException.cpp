#include "http/EHttpException.h"

namespace zarq {

EHttpException::EHttpException(const QByteArray& message, quint16 errCode)
    : std::runtime_error(message.toStdString()), m_errCode(errCode) {}

} // namespace zarq
