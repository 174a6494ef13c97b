#include "shell/TCircularProgress.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace zarq {

TCircularProgress::TCircularProgress(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    m_timer.setInterval(kDefaultStepInterval);
    connect(&m_timer, &QTimer::timeout, this, &TCircularProgress::advance);
}

void TCircularProgress::setStepInterval(int ms) {
    m_timer.setInterval(ms);
}

QColor TCircularProgress::segmentColor(int index) const {
    const int behind = (m_step - index + kSegmentCount) % kSegmentCount;
    if (behind == 0)
        return ActiveColor;
    if (behind == 1)
        return TransitionColor;
    if (behind <= 1 + kTrailLength)
        return ProgressColor;
    return InactiveColor;
}

void TCircularProgress::advance() {
    m_step = (m_step + 1) % kSegmentCount;
    update();
    emit stepped(m_step);
}

void TCircularProgress::updateTimer() {
    const bool run = isVisible() && isEnabled();
    if (run && !m_timer.isActive())
        m_timer.start();
    else if (!run && m_timer.isActive())
        m_timer.stop();
}

void TCircularProgress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTimer();
}

void TCircularProgress::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateTimer();
}

void TCircularProgress::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        updateTimer();
        update();
    }
}

void TCircularProgress::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const qreal outer = side / 2.0 - 0.5;
    const qreal inner = outer * 0.5;
    p.translate(width() / 2.0, height() / 2.0);
    const qreal span = 360.0 / kSegmentCount;
    const qreal gap = span * 0.25;
    const QRectF outerRect(-outer, -outer, 2 * outer, 2 * outer);
    const QRectF innerRect(-inner, -inner, 2 * inner, 2 * inner);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < kSegmentCount; ++i) {
        // Qt's angles run counter-clockwise from 3 o'clock; segment 0 starts at 12 o'clock
        // and the segments follow clockwise.
        const qreal start = 90.0 - i * span - gap / 2.0;
        const qreal sweep = -(span - gap);
        QPainterPath segment;
        segment.arcMoveTo(outerRect, start);
        segment.arcTo(outerRect, start, sweep);
        segment.arcTo(innerRect, start + sweep, -sweep);
        segment.closeSubpath();
        p.setBrush(segmentColor(i));
        p.drawPath(segment);
    }
}

} // namespace zarq
