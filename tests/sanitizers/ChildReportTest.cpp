#include <QProcess>
#include <gtest/gtest.h>

// Starts the leaking probe and ignores how it ended, as a test that only reads a program's
// output would; the test main must still fail the run because of the probe's report.
TEST(sanitizerHarness, ChildThatLeaks) {
    QProcess probe;
    probe.start(QStringLiteral(ZARQ_LEAK_PROBE), {});
    ASSERT_TRUE(probe.waitForFinished(60000));
}
