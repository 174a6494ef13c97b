#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace zarq {

// The spinner (`loginProgress1`): a ring of segments that advances one step every
// stepInterval() ms (200 by default) while it is enabled, and stands still while it is
// disabled. Enabled or not, it is painted only while visible, and its timer runs only while
// it is both visible and enabled ("running"); it has no background and no border.
//
// Colours: the segment at step() is the active one (orange 255,128,0), the one behind it the
// transition segment (255,128,64), the two behind that the progress trail (128,0,64); all
// others are inactive (silver).
//
// The main window turns it with setEnabled(true) + show(), stops it with setEnabled(false)
// (it stays where it is, visible or not) and removes it with hide().
class TCircularProgress : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegmentCount = 12;
    static constexpr int kTrailLength = 2;
    static constexpr int kDefaultStepInterval = 200;

    explicit TCircularProgress(QWidget* parent = nullptr);

    // The active segment, 0 .. kSegmentCount-1, advancing clockwise from the top.
    int step() const { return m_step; }
    // Whether the ring is turning now: visible and enabled.
    bool isTurning() const { return m_timer.isActive(); }

    int stepInterval() const { return m_timer.interval(); }
    // Tests make the interval short instead of waiting 200 ms per step.
    void setStepInterval(int ms);

    QColor ActiveColor{255, 128, 0};
    QColor TransitionColor{255, 128, 64};
    QColor ProgressColor{128, 0, 64};
    QColor InactiveColor{192, 192, 192};

    // The colour segment `index` is painted with at the current step.
    QColor segmentColor(int index) const;

    QSize sizeHint() const override { return {25, 24}; }

signals:
    void stepped(int step);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void advance();
    void updateTimer();

    QTimer m_timer;
    int m_step = 0;
};

} // namespace zarq
