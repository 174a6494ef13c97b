#include "DesktopFixture.h"
#include "platform/RegistryStore.h"
#include "session/LoginSettings.h"
#include "session/widgets/NameEdit.h"
#include "session/widgets/PasswordEdit.h"
#include "session/widgets/TSkinLinkLabel.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace zarq;
using namespace zarq::test;

namespace {

// Stands in for the main window: counts the notices it is sent.
class NoticeRecorder : public QObject {
public:
    QList<int> numbers;

protected:
    bool event(QEvent* e) override {
        if (!SessionNotice::isSessionNotice(e))
            return QObject::event(e);
        numbers.append(static_cast<SessionNotice*>(e)->number());
        return true;
    }
};

class LoginDialogTest : public DesktopFixture {
protected:
    // A dialog as the main window makes it: created, MainHandle set, then the tick armed.
    std::unique_ptr<TzArqLogin> makeDialog(bool arm = false) {
        auto dialog = std::make_unique<TzArqLogin>(&owner, loginEnvironment());
        shortenWaits(*dialog);
        dialog->state().MainHandle = &window;
        if (arm)
            dialog->armAutoLogin();
        return dialog;
    }

    void saveSettings(const QString& name, const QByteArray& key, bool autologin) {
        RegistryStore store(settingsPath());
        ASSERT_TRUE(store.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), true));
        store.WriteString(QStringLiteral("loginname"), name);
        store.WriteString(QStringLiteral("password"), QString::fromLatin1(key));
        store.WriteInteger(QStringLiteral("autologin"), autologin ? 1 : 0);
    }

    // Submits through the password box's Enter and waits for the sign-in's outcome.
    bool signedInAfter(const std::function<void()>& submit) {
        submit();
        return waitFor([this] { return window.numbers.contains(WM_LOGIN_OK); });
    }

    QWidget owner;
    NoticeRecorder window;
};

TEST_F(LoginDialogTest, ControlsCarryTheirTextsWidthsAndTabOrder) {
    auto d = makeDialog();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("域名登录"));
    EXPECT_EQ(d->size(), QSize(351, 162));
    EXPECT_TRUE(d->isHidden());
    EXPECT_EQ(d->GroupBox1->title(), QStringLiteral("请输入域名名称和密码："));
    EXPECT_EQ(d->SkinLabel1->text(), QStringLiteral("域名："));
    EXPECT_EQ(d->SkinLabel3->text(), QStringLiteral("．"));
    EXPECT_EQ(d->SkinLinkLabel1->text(), QStringLiteral("注册"));
    EXPECT_EQ(d->SkinLabel2->text(), QStringLiteral("密码："));
    EXPECT_EQ(d->CheckBox1->text(), QStringLiteral("记住密码"));
    EXPECT_EQ(d->CheckBox2->text(), QStringLiteral("自动登录"));
    EXPECT_EQ(d->Checkbox3->text(), QStringLiteral("同时获取内网动态域名"));
    EXPECT_EQ(d->SkinButton1->text(), QStringLiteral("登录"));
    EXPECT_EQ(d->Edit1->width(), 97);
    EXPECT_EQ(d->ComboBox1->width(), 121);
    EXPECT_EQ(d->PasswordEdit1->width(), 185);
    EXPECT_FALSE(d->ComboBox1->isEditable());
    EXPECT_EQ(d->ComboBox1->count(), 1);
    EXPECT_EQ(d->ComboBox1->currentText(), QStringLiteral("dyn.tervan.com"));
    EXPECT_EQ(d->PasswordEdit1->echoMode(), QLineEdit::Password);
    // Design defaults with nothing saved (the first start).
    EXPECT_TRUE(d->CheckBox1->isChecked());
    EXPECT_TRUE(d->CheckBox2->isChecked());
    EXPECT_FALSE(d->Checkbox3->isChecked());
    EXPECT_FALSE(d->SkinButton1->isDefault());
    EXPECT_FALSE(d->SkinButton1->autoDefault());
    EXPECT_FALSE(d->Timer2->isActive());
    EXPECT_EQ(d->Timer2->interval(), 100);

    const QList<QWidget*> expected{d->Edit1,     d->PasswordEdit1, d->ComboBox1, d->CheckBox1,
                                   d->CheckBox2, d->SkinButton1,   d->Checkbox3};
    QList<QWidget*> order;
    QWidget* w = d->Edit1;
    do {
        if (expected.contains(w))
            order.append(w);
        w = w->nextInFocusChain();
    } while (w != d->Edit1);
    EXPECT_EQ(order, expected);
}

