#pragma once

#include <QLoggingCategory>

namespace zarq {

// The watchers' debug lines; shown with QT_LOGGING_RULES="zarq.watch.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcWatch)

} // namespace zarq
