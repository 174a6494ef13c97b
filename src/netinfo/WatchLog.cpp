#include "netinfo/WatchLog.h"

namespace zarq {

Q_LOGGING_CATEGORY(lcWatch, "zarq.watch", QtInfoMsg)

} // namespace zarq
