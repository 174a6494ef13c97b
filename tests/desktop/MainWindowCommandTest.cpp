#include "DesktopFixture.h"
#include "platform/SystemError.h"
#include "session/widgets/NameEdit.h"
#include "session/widgets/PasswordEdit.h"
#include "session/widgets/TSkinLinkLabel.h"
#include "shell/Skin.h"
#include "shell/TCircularProgress.h"
#include "shell/TTrayIcon.h"
#include "shell/TTrayMenu.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace zarq;
using namespace zarq::test;

namespace {

class MainWindowCommandTest : public DesktopFixture {
protected:
    std::unique_ptr<TForm1> makeForm() {
        auto form = std::make_unique<TForm1>(windowEnvironment());
        shortenWaits(*form->zArqLogin);
        return form;
    }

    // Types a login into the dialog and submits it; true once the window shows it signed in.
    bool signIn(TForm1& form) {
        form.loginButton1Click();
        form.zArqLogin->Edit1->setText(QStringLiteral("alice"));
        form.zArqLogin->PasswordEdit1->setText(QStringLiteral("pw"));
        form.zArqLogin->SkinButton1->click();
        return waitFor([&] { return !form.loginpanel2->isHidden(); });
    }

    QList<QByteArray> logouts() const {
        QList<QByteArray> out;
        for (const QByteArray& t : server.targets())
            if (t.startsWith("/logout/"))
                out.append(t);
        return out;
    }
};

TEST_F(MainWindowCommandTest, ControlsCarryTheirNamesTextsAndSizes) {
    auto form = makeForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("TERVAN 蓝杉果动态域名客户端 1.0"));
    EXPECT_EQ(form->size(), QSize(557, 441));
    struct Text {
        const char* name;
        QString text;
    } const texts[] = {
        {"loginButton1", QStringLiteral("动态域名登录")},
        {"LoginLabel", QStringLiteral("域名登陆中...")},
        {"SkinLinkLabel1", QStringLiteral("免费注册")},
        {"SkinStdLabel1", QStringLiteral("动态域名登录成功!")},
        {"SkinLinkLabel2", QStringLiteral("公网域名")},
        {"SkinLinkLabel3", QStringLiteral("IP:")},
        {"SkinLinkLabel5", QStringLiteral("内网域名")},
        {"SkinLinkLabel4", QStringLiteral("IP:")},
        {"SkinButton1", QStringLiteral("注销")},
        {"SkinButton2", QStringLiteral("系统设置")},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.name);
        QObject* o = form->findChild<QObject*>(QString::fromLatin1(t.name));
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->property("text").toString(), t.text);
    }
    for (QLineEdit* box : {form->domainInfo1, form->IpInfo, form->domainInfo2, form->ipinfo2}) {
        EXPECT_TRUE(box->isReadOnly());
        EXPECT_TRUE(box->text().isEmpty());
    }
    EXPECT_EQ(form->loginpanel1->size(), QSize(545, 137));
    EXPECT_EQ(form->loginProgress1->size(), QSize(25, 24));
    EXPECT_EQ(form->LoginLabel->size(), QSize(217, 41));
    EXPECT_EQ(form->SkinStatusBar1->height(), 27);
    EXPECT_TRUE(form->SkinStatusPanel1->text().isEmpty());
    EXPECT_EQ(form->SkinPageControl1->count(), 2);
    EXPECT_EQ(form->SkinPageControl1->tabText(0), QStringLiteral("动态域名"));
    EXPECT_EQ(form->SkinPageControl1->tabText(1), QStringLiteral("网络信息"));
    EXPECT_EQ(form->SkinPageControl1->tabBar()->tabRect(0).size(), QSize(200, 85));
    EXPECT_FALSE(form->SkinPageControl1->tabIcon(0).isNull());
    EXPECT_TRUE(form->wkMemo->isReadOnly());
    EXPECT_EQ(form->wkMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->wkMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->SkinPopupMenu1->N1->text(), QStringLiteral("显示主界面(&S)"));
    EXPECT_EQ(form->SkinPopupMenu1->E1->text(), QStringLiteral("退出动态域名系统(&E)"));
    EXPECT_TRUE(form->TrayIcon1->IconVisible());
    EXPECT_TRUE(form->TrayIcon1->MinimizeToTray());
    EXPECT_EQ(form->TrayIcon1->PopupMenu(), form->SkinPopupMenu1);
}

TEST_F(MainWindowCommandTest, CreationStepsLeaveEverythingReadyForTheAutoLoginTick) {
    report = QStringLiteral("eth0 report\r\n");
    auto form = makeForm();
    TzArqLogin& d = *form->zArqLogin;
    EXPECT_EQ(d.parent(), form.get());
    EXPECT_EQ(d.state().MainHandle, form.get());
    EXPECT_EQ(d.state().PublicIP, "0.0.0.0");
    EXPECT_EQ(d.state().UserAgent, "Probe/1.0 TERVAN ZARQ Client 1.01");
    ASSERT_NE(form->SettingForm1, nullptr);
    EXPECT_EQ(form->SettingForm1->parent(), form.get());
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("autostart/TervanZarq.desktop"))))
        << "first start writes the start-at-log-in entry";
    EXPECT_EQ(form->wkMemo->toPlainText(), QStringLiteral("eth0 report\n"));
    EXPECT_TRUE(d.Timer2->isActive()) << "armed as the last creation step";
}

