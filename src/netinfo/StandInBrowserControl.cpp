#include "netinfo/StandInBrowserControl.h"

#include <sys/utsname.h>

namespace zarq {

namespace {

class StandInWindow : public BrowserWindow {
public:
    QString userAgent() override { return StandInBrowserControl::identity(); }
};

class StandInDocument : public BrowserDocument {
public:
    std::shared_ptr<BrowserWindow> parentWindow() override {
        return std::make_shared<StandInWindow>();
    }
};

} // namespace

void StandInBrowserControl::navigate(const QString&) {
    m_ready = true;
}

std::shared_ptr<BrowserDocument> StandInBrowserControl::document() {
    if (!m_ready)
        return nullptr;
    return std::make_shared<StandInDocument>();
}

QString StandInBrowserControl::identity(UnameFunction readName) {
    utsname name{};
    if ((readName ? readName : &::uname)(&name) != 0)
        return QStringLiteral("Mozilla/5.0 (X11; Linux)");
    return QStringLiteral("Mozilla/5.0 (X11; %1 %2)")
        .arg(QString::fromLocal8Bit(name.sysname), QString::fromLocal8Bit(name.machine));
}

} // namespace zarq
