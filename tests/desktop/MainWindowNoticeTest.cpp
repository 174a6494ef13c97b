#include "DesktopFixture.h"
#include "session/widgets/TSkinLinkLabel.h"
#include "shell/Skin.h"
#include "shell/TCircularProgress.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace zarq;
using namespace zarq::test;

namespace {

// What the first page shows: the columns of the window-state table.
struct PageState {
    bool panel1;
    bool spinnerVisible;
    bool spinnerEnabled;
    bool labelVisible;
    bool button;
    bool panel2;
    QString label; // LoginLabel's caption

    bool operator==(const PageState&) const = default;
};

void PrintTo(const PageState& s, std::ostream* os) {
    *os << "{panel1 " << s.panel1 << ", spinner " << s.spinnerVisible << "/" << s.spinnerEnabled
        << ", label " << s.labelVisible << " '" << s.label.toStdString() << "', button " << s.button
        << ", panel2 " << s.panel2 << "}";
}

const QString kBegin = QStringLiteral("域名 alice.dyn.tervan.com 登陆中...");
const QString kDesignLabel = QStringLiteral("域名登陆中...");
const QString kRefused = QStringLiteral("用户名或密码错误，请稍后重试...");
const QString kNetError = QStringLiteral("网络错误，请稍后重试...");
const QString kAskRefused = QStringLiteral("用户名或密码错误,是否重试...");
const QString kAskNet = QStringLiteral("网络连接错误,是否现在重试...");
const QString kAskElsewhere = QStringLiteral("您的账户在其他地点登录,是否重新登录...");

// The rows of the window-state table.
const PageState kSignedOut{true, false, true, false, true, false, kDesignLabel};
const PageState kSigningIn{true, true, true, true, false, false, kBegin};
const PageState kSignedIn{false, false, true, false, true, true, kBegin};

class MainWindowNoticeTest : public DesktopFixture {
protected:
    void SetUp() override {
        DesktopFixture::SetUp();
        form = std::make_unique<TForm1>(windowEnvironment());
        SessionState& s = form->zArqLogin->state();
        s.FullDomain = "alice.dyn.tervan.com";
        s.LanDomain = "alice.in.dyn.tervan.com";
        s.PublicIP = "203.0.113.7";
        s.LanIP = "192.168.1.20";
    }

    void notice(SessionNoticeNumber n) {
        QCoreApplication::postEvent(form.get(), new SessionNotice(n, form->zArqLogin, 0));
        QCoreApplication::sendPostedEvents(form.get());
    }

    static PageState page(const TForm1& f) {
        return {!f.loginpanel1->isHidden(),    !f.loginProgress1->isHidden(),
                f.loginProgress1->isEnabled(), !f.LoginLabel->isHidden(),
                !f.loginButton1->isHidden(),   !f.loginpanel2->isHidden(),
                f.LoginLabel->text()};
    }
    PageState page() const { return page(*form); }

