#pragma once

#include "netinfo/BrowserControl.h"

namespace zarq {

// The browser control of a Linux machine, where no browser engine is assumed: it "loads"
// about:blank at once, and its navigator identifies as a Mozilla-style browser of this
// system, built from uname (for example "Mozilla/5.0 (X11; Linux x86_64)").
class StandInBrowserControl : public BrowserControl {
public:
    void navigate(const QString& url) override;
    int readyState() override { return m_ready ? ReadyStateComplete : 0; }
    std::shared_ptr<BrowserDocument> document() override;

    static QString identity();

private:
    bool m_ready = false;
};

} // namespace zarq