TEST_F(MainWindowCommandTest, AFailedNetworkReportShowsTheErrorBoxAndKeepsWhatItGot) {
    auto env = windowEnvironment();
    env.networkReport = [](QString& memo) {
        memo = QStringLiteral("eth0\r\n");
        throw SystemError(2, QStringLiteral("No such file or directory"));
    };
    TSkinMessage::queueAnswers({TSkinMessage::OK});
    TForm1 form(env);
    const auto boxes = TSkinMessage::shownBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("System Error.  Code: 2.\r\nNo such file or directory"));
    EXPECT_EQ(form.wkMemo->toPlainText(), QStringLiteral("eth0\n"));
    EXPECT_TRUE(form.zArqLogin->Timer2->isActive());
}

TEST_F(MainWindowCommandTest, ClosingHidesAndTheTrayBringsTheWindowBack) {
    auto form = makeForm();
    form->show();
    EXPECT_FALSE(form->close()) << "the close is refused";
    EXPECT_TRUE(form->isHidden());
    form->SkinPopupMenu1->N1->trigger();
    EXPECT_TRUE(form->isVisible());
    form->close();
    ASSERT_NE(tray, nullptr);
    tray->press(TrayBackend::Event::LeftPress);
    tray->press(TrayBackend::Event::LeftRelease);
    tray->press(TrayBackend::Event::LeftDoubleClick);
    tray->press(TrayBackend::Event::LeftRelease);
    EXPECT_TRUE(form->isVisible());
    // A StatusNotifierItem panel's one activation brings it back too.
    form->close();
    ASSERT_TRUE(form->isHidden());
    tray->press(TrayBackend::Event::PrimaryActivation);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(terminated, 0);
}

// Without a tray host nothing could bring a hidden window back: closing minimises it, and it
// keeps its place in the task bar. Minimising does not hide it either.
TEST_F(MainWindowCommandTest, WithoutATrayClosingMinimisesInsteadOfHiding) {
    auto form = makeForm();
    ASSERT_NE(tray, nullptr);
    tray->available = false;
    form->show();
    EXPECT_FALSE(form->close()) << "the close is refused";
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isHidden());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_EQ(terminated, 0);
    form->SkinPopupMenu1->N1->trigger();
    EXPECT_FALSE(form->isMinimized());

    // The tray host comes (back): closing hides into it again.
    tray->available = true;
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isHidden());
}

// The "系统设置" button sits inside the 27-pixel status bar with all the room the skin asks
// for: not cut at the bottom, not squeezed below its own size, not against the left edge.
TEST_F(MainWindowCommandTest, TheSettingsButtonFitsTheStatusBar) {
    qApp->setStyleSheet(Skin::styleSheet());
    auto form = makeForm();
    form->show();
    QCoreApplication::processEvents();
    const QRect bar = form->SkinStatusBar1->rect();
    const QRect button = form->SkinButton2->geometry();
    EXPECT_EQ(bar.height(), 27);
    EXPECT_TRUE(bar.contains(button))
        << button.x() << "," << button.y() << " " << button.width() << "x" << button.height();
    EXPECT_GE(button.height(), form->SkinButton2->sizeHint().height());
    EXPECT_GE(button.width(), form->SkinButton2->sizeHint().width());
    // Clear of the left edge: the first pixel the button paints is a few pixels in.
    const QImage image = form->SkinStatusBar1->grab().toImage();
    const QColor border(0x16, 0x4f, 0x91); // the skin's button border
    const auto isBorder = [&](QColor c) {
        return qAbs(c.red() - border.red()) + qAbs(c.green() - border.green()) +
                   qAbs(c.blue() - border.blue()) <
               60;
    };
    int firstButtonColumn = -1;
    for (int x = 0; x < image.width() && firstButtonColumn < 0; ++x) {
        if (isBorder(image.pixelColor(x, button.center().y())))
            firstButtonColumn = x;
    }
    EXPECT_GE(firstButtonColumn, 4);
    // The bottom border is drawn: some row of the bar below the middle is the border's colour
    // across the button.
    int bottomBorderRow = -1;
    for (int y = image.height() - 1; y > button.center().y() && bottomBorderRow < 0; --y) {
        if (isBorder(image.pixelColor(button.center().x(), y)))
            bottomBorderRow = y;
    }
    EXPECT_GT(bottomBorderRow, button.center().y()) << "the button's bottom edge is cut off";
    EXPECT_LT(bottomBorderRow, image.height() - 1);
    qApp->setStyleSheet(QString());
}