    QStringList asked() const {
        QStringList texts;
        for (const auto& b : TSkinMessage::shownBoxes()) {
            EXPECT_EQ(b.kind, TSkinMessage::Kind::Question);
            EXPECT_EQ(b.caption, QStringLiteral("Error"));
            texts.append(b.text);
        }
        return texts;
    }

    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowNoticeTest, StartsSignedOutInItsDesignState) {
    // A window as the program makes it, before SetUp's session values are put in.
    form.reset();
    TForm1 fresh(windowEnvironment());
    EXPECT_EQ(page(fresh), kSignedOut);
    EXPECT_EQ(fresh.zArqLogin->state().PublicIP, "0.0.0.0");
    EXPECT_TRUE(fresh.zArqLogin->isHidden());
    EXPECT_FALSE(fresh.LoginLabel->isLink());
}

TEST_F(MainWindowNoticeTest, ReactionTable) {
    using N = SessionNoticeNumber;
    struct Row {
        const char* what;
        QList<N> before; // notices that bring the window into its starting state
        N notice;
        QList<int> answers;
        PageState after;
        QStringList asked;
        bool dialogShown;
        bool windowShown; // the hidden main window was brought on screen
    };
    const PageState refusedOk{true, true, false, true, false, false, kRefused};
    const PageState netErrorDuringSignIn{true, true, false, true, false, false, kNetError};
    const PageState netErrorFromSignedIn{true, false, false, false, true, false, kNetError};
    PageState signedOutAfterElsewhere = kSignedOut;
    signedOutAfterElsewhere.label = kBegin;
    PageState stoppedSignedOut = kSignedOut;
    stoppedSignedOut.label = kRefused;
    stoppedSignedOut.spinnerEnabled = false;

    const Row rows[] = {
        {"1030 starts the spinner", {}, WM_LOGIN_BEGIN, {}, kSigningIn, {}, false, false},
        {"1025 shows the signed-in panel",
         {WM_LOGIN_BEGIN},
         WM_LOGIN_OK,
         {},
         kSignedIn,
         {},
         false,
         false},
        {"1026 OK shows the dialog",
         {WM_LOGIN_BEGIN},
         WM_LOGIN_FAILED,
         {1},
         refusedOk,
         {kAskRefused},
         true,
         false},
        {"1026 Cancel returns to the login button",
         {WM_LOGIN_BEGIN},
         WM_LOGIN_FAILED,
         {2},
         stoppedSignedOut,
         {kAskRefused},
         false,
         false},
        {"1027 OK during a sign-in",
         {WM_LOGIN_BEGIN},
         WM_NET_ERROR,
         {1},
         netErrorDuringSignIn,
         {kAskNet},
         true,
         true},
        {"1027 Cancel during a sign-in",
         {WM_LOGIN_BEGIN},
         WM_NET_ERROR,
         {2},
         netErrorDuringSignIn,
         {kAskNet},
         false,
         true},
        {"1027 from a failed heartbeat",
         {WM_LOGIN_BEGIN, WM_LOGIN_OK},
         WM_NET_ERROR,
         {2},
         netErrorFromSignedIn,
         {kAskNet},
         false,
         true},
        {"1033 OK keeps the signed-in panel",
         {WM_LOGIN_BEGIN, WM_LOGIN_OK},
         WM_LOGIN_ELSEWHERE,
         {1},
         kSignedIn,
         {kAskElsewhere},
         true,
         false},
        {"1033 Cancel signs the window out",
         {WM_LOGIN_BEGIN, WM_LOGIN_OK},
         WM_LOGIN_ELSEWHERE,
         {2},
         signedOutAfterElsewhere,
         {kAskElsewhere},
         false,
         false},
        {"1032 only changes the LAN name box",
         {WM_LOGIN_BEGIN, WM_LOGIN_OK},
         WM_IP_INFO,
         {},
         kSignedIn,
         {},
         false,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        for (N n : row.before)
            notice(n);
        form->hide();
        TSkinMessage::resetTestHook();
        for (int a : row.answers)
            TSkinMessage::queueAnswers({a});
        notice(row.notice);
        EXPECT_EQ(page(), row.after);
        EXPECT_EQ(asked(), row.asked);
        EXPECT_EQ(form->zArqLogin->isVisible(), row.dialogShown);
        EXPECT_EQ(form->isVisible(), row.windowShown);
    }
}

TEST_F(MainWindowNoticeTest, SignedInPanelFillsThePageAndShowsTheSession) {
    for (bool lanOption : {false, true}) {
        SCOPED_TRACE(lanOption ? "LAN option on" : "LAN option off");
        form->zArqLogin->Checkbox3->setChecked(lanOption);
        notice(WM_LOGIN_BEGIN);
        notice(WM_LOGIN_OK);
        EXPECT_EQ(form->loginpanel2->geometry(), form->SkinTabSheet1->rect());
        EXPECT_EQ(form->domainInfo1->text(), QStringLiteral("alice.dyn.tervan.com"));
        EXPECT_EQ(form->IpInfo->text(), QStringLiteral("203.0.113.7"));
        EXPECT_EQ(form->domainInfo2->text(),
                  lanOption ? QStringLiteral("alice.in.dyn.tervan.com") : QString());
        EXPECT_EQ(form->ipinfo2->text(), QStringLiteral("192.168.1.20"));
    }
    // A heartbeat that found a new LAN address: the LAN name box shows the public address,
    // the LAN address box keeps the old one until the next sign-in.
    form->zArqLogin->state().LanIP = "10.0.0.9";
    notice(WM_IP_INFO);
    EXPECT_EQ(form->domainInfo2->text(), QStringLiteral("当前指向ip地址： 203.0.113.7"));
    EXPECT_EQ(form->ipinfo2->text(), QStringLiteral("192.168.1.20"));
}

TEST_F(MainWindowNoticeTest, ASecondNoticeOpensItsBoxOnTopOfAnOpenOne) {
    struct Case {
        int innerAnswer; // the network-error box, opened while the first box waits
        int outerAnswer; // the signed-in-elsewhere box
        PageState after;
        bool dialogShown;
    };
    PageState signedOut = kSignedOut;
    signedOut.label = kNetError;
    signedOut.spinnerEnabled = false;
    const PageState netError{true, false, false, false, true, false, kNetError};
    const Case cases[] = {
        {2, 2, signedOut, false},
        {2, 1, netError, true},
        {1, 2, signedOut, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.innerAnswer << "/" << c.outerAnswer);
        TearDown();
        SetUp();
        notice(WM_LOGIN_BEGIN);
        notice(WM_LOGIN_OK);
        bool posted = false;
        TSkinMessage::setAnswerer([&](const TSkinMessage::Shown& box) {
            if (box.text == kAskElsewhere && !posted) {
                posted = true;
                // The heartbeat fails while the first question waits for its answer.
                QCoreApplication::postEvent(form.get(),
                                            new SessionNotice(WM_NET_ERROR, form->zArqLogin));
                QCoreApplication::sendPostedEvents(form.get());
                return c.outerAnswer;
            }
            return c.innerAnswer;
        });
        notice(WM_LOGIN_ELSEWHERE);
        EXPECT_TRUE(posted);
        EXPECT_EQ(asked(), (QStringList{kAskNet, kAskElsewhere}));
        EXPECT_EQ(page(), c.after);
        EXPECT_EQ(form->zArqLogin->isVisible(), c.dialogShown);
    }
}

TEST_F(MainWindowNoticeTest, ProgressLabelOpensTheDialogOnlyWhileTheSpinnerStands) {
    notice(WM_LOGIN_BEGIN);
    emit form->LoginLabel->clicked();
    EXPECT_FALSE(form->zArqLogin->isVisible()) << "the spinner turns: the label does nothing";
    TSkinMessage::queueAnswers({TSkinMessage::Cancel});
    notice(WM_NET_ERROR);
    EXPECT_FALSE(form->loginProgress1->isHidden());
    EXPECT_FALSE(form->loginProgress1->isTurning());
    emit form->LoginLabel->clicked();
    EXPECT_TRUE(form->zArqLogin->isVisible());
}

// After an error the caption is the way back to the dialog, and it is a link like the others:
// underlined, with the pointing hand, reachable with Tab, and Enter opens the dialog. While
// the spinner turns it is plain text that neither takes the focus nor reacts to keys.
TEST_F(MainWindowNoticeTest, TheErrorCaptionIsALinkAndTheSigningInCaptionIsNot) {
    qApp->setStyleSheet(Skin::styleSheet()); // the look comes from the skin
    struct Row {
        const char* what;
        SessionNoticeNumber notice;
        bool link;
    } const rows[] = {
        {"signing in", WM_LOGIN_BEGIN, false},
        {"network error", WM_NET_ERROR, true},
        {"signing in again", WM_LOGIN_BEGIN, false},
        {"refused, answered OK", WM_LOGIN_FAILED, true},
    };
    form->show();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        form->zArqLogin->hide();
        TSkinMessage::resetTestHook();
        if (row.notice != WM_LOGIN_BEGIN)
            TSkinMessage::queueAnswers(
                {row.notice == WM_LOGIN_FAILED ? TSkinMessage::OK : TSkinMessage::Cancel});
        notice(row.notice);
        form->zArqLogin->hide();
        TSkinLinkLabel* label = form->LoginLabel;
        ASSERT_FALSE(label->isHidden());
        EXPECT_EQ(label->font().underline(), row.link);
        EXPECT_EQ(label->cursor().shape(), row.link ? Qt::PointingHandCursor : Qt::ArrowCursor);
        EXPECT_EQ(bool(label->focusPolicy() & Qt::TabFocus), row.link);
        EXPECT_EQ(label->font().underline(), form->SkinLinkLabel1->font().underline() && row.link);
        QTest::keyClick(label, Qt::Key_Return);
        EXPECT_EQ(form->zArqLogin->isVisible(), row.link);
    }
    qApp->setStyleSheet(QString());
}

TEST_F(MainWindowNoticeTest, AnIgnoredSignInReplyLeavesTheWindowSigningIn) {
    // No notice follows 1030: the spinner keeps turning, the label does nothing.
    notice(WM_LOGIN_BEGIN);
    form->show();
    EXPECT_TRUE(form->loginProgress1->isTurning());
    emit form->LoginLabel->clicked();
    EXPECT_FALSE(form->zArqLogin->isVisible());
    EXPECT_TRUE(form->loginButton1->isHidden());
}

} // namespace
