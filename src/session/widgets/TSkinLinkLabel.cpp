#include "session/widgets/TSkinLinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

namespace zarq {

TSkinLinkLabel::TSkinLinkLabel(const QString& text, QWidget* parent, bool link)
    : QLabel(text, parent) {
    setLink(link);
}

void TSkinLinkLabel::setLink(bool link) {
    const bool changed = !property("link").isValid() || isLink() != link;
    setProperty("link", link);
    if (link) {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
    } else {
        unsetCursor();
        setFocusPolicy(Qt::NoFocus);
    }
    if (changed) {
        // The skin's look depends on the property: let the style sheet read it again.
        style()->unpolish(this);
        style()->polish(this);
    }
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

void TSkinLinkLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (isLink() && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace zarq