TEST_F(MainWindowCommandTest, LinksOpenTheVendorSite) {
    auto form = makeForm();
    form->show();
    QTest::mouseClick(form->SkinLinkLabel1, Qt::LeftButton);
    form->loginpanel2->show();
    for (TSkinLinkLabel* link :
         {form->SkinLinkLabel2, form->SkinLinkLabel3, form->SkinLinkLabel5, form->SkinLinkLabel4})
        QTest::mouseClick(link, Qt::LeftButton);
    const QUrl home(QStringLiteral("http://vendor.test"));
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QStringLiteral("http://vendor.test/reg.php")), home, home,
                                   home, home}));
}

TEST_F(MainWindowCommandTest, SettingsButtonShowsTheSettingsDialogModally) {
    auto form = makeForm();
    bool shownModal = false;
    QTimer::singleShot(0, form.get(), [&] {
        shownModal = form->SettingForm1->isVisible() && form->SettingForm1->isModal();
        form->SettingForm1->SkinButton1->click();
    });
    form->SkinButton2->click();
    EXPECT_TRUE(shownModal);
    EXPECT_TRUE(form->SettingForm1->isHidden());
}

TEST_F(MainWindowCommandTest, LogOffSignsOutAndReturnsToTheLoginButton) {
    auto form = makeForm();
    ASSERT_TRUE(signIn(*form));
    EXPECT_TRUE(form->zArqLogin->Timer1().isActive());
    form->SkinButton1->click();
    EXPECT_EQ(logouts(), (QList<QByteArray>{"/logout/?session=tok123"}));
    EXPECT_TRUE(form->loginpanel2->isHidden());
    EXPECT_FALSE(form->loginpanel1->isHidden());
    EXPECT_FALSE(form->loginButton1->isHidden());
    EXPECT_TRUE(form->loginButton1->isEnabled());
    EXPECT_TRUE(form->loginProgress1->isHidden());
    EXPECT_TRUE(form->LoginLabel->isHidden());
    EXPECT_FALSE(form->zArqLogin->Timer1().isActive());
    EXPECT_EQ(terminated, 0);
}

TEST_F(MainWindowCommandTest, AFailedLogOffShowsTheErrorBoxAndLeavesTheWindowSignedIn) {
    auto form = makeForm();
    ASSERT_TRUE(signIn(*form));
    logoutReply = Reply{Reply::Body, "busy", 503};
    TSkinMessage::queueAnswers({TSkinMessage::OK});
    form->SkinButton1->click();
    const auto boxes = TSkinMessage::shownBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_FALSE(boxes[0].text.isEmpty());
    EXPECT_FALSE(form->loginpanel2->isHidden()) << "the window keeps its signed-in panel";
    EXPECT_TRUE(form->loginpanel1->isHidden());
    EXPECT_FALSE(form->zArqLogin->Timer1().isActive()) << "the heartbeat is stopped all the same";
}

TEST_F(MainWindowCommandTest, ExitWithoutASignInSignsOutWithAnEmptyTokenThenEnds) {
    auto form = makeForm();
    form->zArqLogin->Timer2->stop();
    form->SkinPopupMenu1->E1->trigger();
    EXPECT_EQ(logouts(), (QList<QByteArray>{"/logout/?session="}));
    EXPECT_EQ(terminated, 1);
}

TEST_F(MainWindowCommandTest, ExitEndsTheProgramEvenWhenTheSignOutFails) {
    auto form = makeForm();
    ASSERT_TRUE(signIn(*form));
    logoutReply = Reply::close();
    form->E1Click();
    EXPECT_EQ(logouts(), (QList<QByteArray>{"/logout/?session=tok123"}));
    EXPECT_EQ(terminated, 1);
    EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty()) << "no box on the way out";
}

TEST_F(MainWindowCommandTest, ARequestToEndTheProgramSignsOutFirst) {
    // What the update's restart sends when the updater has started.
    auto form = makeForm();
    ASSERT_TRUE(signIn(*form));
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    QCoreApplication::processEvents();
    EXPECT_EQ(logouts(), (QList<QByteArray>{"/logout/?session=tok123"}));
    EXPECT_EQ(terminated, 1);
    // Only while the window lives: afterwards a request ends the loop as usual.
    form.reset();
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    QCoreApplication::processEvents();
    EXPECT_EQ(logouts().size(), 1);
    EXPECT_EQ(terminated, 1);
}

TEST_F(MainWindowCommandTest, ASecondEndRequestWhileTheSignOutWaitsEndsAtOnce) {
    // The real "end": the event loop's exit, which also ends the waiting sign-out.
    auto env = windowEnvironment();
    env.terminate = [this] {
        ++terminated;
        QCoreApplication::exit(0);
    };
    TForm1 form(env);
    form.zArqLogin->Timer2->stop();
    logoutReply = Reply::stall();
    onLogout = [&form] { QTimer::singleShot(0, &form, [&form] { form.endSession(); }); };
    QTimer::singleShot(0, &form, [&form] { form.endSession(); });
    QCoreApplication::exec();
    EXPECT_EQ(logouts().size(), 1);
    EXPECT_EQ(terminated, 2);
}

} // namespace
