#include "shell/TCircularProgress.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

class TCircularProgressTest : public testing::Test {
protected:
    void SetUp() override {
        spinner.setStepInterval(5);
        spinner.resize(100, 100);
    }
    // Waits until the spinner has made `steps` more steps (generous bound).
    bool turns(int steps) {
        QSignalSpy spy(&spinner, &TCircularProgress::stepped);
        return QTest::qWaitFor([&] { return spy.count() >= steps; }, 10000);
    }
    TCircularProgress spinner;
};

TEST_F(TCircularProgressTest, StepsEvery200MillisecondsByDefault) {
    TCircularProgress fresh;
    EXPECT_EQ(fresh.stepInterval(), 200);
    EXPECT_EQ(fresh.sizeHint(), QSize(25, 24));
}

TEST_F(TCircularProgressTest, TurnsOnlyWhileVisibleAndEnabled) {
    EXPECT_FALSE(spinner.isTurning()); // never shown
    spinner.show();
    EXPECT_TRUE(spinner.isTurning());
    ASSERT_TRUE(turns(3));

    spinner.setEnabled(false);
    EXPECT_FALSE(spinner.isTurning());
    const int stopped = spinner.step();
    QTest::qWait(100); // 20 intervals: a stopped spinner stays where it is
    EXPECT_EQ(spinner.step(), stopped);

    spinner.setEnabled(true);
    ASSERT_TRUE(turns(2));
    spinner.hide();
    EXPECT_FALSE(spinner.isTurning());
    spinner.show();
    EXPECT_TRUE(spinner.isTurning());
}

TEST_F(TCircularProgressTest, HidingTheParentStopsIt) {
    QWidget parent;
    auto* child = new TCircularProgress(&parent);
    parent.show();
    EXPECT_TRUE(child->isTurning());
    parent.hide();
    EXPECT_FALSE(child->isTurning());
    parent.show();
    parent.setEnabled(false);
    EXPECT_FALSE(child->isTurning());
}

TEST_F(TCircularProgressTest, WrapsAroundTheRing) {
    spinner.show();
    ASSERT_TRUE(turns(TCircularProgress::kSegmentCount + 1));
    EXPECT_GE(spinner.step(), 0);
    EXPECT_LT(spinner.step(), TCircularProgress::kSegmentCount);
}

TEST_F(TCircularProgressTest, PaintsTheSegmentsInTheirColours) {
    spinner.setEnabled(false); // keep the step still while grabbing
    spinner.show();
    const QImage image = spinner.grab().toImage();
    const int n = TCircularProgress::kSegmentCount;
    // The middle of segment i lies on the ring, clockwise from 12 o'clock.
    auto colourAt = [&](int i) {
        const double angle = (i + 0.5) * 2 * M_PI / n;
        const double r = 0.75 * 49.5;
        const QPoint p(int(50 + r * std::sin(angle)), int(50 - r * std::cos(angle)));
        return QColor(image.pixel(p)).rgb();
    };
    const int s = spinner.step();
    EXPECT_EQ(colourAt(s), QColor(255, 128, 0).rgb());
    EXPECT_EQ(colourAt((s + n - 1) % n), QColor(255, 128, 64).rgb());
    EXPECT_EQ(colourAt((s + n - 2) % n), QColor(128, 0, 64).rgb());
    EXPECT_EQ(colourAt((s + n - 3) % n), QColor(128, 0, 64).rgb());
    EXPECT_EQ(colourAt((s + n - 4) % n), QColor(192, 192, 192).rgb());
    EXPECT_EQ(colourAt((s + 1) % n), QColor(192, 192, 192).rgb());
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0); // no background, no border
}

} // namespace
