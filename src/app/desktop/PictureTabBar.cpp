#include "app/desktop/PictureTabBar.h"

#include <QStyleOptionTab>
#include <QStylePainter>

namespace zarq {

PictureTabBar::PictureTabBar(QWidget* parent) : QTabBar(parent) {
    setIconSize(QSize(kPictureSize, kPictureSize));
    setExpanding(false);
    setDrawBase(true);
}

QSize PictureTabBar::tabSizeHint(int) const {
    return {kTabWidth, kTabHeight};
}

void PictureTabBar::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        // The frame of the tab as the style draws it; the picture and caption are ours.
        painter.drawControl(QStyle::CE_TabBarTabShape, option);
        const QRect r = tabRect(i);
        const int captionHeight = fontMetrics().height();
        const int top = r.top() + (r.height() - kPictureSize - captionHeight - 2) / 2;
        const QRect picture(r.center().x() - kPictureSize / 2, top, kPictureSize, kPictureSize);
        tabIcon(i).paint(&painter, picture, Qt::AlignCenter,
                         isTabEnabled(i) ? QIcon::Normal : QIcon::Disabled);
        const QRect caption(r.left(), picture.bottom() + 2, r.width(), captionHeight);
        // The current tab's caption is told apart by colour, not weight: a bold face would
        // load a second CJK font file of several megabytes for two words.
        painter.setPen(i == currentIndex() ? QColor(0x10, 0x4e, 0xa0)
                                           : palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, tabText(i));
    }
}

} // namespace zarq
