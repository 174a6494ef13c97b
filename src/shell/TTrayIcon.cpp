#include "shell/TTrayIcon.h"

#include "shell/SystemTrayBackend.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QWidget>

namespace zarq {

TTrayIcon::TTrayIcon(QWidget* owner, std::unique_ptr<TrayBackend> backend)
    : QObject(owner), m_owner(owner), m_backend(std::move(backend)) {
    if (!m_backend)
        m_backend = std::make_unique<SystemTrayBackend>();
    connect(m_backend.get(), &TrayBackend::mouseEvent, this, &TTrayIcon::onMouseEvent);

    DoubleClickTimer.setSingleShot(true);
    DoubleClickTimer.setInterval(QApplication::doubleClickInterval());
    connect(&DoubleClickTimer, &QTimer::timeout, this, &TTrayIcon::onDoubleClickTimer);

    if (owner)
        owner->installEventFilter(this);
}

TTrayIcon::~TTrayIcon() {
    if (m_iconVisible)
        m_backend->hide();
}

void TTrayIcon::setIcon(const QIcon& icon) {
    m_icon = icon;
    m_backend->setIcon(icon);
}

void TTrayIcon::setIconVisible(bool visible) {
    m_iconVisible = visible;
    if (visible) {
        m_backend->setIcon(m_icon);
        updateTip();
        m_backend->show();
    } else {
        m_backend->hide();
    }
}

void TTrayIcon::setHint(const QString& hint) {
    m_hint = hint;
    updateTip();
}

void TTrayIcon::setShowHint(bool show) {
    m_showHint = show;
    updateTip();
}

void TTrayIcon::updateTip() {
    m_backend->setToolTip(tipText(m_hint, m_showHint));
}

QString TTrayIcon::tipText(const QString& hint, bool showHint) {
    if (!showHint || hint.isEmpty())
        return {};
    // Characters, not UTF-16 units: a character outside the BMP is never cut in half.
    const QList<uint> chars = hint.toUcs4();
    if (chars.size() <= kMaxHint)
        return hint;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), kMaxHint);
}

void TTrayIcon::setPopupMenu(QMenu* menu) {
    m_menu = menu;
    m_backend->setMenu(menu);
}

void TTrayIcon::popUp(const QPoint& pos) {
    if (m_menu)
        m_backend->popUpMenu(m_menu, pos);
}

void TTrayIcon::onMouseEvent(TrayBackend::Event event, QPoint pos) {
    if (!m_enabled)
        return;
    switch (event) {
    case TrayBackend::Event::LeftPress:
        if (isSignalConnected(QMetaMethod::fromSignal(&TTrayIcon::DblClick)))
            DoubleClickTimer.start();
        emit MouseDown(Qt::LeftButton, pos);
        LeftDown = true;
        if (m_leftPopup)
            popUp(pos);
        break;
    case TrayBackend::Event::LeftRelease:
        if (LeftDown) {
            ClickPending = true;
            if (!DoubleClickTimer.isActive()) {
                // Nobody waits for a double click: the click is a click right away.
                LeftDown = false;
                ClickPending = false;
                emit Click();
            }
        }
        LeftDown = false;
        emit MouseUp(Qt::LeftButton, pos);
        break;
    case TrayBackend::Event::LeftDoubleClick:
        ClickPending = false;
        DoubleClicked = true;
        emit DblClick();
        if (m_menu && !m_leftPopup && m_menu->defaultAction())
            m_menu->defaultAction()->trigger();
        break;
    case TrayBackend::Event::PrimaryActivation:
        // A StatusNotifierItem host has no double click: its one activation (a click on the
        // icon) is the way back to the window there, as the double click is on a classic tray.
        ClickPending = false;
        emit DblClick();
        if (m_menu && !m_leftPopup && m_menu->defaultAction())
            m_menu->defaultAction()->trigger();
        break;
    case TrayBackend::Event::RightPress:
        emit MouseDown(Qt::RightButton, pos);
        popUp(pos);
        break;
    case TrayBackend::Event::RightRelease:
        emit MouseUp(Qt::RightButton, pos);
        break;
    case TrayBackend::Event::MiddlePress:
        emit MouseDown(Qt::MiddleButton, pos);
        break;
    case TrayBackend::Event::MiddleRelease:
        emit MouseUp(Qt::MiddleButton, pos);
        break;
    }
}

void TTrayIcon::onDoubleClickTimer() {
    if (!DoubleClicked && ClickPending) {
        ClickPending = false;
        emit Click();
    }
    DoubleClicked = false;
}

void TTrayIcon::HideToTray() {
    if (m_owner)
        m_owner->hide();
    setIconVisible(true);
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_owner && event->type() == QEvent::WindowStateChange && m_minimizeToTray &&
        m_owner->isMinimized() && m_backend->isAvailable()) {
        // Hide once the minimise has been carried out, not in the middle of it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_owner && m_owner->isMinimized())
                    HideToTray();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zarq
