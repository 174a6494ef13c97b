#pragma once

#include <QEvent>
#include <QObject>

namespace zarq {

// The session's notices to the main window. The numbers are those the Windows client posted as
// window messages; here each is the type of a custom event posted (queued, never sent) to the
// window object.
enum SessionNoticeNumber : int {
    WM_LOGIN_OK = 1025,
    WM_LOGIN_FAILED = 1026,
    WM_NET_ERROR = 1027,
    WM_LOGIN_BEGIN = 1030,
    WM_IP_INFO = 1032,
    WM_LOGIN_ELSEWHERE = 1033,
};

class SessionNotice : public QEvent {
public:
    // `wParam` is the session object that posted the notice, `lParam` always 0.
    SessionNotice(SessionNoticeNumber number, QObject* wParam, qintptr lParam = 0)
        : QEvent(static_cast<QEvent::Type>(number)), m_wParam(wParam), m_lParam(lParam) {}

    SessionNoticeNumber number() const { return static_cast<SessionNoticeNumber>(type()); }
    QObject* wParam() const { return m_wParam; }
    qintptr lParam() const { return m_lParam; }

    static bool isSessionNotice(const QEvent* event) {
        switch (static_cast<int>(event->type())) {
        case WM_LOGIN_OK:
        case WM_LOGIN_FAILED:
        case WM_NET_ERROR:
        case WM_LOGIN_BEGIN:
        case WM_IP_INFO:
        case WM_LOGIN_ELSEWHERE:
            return true;
        default:
            return false;
        }
    }

private:
    QObject* m_wParam;
    qintptr m_lParam;
};

} // namespace zarq
