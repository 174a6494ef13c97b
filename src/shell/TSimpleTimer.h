#pragma once

#include <QTimer>

namespace zarq {

// The tray icon's small timer: a plain QTimer (interval in ms, single-shot for "auto-stop",
// timeout() as its notification).
using TSimpleTimer = QTimer;

} // namespace zarq
