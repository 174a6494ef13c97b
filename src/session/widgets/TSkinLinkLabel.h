#pragma once

#include <QLabel>

namespace zarq {

// A label that reacts to a click: the skin's link labels ("免费注册", "公网域名" ...) and the
// main window's progress line `LoginLabel`. A link is drawn as one (the skin's
// QLabel[link="true"] rule) with a pointing hand; a plain clickable label looks like any label.
class TSkinLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TSkinLinkLabel(const QString& text, QWidget* parent = nullptr, bool link = true);

    bool isLink() const { return property("link").toBool(); }

signals:
    // A left press and release inside the label.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace zarq
