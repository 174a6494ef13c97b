#include "platform/ProcessStart.h"
#include "platform/ProcessWait.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>

using zarq::ProcessStart;
using zarq::ProcessWait;

namespace {

// Runs the probe program through ProcessStart and reads back what it saw.
class ProcessStartTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        out = dir.filePath(QStringLiteral("probe.out"));
        qputenv("ZARQ_PROBE_OUT", QFile::encodeName(out));
        qunsetenv("ZARQ_PROBE_EXIT");
    }
    void TearDown() override { qunsetenv("ZARQ_PROBE_OUT"); }

    QStringList report() const {
        QFile f(out);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QString out;
    const QString probe = QStringLiteral(ZARQ_PROCESS_PROBE);
};

TEST_F(ProcessStartTest, RunAndWaitPassesArgumentsLiterallyAndReturnsTheExitCode) {
    qputenv("ZARQ_PROBE_EXIT", "7");
    const int code =
        ProcessStart::runAndWait({probe, QStringLiteral("a b"), QStringLiteral("$HOME;\"x\""),
                                  QString(), QStringLiteral("*")},
                                 true);
    EXPECT_EQ(code, 7);
    const QStringList lines = report();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.mid(0, 4), (QStringList{"arg=a b", "arg=$HOME;\"x\"", "arg=", "arg=*"}));
    EXPECT_TRUE(lines.contains(QStringLiteral("fd1=/dev/null")));
}

TEST_F(ProcessStartTest, RunAndWaitReportsAProgramThatCannotStart) {
    QString error;
    const QString missing = dir.filePath(QStringLiteral("no such program"));
    EXPECT_EQ(ProcessStart::runAndWait({missing}, true, &error), -1);
    EXPECT_TRUE(error.startsWith(missing)) << error.toStdString();
    EXPECT_EQ(ProcessStart::runAndWait({}, true), -1);
}

TEST_F(ProcessStartTest, RunAndWaitCountsASignalAsAnExitCode) {
    EXPECT_EQ(
        ProcessStart::runAndWait(
            {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("kill -TERM $$")}, true),
        128 + SIGTERM);
}

TEST_F(ProcessStartTest, DetachedStartHasItsOwnSessionAndNoStreams) {
    QString error;
    const pid_t pid = ProcessStart::detached({probe, QStringLiteral("only one")}, &error);
    ASSERT_GT(pid, 0) << error.toStdString();
    ASSERT_TRUE(waitFor([&] { return report().contains(QStringLiteral("end")); }));
    const QStringList lines = report();
    EXPECT_EQ(lines.first(), QStringLiteral("arg=only one"));
    EXPECT_EQ(lines.filter(QStringLiteral("arg=")).size(), 1);
    for (const char* expected : {"session=own", "fd0=/dev/null", "fd1=/dev/null", "fd2=/dev/null"})
        EXPECT_TRUE(lines.contains(QLatin1String(expected))) << expected;
}

TEST_F(ProcessStartTest, DetachedStartOfAMissingProgramFails) {
    QString error;
    EXPECT_EQ(ProcessStart::detached({dir.filePath(QStringLiteral("none"))}, &error), -1);
    EXPECT_FALSE(error.isEmpty());
}

// An ended process that nobody reaped yet (a container's first process may not) counts as gone.
bool gone(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
}

// The waits return only once the process is gone: the kernel is asked afterwards.
TEST(ProcessWaitTest, ReturnsOnceAProcessThatIsNotOurChildHasEnded) {
    for (const bool polling : {false, true}) {
        // A grandchild: the shell prints its pid and leaves it running on its own.
        QProcess shell;
        shell.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"), QStringLiteral("sleep 0.3 & echo $!")});
        ASSERT_TRUE(shell.waitForFinished(10000));
        const pid_t pid = shell.readAllStandardOutput().trimmed().toInt();
        ASSERT_GT(pid, 0);
        if (polling)
            ProcessWait::untilEndedByPolling(pid, 10);
        else
            ProcessWait::untilEnded(pid);
        EXPECT_TRUE(gone(pid)) << "polling=" << polling;
    }
}

TEST(ProcessWaitTest, ReturnsAtOnceForNoProcess) {
    ProcessWait::untilEnded(0);
    ProcessWait::untilEnded(-1);
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    ASSERT_TRUE(ended.waitForStarted(10000));
    const pid_t pid = static_cast<pid_t>(ended.processId());
    ASSERT_TRUE(ended.waitForFinished(10000));
    // Both would block without end if they did not see that the process is gone.
    ProcessWait::untilEnded(pid);
    ProcessWait::untilEndedByPolling(pid);
    EXPECT_TRUE(gone(pid));
}

} // namespace
