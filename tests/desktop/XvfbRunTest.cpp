// The built program on a real X display (Xvfb) with a tray host (trayer), against the
// reference service: auto-login at start, a second start that only raises the first, a
// signal that signs out before the program ends, and the tray icon coming back when the tray
// host restarts.
#include "XvfbFixture.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <csignal>

using namespace zarq::test;

namespace {

// Whether the program's tray icon sits inside another window: the display has no window
// manager, so only an icon that the tray host docked (reparented into its panel) is found
// below the top level.
bool trayIconDocked(const QString& display, qint64 pid) {
    for (const XWindow& w : windowsOf(display, pid)) {
        if (!w.topLevel)
            return true;
    }
    return false;
}

class XvfbRunTest : public XvfbFixture, public testing::WithParamInterface<int> {};

TEST_P(XvfbRunTest, AutoLogsInIgnoresASecondStartAndSignsOutOnTheSignal) {
    saveLogin("pw123", true);
    startProgram();
    ASSERT_TRUE(waitFor([&] { return stateOfAlice() == QStringLiteral("signed in"); }))
        << "status: " << QJsonDocument(status()).toJson().constData();
    // The entry starts the program the user starts, not the desktop companion it runs in.
    QFile entry(tmp.filePath(QStringLiteral("config/autostart/TervanZarq.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray entryText = entry.readAll();
    const QString exec = QString::fromUtf8(entryText)
                             .split(u'\n')
                             .filter(QRegularExpression(QStringLiteral("^Exec=")))
                             .value(0);
    EXPECT_EQ(exec.toStdString(),
              "Exec=" + QFileInfo(QStringLiteral(ZARQ_PROGRAM)).canonicalFilePath().toStdString());

    // A second start asks the first to come forward and ends, signing nothing in.
    EXPECT_EQ(run({}), 0);
    const QJsonObject requests = status().value(QStringLiteral("requests")).toObject();
    EXPECT_EQ(requests.value(QStringLiteral("echo")).toInt(), 1);
    EXPECT_EQ(requests.value(QStringLiteral("auth")).toInt(), 1);
    EXPECT_EQ(zarq.state(), QProcess::Running);

    ::kill(pid_t(zarq.processId()), GetParam());
    ASSERT_TRUE(zarq.waitForFinished(30000));
    EXPECT_EQ(zarq.exitStatus(), QProcess::NormalExit) << "ended through its event loop";
    EXPECT_EQ(zarq.exitCode(), 0);
    EXPECT_TRUE(events().contains("signout alice.dyn.tervan.com")) << events().constData();
    EXPECT_EQ(stateOfAlice(), QStringLiteral("signed out"));
}

// The tray host forgets its icons when it restarts; the program's icon is docked again without
// any action by the user.
TEST_F(XvfbRunTest, TheTrayIconComesBackWhenTheTrayHostRestarts) {
    ASSERT_TRUE(waitFor([&] { return trayHostRunning(display); }))
        << "trayer: " << fileText("trayer.log").constData()
        << "Xvfb: " << fileText("xvfb.log").constData();
    startProgram();
    ASSERT_TRUE(waitFor([&] { return trayIconDocked(display, zarq.processId()); }));

    tray.terminate();
    ASSERT_TRUE(tray.waitForFinished(10000));
    ASSERT_TRUE(waitFor([&] { return !trayIconDocked(display, zarq.processId()); }));

    startTrayHost();
    ASSERT_TRUE(waitFor([&] { return trayHostRunning(display); }));
    EXPECT_TRUE(waitFor([&] { return trayIconDocked(display, zarq.processId()); }));
    EXPECT_EQ(zarq.state(), QProcess::Running);
}

INSTANTIATE_TEST_SUITE_P(Signals, XvfbRunTest, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

} // namespace
