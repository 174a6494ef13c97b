#pragma once

#include "netinfo/BrowserControl.h"

#include <QByteArray>
#include <chrono>

namespace zarq {

// The user-agent text of this machine's browser control, in the system code page; empty
// when the control cannot be created, has no document or window, or never finishes
// loading. Never throws.
QByteArray GetBrowserUserAgent();

// The same probe on controls made by `create`. While waiting for the control to finish
// loading it lets the thread's pending events run; after `readyBound` it gives up with
// empty text.
QByteArray GetBrowserUserAgent(const BrowserControlFactory& create,
                               std::chrono::milliseconds readyBound = std::chrono::seconds(5));

} // namespace zarq
