#pragma once

#include "netinfo/BrowserDocument.h"

#include <QString>
#include <functional>
#include <memory>

namespace zarq {

// The calls the identity probe makes on an embedded browser control. Any of them may
// throw; the probe treats every failure alike.
class BrowserControl {
public:
    static constexpr int ReadyStateComplete = 4;

    virtual ~BrowserControl() = default;

    virtual void navigate(const QString& url) = 0;
    virtual int readyState() = 0;                            // 0 to 4
    virtual std::shared_ptr<BrowserDocument> document() = 0; // none before a document loads
};

// Makes a control; may return none or throw when no control can be created.
using BrowserControlFactory = std::function<std::unique_ptr<BrowserControl>()>;

} // namespace zarq
