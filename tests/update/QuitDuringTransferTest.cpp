// A program that quits while a transfer waits: the transfer ends instead of spinning. Its own
// binary, because once the application has been told to quit, every later event loop of the
// process returns at once.

#include "UpdateHostFixture.h"

#include <QCoreApplication>
#include <QTimer>

using namespace updatetest;

namespace {

TEST(QuitDuringTransferTest, TheWaitingTransferEndsAndLeavesNothingBehind) {
    TempHome home;
    const QString root = home.folder("root"), target = home.folder("target");
    writeFile(root + "a.bin", patternBytes(100000));
    writeFile(target + "a.bin", "the old file");
    UpdateHost host(home.folder("work"));
    ASSERT_TRUE(host.start(root));
    ASSERT_TRUE(host.control("fault=stall&after=1000")); // then nothing, for ever
    ProbeUpdate update;
    update.UpdateUpdate = zarq::auuSilent;
    ASSERT_EQ(update.Connect(), 0);
    QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
    EXPECT_FALSE(update.TransferFile(host.url("a.bin"), target));
    EXPECT_EQ(readFile(target + "a.bin"), "the old file");
    EXPECT_EQ(home.stagingFiles(), QStringList());
}

} // namespace
