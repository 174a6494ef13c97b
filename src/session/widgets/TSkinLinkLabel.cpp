#include "session/widgets/TSkinLinkLabel.h"

#include <QMouseEvent>

namespace zarq {

TSkinLinkLabel::TSkinLinkLabel(const QString& text, QWidget* parent, bool link)
    : QLabel(text, parent) {
    setProperty("link", link);
    if (link)
        setCursor(Qt::PointingHandCursor);
}

void TSkinLinkLabel::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TSkinLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

} // namespace zarq
