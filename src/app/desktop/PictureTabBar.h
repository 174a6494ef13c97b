#pragma once

#include <QTabBar>

namespace zarq {

// The main window's tab bar: every tab kTabWidth by kTabHeight pixels, its picture
// (kPictureSize square) centred above its caption.
class PictureTabBar : public QTabBar {
    Q_OBJECT
public:
    static constexpr int kTabWidth = 200;
    static constexpr int kTabHeight = 85;
    static constexpr int kPictureSize = 64;

    explicit PictureTabBar(QWidget* parent = nullptr);

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zarq
