#include "update/RunAndWait.h"
#include "update/PatchCommand.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

using zarq::PatchCommandLine;
using zarq::RunAndWait;

namespace {

class RunAndWaitTest : public testing::Test {
protected:
    void SetUp() override {
        out = dir.filePath(QStringLiteral("probe.out"));
        qputenv("ZARQ_PROBE_OUT", QFile::encodeName(out));
    }
    void TearDown() override {
        qunsetenv("ZARQ_PROBE_OUT");
        qunsetenv("ZARQ_PROBE_EXIT");
    }
    QTemporaryDir dir;
    QString out;
};

TEST_F(RunAndWaitTest, ExitCodeZeroIsSuccessAndTheCommandLineIsSplitWithoutAShell) {
    int lastError = -5;
    EXPECT_TRUE(RunAndWait(QStringLiteral("\"%1\" -v \"a b\" $HOME>> UPDATER.LOG")
                               .arg(QStringLiteral(ZARQ_PROCESS_PROBE)),
                           false, &lastError));
    EXPECT_EQ(lastError, -5);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.mid(0, 5), (QStringList{"arg=-v", "arg=a b", "arg=$HOME>>", "arg=UPDATER.LOG",
                                            "cwd=" + QDir::currentPath()}));
}

TEST_F(RunAndWaitTest, AnotherExitCodeBecomesTheCodePlus8192) {
    for (const int code : {1, 3, 255}) {
        qputenv("ZARQ_PROBE_EXIT", QByteArray::number(code));
        int lastError = 0;
        EXPECT_FALSE(RunAndWait(QStringLiteral(ZARQ_PROCESS_PROBE), false, &lastError));
        EXPECT_EQ(lastError, code + 8192);
    }
}

TEST_F(RunAndWaitTest, AProgramThatCannotStartFailsWithItsReason) {
    int lastError = 0;
    QString reason;
    EXPECT_FALSE(RunAndWait(QStringLiteral("\"%1\" x").arg(dir.filePath(QStringLiteral("no such"))),
                            false, &lastError, &reason));
    EXPECT_EQ(lastError, ENOENT);
    EXPECT_FALSE(reason.isEmpty());
}

TEST(PatchCommandTest, CommandLines) {
    EXPECT_EQ(PatchCommandLine(QStringLiteral("zarq.pat"), QStringLiteral("1.0.1.0"), false),
              QStringLiteral("patcher.exe zarq.pat 1.0.1.0"));
    EXPECT_EQ(PatchCommandLine(QStringLiteral("zarq.pat"), QStringLiteral("1.0.1.0"), true),
              QStringLiteral("patcher.exe -v zarq.pat 1.0.1.0>> UPDATER.LOG"));
    EXPECT_EQ(PatchCommandLine(QStringLiteral("a.pat"), QString(), false),
              QStringLiteral("patcher.exe a.pat "));
}

} // namespace