TEST_F(LoginDialogTest, NameBoxTurnsTypedAndPastedLettersIntoLowerCase) {
    auto d = makeDialog();
    QTest::keyClicks(d->Edit1, QStringLiteral("AliCE"));
    EXPECT_EQ(d->Edit1->text(), QStringLiteral("alice"));
    QGuiApplication::clipboard()->setText(QStringLiteral("-Ü2X"));
    d->Edit1->paste();
    EXPECT_EQ(d->Edit1->text(), QStringLiteral("alice-ü2x"));
    EXPECT_EQ(d->boxes().Edit1, QStringLiteral("alice-ü2x"));
}

TEST_F(LoginDialogTest, PasswordBoxTakesAtMost32CharactersAndRefusesALongPasteWhole) {
    struct Case {
        int before;     // characters already in the box
        bool selectAll; // the paste replaces them
        int pasted;     // characters pasted
        int after;      // characters in the box afterwards
    } const cases[] = {
        {30, false, 2, 32}, {30, false, 3, 30}, {0, false, 33, 0},
        {32, true, 5, 5},   {32, true, 33, 32}, {10, false, 40, 10},
    };
    auto d = makeDialog();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << " + " << c.pasted);
        d->PasswordEdit1->setText(QString(c.before, u'p'));
        if (c.selectAll)
            d->PasswordEdit1->selectAll();
        else
            d->PasswordEdit1->end(false);
        QGuiApplication::clipboard()->setText(QString(c.pasted, u'q'));
        d->PasswordEdit1->paste();
        EXPECT_EQ(d->PasswordEdit1->text().size(), c.after);
        EXPECT_EQ(d->boxes().PasswordEdit1, d->PasswordEdit1->text());
    }
    d->PasswordEdit1->clear();
    QTest::keyClicks(d->PasswordEdit1, QString(33, u'k'));
    EXPECT_EQ(d->PasswordEdit1->text(), QString(32, u'k'));
}

TEST_F(LoginDialogTest, EnterSubmitsOnlyFromThePasswordBox) {
    auto d = makeDialog();
    d->show();
    QTest::keyClicks(d->Edit1, QStringLiteral("Bob"));
    d->PasswordEdit1->setText(QStringLiteral("pw"));
    for (QWidget* w : QList<QWidget*>{d->Edit1, d->ComboBox1, d->CheckBox1, d->CheckBox2,
                                      d->Checkbox3, d->SkinButton1}) {
        SCOPED_TRACE(w->objectName().toStdString());
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
        QCoreApplication::processEvents();
        EXPECT_TRUE(d->isVisible());
    }
    EXPECT_TRUE(server.requests.isEmpty());
    {
        RegistryStore store(settingsPath());
        store.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), false);
        EXPECT_FALSE(store.ValueExists(QStringLiteral("loginname")))
            << "nothing is saved without a submit";
    }

    ASSERT_TRUE(signedInAfter([&] { QTest::keyClick(d->PasswordEdit1, Qt::Key_Return); }));
    EXPECT_TRUE(d->isHidden());
    EXPECT_EQ(d->state().FullDomain, "bob.dyn.tervan.com");
    RegistryStore store(settingsPath());
    ASSERT_TRUE(store.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), false));
    EXPECT_EQ(store.ReadString(QStringLiteral("loginname")), QStringLiteral("bob"));
    EXPECT_EQ(store.ReadString(QStringLiteral("password")),
              QString::fromLatin1(LoginSettings::key(
                  QStringLiteral("bob"), QStringLiteral("dyn.tervan.com"), QStringLiteral("pw"))));
}

TEST_F(LoginDialogTest, SubmitWithEmptyBoxesStillSignsIn) {
    auto d = makeDialog();
    ASSERT_TRUE(signedInAfter([&] { d->SkinButton1->click(); }));
    EXPECT_EQ(d->state().FullDomain, ".dyn.tervan.com");
    ASSERT_GE(server.requests.size(), 2);
    EXPECT_TRUE(server.requests[1].target.startsWith("/auth/?domain=.dyn.tervan.com&key="));
}

