#include "netinfo/WmiError.h"

namespace zarq {

WmiError::WmiError(const QString& message) : std::runtime_error(message.toStdString()) {}

} // namespace zarq
