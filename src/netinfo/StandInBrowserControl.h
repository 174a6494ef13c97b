#pragma once

#include "netinfo/BrowserControl.h"

struct utsname;

namespace zarq {

// The browser control of a Linux machine, where no browser engine is assumed: it "loads"
// about:blank at once, and its navigator identifies as a Mozilla-style browser of this
// system, built from uname (for example "Mozilla/5.0 (X11; Linux x86_64)").
class StandInBrowserControl : public BrowserControl {
public:
    void navigate(const QString& url) override;
    int readyState() override { return m_ready ? ReadyStateComplete : 0; }
    std::shared_ptr<BrowserDocument> document() override;

    // What uname(2) is read through; tests give a fixed one.
    using UnameFunction = int (*)(::utsname*);

    // "Mozilla/5.0 (X11; <system name> <machine>)"; "Mozilla/5.0 (X11; Linux)" when uname
    // fails.
    static QString identity(UnameFunction readName = nullptr);

private:
    bool m_ready = false;
};

} // namespace zarq
