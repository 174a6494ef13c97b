#pragma once

#include <QString>

namespace zarq {

// The window of a browser document.
class BrowserWindow {
public:
    virtual ~BrowserWindow() = default;

    // The userAgent of the window's navigator (its clientInformation).
    virtual QString userAgent() = 0;
};

} // namespace zarq
