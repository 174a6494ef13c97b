#include "shell/TSingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace zarq;

namespace {

// One copy of the probe program; reads its stdout line by line.
class Probe {
public:
    Probe(const QString& dir, QStringList args) {
        process.setProgram(QStringLiteral(SHELL_PROBE));
        process.setArguments(QStringList{dir} + args);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
    }
    ~Probe() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    // Waits (generously) until the probe has printed a line starting with `prefix`.
    QString waitFor(const QString& prefix) {
        (void)QTest::qWaitFor(
            [&] {
                readLines();
                for (const QString& l : lines)
                    if (l.startsWith(prefix))
                        return true;
                return process.state() == QProcess::NotRunning && !process.bytesAvailable();
            },
            30000);
        for (const QString& l : lines)
            if (l.startsWith(prefix))
                return l;
        return {};
    }
    int exitCode() {
        if (process.state() != QProcess::NotRunning) {
            EXPECT_TRUE(process.waitForFinished(30000));
        }
        readLines();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    bool printed(const QString& prefix) {
        readLines();
        for (const QString& l : lines)
            if (l.startsWith(prefix))
                return true;
        return false;
    }

    QProcess process;
    QStringList lines;

private:
    void readLines() {
        while (process.canReadLine())
            lines << QString::fromUtf8(process.readLine()).trimmed();
    }
};

class SingleInstance : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::unique_ptr<Probe> start(QStringList args) {
        return std::make_unique<Probe>(dir.path(), args);
    }
    // A second start must end without a window and bring `first` forward.
    void secondStartRaises(Probe& first) {
        auto second = start({"run"});
        EXPECT_EQ(second->exitCode(), 3);
        EXPECT_TRUE(second->printed("SECOND ack=1"));
        EXPECT_FALSE(second->printed("WINDOW"));
        EXPECT_EQ(first.waitFor("RAISED"), "RAISED visible=1 minimized=0");
        EXPECT_EQ(first.exitCode(), 0);
    }
    QTemporaryDir dir;
};

TEST_F(SingleInstance, ASecondStartRaisesTheFirstWhateverItsState) {
    for (const char* state : {"--shown", "--minimized", "--hidden"}) {
        SCOPED_TRACE(state);
        auto first = start({"run", state});
        ASSERT_EQ(first->waitFor("WINDOW"), "WINDOW");
        secondStartRaises(*first);
        // The first copy has ended: the next start runs normally.
        TSingleInstance names(QStringLiteral("TERVAN 蓝杉果动态域名客户端"));
        names.setRuntimeDir(dir.path());
        EXPECT_FALSE(QFile::exists(names.lockFilePath()));
        EXPECT_FALSE(QFile::exists(names.serverPath()));
    }
    auto again = start({"run", "--hidden"});
    EXPECT_EQ(again->waitFor("FIRST"), "FIRST");
}

TEST_F(SingleInstance, ALockLeftByACrashedCopyDoesNotBlock) {
    auto crashed = start({"crash"});
    EXPECT_EQ(crashed->waitFor("FIRST"), "FIRST");
    EXPECT_EQ(crashed->exitCode(), 9);
    TSingleInstance names(QStringLiteral("TERVAN 蓝杉果动态域名客户端"));
    names.setRuntimeDir(dir.path());
    ASSERT_TRUE(QFile::exists(names.lockFilePath()));

    auto next = start({"run", "--minimized"});
    ASSERT_EQ(next->waitFor("WINDOW"), "WINDOW");
    secondStartRaises(*next);
}

TEST_F(SingleInstance, OnlyTheShortRequestIsAnswered) {
    auto first = start({"run", "--hidden"});
    ASSERT_EQ(first->waitFor("WINDOW"), "WINDOW");
    TSingleInstance names(QStringLiteral("TERVAN 蓝杉果动态域名客户端"));
    names.setRuntimeDir(dir.path());

    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case refused[] = {{"unknown line", "HELLO\n"},
                            {"overlong", QByteArray(4096, 'Z')},
                            {"request with a tail", "ZARQ-SHOW 1 and more\n"}};
    for (const Case& c : refused) {
        QLocalSocket s;
        s.connectToServer(names.serverPath());
        ASSERT_TRUE(s.waitForConnected(10000)) << c.name;
        s.write(c.bytes);
        ASSERT_TRUE(s.waitForBytesWritten(10000) || s.state() != QLocalSocket::ConnectedState);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s.state() == QLocalSocket::UnconnectedState; }, 10000))
            << c.name;
        EXPECT_EQ(s.readAll(), QByteArray()) << c.name;
    }
    EXPECT_FALSE(first->printed("RAISED"));

    QLocalSocket s;
    s.connectToServer(names.serverPath());
    ASSERT_TRUE(s.waitForConnected(10000));
    s.write("ZARQ-SHOW 1\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.bytesAvailable() >= 3; }, 10000));
    EXPECT_EQ(s.readAll(), "OK\n");
    EXPECT_EQ(first->waitFor("RAISED"), "RAISED visible=1 minimized=0");
}

TEST(SingleInstanceNames, ArePerUserAndFollowTheTitle) {
    const QString a = TSingleInstance::derivedName(QStringLiteral("TERVAN 蓝杉果动态域名客户端"));
    EXPECT_TRUE(a.startsWith("zarq-"));
    EXPECT_TRUE(a.endsWith(QStringLiteral("-%1").arg(::getuid())));
    EXPECT_NE(a, TSingleInstance::derivedName(QStringLiteral("another title")));
    QTemporaryDir dir;
    TSingleInstance guard(QStringLiteral("t"));
    guard.setRuntimeDir(dir.path());
    EXPECT_EQ(guard.lockFilePath(), dir.path() + "/" + TSingleInstance::derivedName("t") + ".lock");
}

TEST(SingleInstanceInProcess, ARequestBeforeAnyReceiverIsKept) {
    QTemporaryDir dir;
    TSingleInstance guard(QStringLiteral("kept request"));
    guard.setRuntimeDir(dir.path());
    ASSERT_TRUE(guard.isFirst());
    EXPECT_TRUE(guard.isFirst()); // decided once

    QLocalSocket s;
    s.connectToServer(guard.serverPath());
    ASSERT_TRUE(s.waitForConnected(10000));
    s.write("ZARQ-SHOW 1\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.bytesAvailable() >= 3; }, 10000));

    int shown = 0;
    QObject::connect(&guard, &TSingleInstance::showRequested, [&] { ++shown; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown == 1; }, 10000));
}

TEST(SingleInstanceInProcess, AnUnusableFolderDoesNotRefuseTheStart) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    TSingleInstance guard(QStringLiteral("no folder"));
    guard.setRuntimeDir(dir.filePath("file/run"));
    guard.setAckTimeout(200);
    EXPECT_TRUE(guard.isFirst());
}

} // namespace