TEST_F(LoginDialogTest, AutoLoginTickSubmitsOnlyWithNamePasswordAndAutoLogin) {
    const QByteArray key = LoginSettings::key(
        QStringLiteral("carol"), QStringLiteral("dyn.tervan.com"), QStringLiteral("pw"));
    struct Case {
        const char* what;
        QString name;
        QByteArray key;
        bool autologin;
        bool signsIn;
    } const cases[] = {
        {"all present", QStringLiteral("carol"), key, true, true},
        {"auto-login off", QStringLiteral("carol"), key, false, false},
        {"no saved password", QStringLiteral("carol"), QByteArray(), true, false},
        {"no saved name", QString(), key, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(settingsPath());
        server.requests.clear();
        window.numbers.clear();
        saveSettings(c.name, c.key, c.autologin);
        auto d = makeDialog();
        EXPECT_FALSE(d->Timer2->isActive()) << "armed only by the main window";
        d->armAutoLogin();
        ASSERT_TRUE(d->Timer2->isActive());
        ASSERT_TRUE(waitFor([&] { return !d->Timer2->isActive(); }));
        QCoreApplication::sendPostedEvents();
        if (c.signsIn) {
            ASSERT_TRUE(waitFor([&] { return window.numbers.contains(WM_LOGIN_OK); }));
            EXPECT_TRUE(d->isHidden());
            // The first request already carries the computed agent.
            EXPECT_TRUE(
                server.requests[0].head.contains("User-Agent: Probe/1.0 TERVAN ZARQ Client 1.01"))
                << server.requests[0].head.constData();
        } else {
            EXPECT_TRUE(server.requests.isEmpty());
            EXPECT_TRUE(window.numbers.isEmpty());
        }
        // Once per run.
        d->armAutoLogin();
        EXPECT_FALSE(d->Timer2->isActive());
    }
}

TEST_F(LoginDialogTest, AutoLoginTickWithoutAWindowStartsNothing) {
    saveSettings(QStringLiteral("dave"), QByteArray(32, 'a'), true);
    auto d = std::make_unique<TzArqLogin>(&owner, loginEnvironment());
    d->armAutoLogin();
    ASSERT_TRUE(waitFor([&] { return !d->Timer2->isActive(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(LoginDialogTest, AFailedLoadShowsTheErrorBoxAndStopsTheCreation) {
    {
        RegistryStore store(settingsPath());
        ASSERT_TRUE(store.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), true));
        store.WriteString(QStringLiteral("loginname"), QStringLiteral("erin"));
        store.WriteString(QStringLiteral("password"), QString(32, u'b'));
        store.WriteString(QStringLiteral("autologin"), QStringLiteral("yes")); // wrong type
    }
    TSkinMessage::queueAnswers({TSkinMessage::OK});
    auto d = makeDialog();
    const auto boxes = TSkinMessage::shownBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Invalid data type for 'autologin'"));
    EXPECT_FALSE(d->creationCompleted());
    // The values before the failing one are shown; the client keeps its design agent.
    EXPECT_EQ(d->Edit1->text(), QStringLiteral("erin"));
    EXPECT_EQ(d->PasswordEdit1->text(), QString(8, u'b'));
    EXPECT_EQ(d->session().HttpClient1().Agent(), QByteArray(SessionProtocol::kDesignAgent));
    d->armAutoLogin();
    EXPECT_FALSE(d->Timer2->isActive()) << "no auto-login tick after a failed load";
}

TEST_F(LoginDialogTest, AFailedSaveShowsTheErrorBoxAndKeepsTheDialogWithoutSigningIn) {
    // The settings folder cannot be made: its parent is a file (refused even for root).
    QFile blocker(dir.filePath(QStringLiteral("config")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto d = makeDialog();
    ASSERT_TRUE(d->creationCompleted());
    d->show();
    QTest::keyClicks(d->Edit1, QStringLiteral("frank"));
    d->PasswordEdit1->setText(QStringLiteral("pw"));
    TSkinMessage::queueAnswers({TSkinMessage::OK});
    QTest::keyClick(d->PasswordEdit1, Qt::Key_Return);
    QCoreApplication::processEvents();
    const auto boxes = TSkinMessage::shownBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Failed to set data for 'loginname'"));
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(window.numbers.isEmpty());
}

TEST_F(LoginDialogTest, SavedKeyIsShownAsItsPlaceholderAndUsedUntouched) {
    const QByteArray key = LoginSettings::key(
        QStringLiteral("gina"), QStringLiteral("dyn.tervan.com"), QStringLiteral("secret"));
    saveSettings(QStringLiteral("gina"), key, false);
    auto d = makeDialog(true);
    ASSERT_TRUE(waitFor([&] { return !d->Timer2->isActive(); }));
    EXPECT_TRUE(server.requests.isEmpty()) << "auto-login is off";
    EXPECT_EQ(d->Edit1->text(), QStringLiteral("gina"));
    EXPECT_EQ(d->PasswordEdit1->text(), QString::fromLatin1(key.left(8)));
    ASSERT_TRUE(signedInAfter([&] { d->SkinButton1->click(); }));
    EXPECT_EQ(d->state().LoginKey, key);
}

TEST_F(LoginDialogTest, RegisterLinkOpensTheVendorsRegistrationPage) {
    auto d = makeDialog();
    d->show();
    QTest::mouseClick(d->SkinLinkLabel1, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://vendor.test/reg.php")));
}

} // namespace
