#pragma once

#include <QLabel>

namespace zarq {

// A label that reacts to a click: the skin's link labels ("免费注册", "公网域名" ...) and the
// main window's progress line `LoginLabel`. A link is drawn as one (the skin's
// QLabel[link="true"] rule) with a pointing hand, takes the keyboard focus (Tab) and is
// activated by Enter or Space as by a click; a plain clickable label looks like any label and
// stays out of the tab chain. setLink() switches between the two, for a label that is a link
// only in some states.
class TSkinLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TSkinLinkLabel(const QString& text, QWidget* parent = nullptr, bool link = true);

    bool isLink() const { return property("link").toBool(); }
    void setLink(bool link);

signals:
    // A left press and release inside the label, or, on a link, Enter or Space.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace zarq
