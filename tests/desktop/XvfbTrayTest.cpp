// The program on a real X display with a classic XEmbed tray (trayer): the tray icon's real
// clicks and menu, and the window titles as the X server holds them.
#include "XvfbFixture.h"
#include "support/WaitFor.h"

#include <QStandardPaths>

using namespace zarq::test;

namespace {

const QString kMainTitle = QStringLiteral("TERVAN 蓝杉果动态域名客户端 1.0");

class XvfbTrayTest : public XvfbFixture {
protected:
    void SetUp() override {
        XvfbFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed (Debian package xdotool); the tray icon "
                            "cannot be clicked here";
    }

    bool shown(const QString& title) {
        const XWindow w = window(title);
        return w.id != XCB_WINDOW_NONE && w.viewable;
    }
    // The icon as the tray host docked it (inside the host's window).
    XWindow dockedIcon() {
        for (const XWindow& w : windows()) {
            if (!w.topLevel && w.viewable && !w.rootGeometry.isEmpty())
                return w;
        }
        return {};
    }
    bool menuOpen() {
        for (const XWindow& w : windows()) {
            if (w.topLevel && w.overrideRedirect && w.viewable)
                return true;
        }
        return false;
    }
    std::string titles() {
        std::string text;
        for (const XWindow& w : windows())
            text += "[" + w.netWmName.toStdString() + (w.viewable ? " shown] " : "] ");
        return text;
    }
    // Starts the program and closes its window, so that it lives in the tray only.
    void startInTheTray() {
        startProgram();
        ASSERT_TRUE(waitFor([&] { return shown(kMainTitle) && dockedIcon().id; })) << titles();
        ASSERT_TRUE(closeWindow(kMainTitle)) << "closing hides the window";
        ASSERT_EQ(zarq.state(), QProcess::Running);
    }
    // A right click on the icon, until the menu is open. A press that arrives while the menu
    // of the last click is still closing only ends that menu, so it is repeated.
    bool openMenu() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (!clickIcon(QStringLiteral("3"), 1))
                return false;
            if (waitFor([&] { return menuOpen(); }, 3000))
                return true;
        }
        return false;
    }
    bool clickIcon(const QString& button, int times) {
        const QPoint centre = dockedIcon().rootGeometry.center();
        return xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                        QString::number(centre.y()), QStringLiteral("click"),
                        QStringLiteral("--repeat"), QString::number(times),
                        QStringLiteral("--delay"), QStringLiteral("60"), button});
    }
};

TEST_F(XvfbTrayTest, ADoubleClickOnTheIconBringsTheClosedWindowBack) {
    startInTheTray();
    ASSERT_TRUE(clickIcon(QStringLiteral("1"), 2));
    EXPECT_TRUE(waitFor([&] { return shown(kMainTitle); })) << titles();
}

// A right press opens the menu at once; its "显示主界面(&S)" shows the window and its
// "退出动态域名系统(&E)" ends the program, through the real menu, chosen by the keyboard.
TEST_F(XvfbTrayTest, TheRightClickMenuShowsTheWindowAndExits) {
    startInTheTray();
    ASSERT_TRUE(openMenu()) << titles();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("s")}));
    EXPECT_TRUE(waitFor([&] { return shown(kMainTitle); })) << titles();

    ASSERT_TRUE(openMenu()) << titles();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("e")}));
    ASSERT_TRUE(zarq.waitForFinished(30000));
    EXPECT_EQ(zarq.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(zarq.exitCode(), 0);
    EXPECT_TRUE(events().contains("signout")) << events().constData();
}

// Every window's title on the display is its own caption, with nothing appended: the main
// window, the question box of a refused sign-in, the login dialog it leads to, and the
// settings dialog.
TEST_F(XvfbTrayTest, WindowTitlesAreTheirOwnCaptionsOnTheDisplay) {
    saveLogin("wrong", true);
    startProgram();
    ASSERT_TRUE(waitFor([&] { return shown(QStringLiteral("Error")); })) << titles();
    EXPECT_TRUE(shown(kMainTitle)) << titles();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")})); // "OK"
    ASSERT_TRUE(waitFor([&] { return shown(QStringLiteral("域名登录")); })) << titles();
    ASSERT_TRUE(closeWindow(QStringLiteral("域名登录"))) << titles();

    // "系统设置" at the left end of the status bar, the window's bottom 27 pixels.
    const QRect main = window(kMainTitle).rootGeometry;
    ASSERT_FALSE(main.isEmpty());
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(main.left() + 40),
                         QString::number(main.bottom() - 12), QStringLiteral("click"),
                         QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return shown(QStringLiteral("系统设置")); })) << titles();

    for (const XWindow& w : windows())
        EXPECT_FALSE(w.netWmName.contains(QStringLiteral(" — "))) << titles();
}

} // namespace
