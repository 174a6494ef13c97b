#include "netinfo/BrowserIdentity.h"

#include "netinfo/StandInBrowserControl.h"
#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace zarq {

QByteArray GetBrowserUserAgent(const BrowserControlFactory& create,
                               std::chrono::milliseconds readyBound) {
    try {
        // The control and everything obtained from it are released on every path by
        // their smart pointers.
        std::unique_ptr<BrowserControl> control = create ? create() : nullptr;
        if (!control)
            return QByteArray();
        control->navigate(QStringLiteral("about:blank"));

        // A control that never completes would hang the caller: the wait is bounded.
        const QDeadlineTimer deadline(readyBound);
        while (control->readyState() != BrowserControl::ReadyStateComplete) {
            if (deadline.hasExpired())
                return QByteArray();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (control->readyState() != BrowserControl::ReadyStateComplete)
                QThread::msleep(1);
        }

        const std::shared_ptr<BrowserDocument> document = control->document();
        if (!document)
            return QByteArray();
        const std::shared_ptr<BrowserWindow> window = document->parentWindow();
        if (!window)
            return QByteArray();
        return TextCodec::toCp936(window->userAgent());
    } catch (...) {
        // The identity is a nicety: without it the agent is the product suffix alone.
        return QByteArray();
    }
}

QByteArray GetBrowserUserAgent() {
    return GetBrowserUserAgent([] { return std::make_unique<StandInBrowserControl>(); });
}

} // namespace zarq
