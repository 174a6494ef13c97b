#include "soak/ProtocolSoak.h"

#include "app/TimerCensus.h"
#include "session/LoginSettings.h"
#include "session/SessionNotice.h"
#include "session/SessionProtocol.h"
#include "support/ProcessProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <exception>

namespace soak {

namespace {

// The main window's place: counts the notices that reach it.
class NoticeCounter : public QObject {
public:
    long signedIn = 0;
    long other = 0;

protected:
    bool event(QEvent* e) override {
        if (!zarq::SessionNotice::isSessionNotice(e))
            return QObject::event(e);
        const int n = static_cast<zarq::SessionNotice*>(e)->number();
        if (n == zarq::WM_LOGIN_OK)
            ++signedIn;
        else if (n != zarq::WM_LOGIN_BEGIN && n != zarq::WM_IP_INFO)
            ++other;
        return true;
    }
};

// Delivers what is posted, deferred deletions included, so that both samples see no
// notice or object waiting for the event loop.
void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

Figures take() {
    settle();
    Figures f = Figures::read(QStringLiteral("self"));
    const zarq::TimerCensus::Count c = zarq::TimerCensus::take();
    f.timers = c.timers;
    f.objects = c.objects;
    return f;
}

} // namespace

ProtocolSoak::Result ProtocolSoak::run() const {
    Result r;
    zarq::LoginBoxes boxes = zarq::LoginBoxes::designState(QStringLiteral("dyn.tervan.com"));
    boxes.Edit1 = QStringLiteral("bench");
    boxes.PasswordEdit1 = QStringLiteral("benchpw");
    NoticeCounter window;
    zarq::SessionProtocol protocol(boxes, host.toLatin1(), host.toLatin1());
    protocol.state().MainHandle = &window;
    protocol.assignUserAgent();

    auto cycle = [&]() -> bool {
        const long before = window.signedIn;
        protocol.gotologin();
        settle();
        if (window.signedIn != before + 1 || window.other != 0) {
            r.failure = QStringLiteral("a sign-in was not accepted");
            return false;
        }
        try {
            protocol.gotologout();
        } catch (const std::exception& e) {
            r.failure =
                QStringLiteral("a sign-out failed: %1").arg(QString::fromLocal8Bit(e.what()));
            return false;
        }
        return true;
    };
    for (int i = 0; i < warmup; ++i) {
        if (!cycle())
            return r;
    }
    r.start = take();
    const double t0 = bench::monotonicNow();
    for (; r.cycles < cycles; ++r.cycles) {
        if (!cycle())
            return r;
    }
    r.seconds = bench::monotonicNow() - t0;
    r.end = take();
    return r;
}

} // namespace soak
