#pragma once

#include "netinfo/BrowserWindow.h"

#include <memory>

namespace zarq {

// The document a browser control has loaded.
class BrowserDocument {
public:
    virtual ~BrowserDocument() = default;

    // The document's parent window, or none.
    virtual std::shared_ptr<BrowserWindow> parentWindow() = 0;
};

} // namespace zarq
