// The login dialog's name box and a saved name that would break the sign-in request.
#include "ScriptedHttpServer.h"
#include "platform/RegistryStore.h"
#include "session/LoginSettings.h"
#include "session/SessionNotice.h"
#include "session/widgets/NameEdit.h"
#include "session/widgets/PasswordEdit.h"
#include "session/widgets/TzArqLogin.h"
#include "shell/TSkinMessage.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

using namespace zarq;
using namespace zarq::test;

namespace {

TEST(NameEdit, RefusedCharactersAreNotTaken) {
    struct Case {
        QString typed;
        QString kept;
    };
    const Case cases[] = {
        {"Ab c", "abc"},
        {"a&b?c#d/e", "abcde"},
        {"x\ty", "xy"},
        {"home-1_a.b", "home-1_a.b"},
        {QStringLiteral("张 三"), QStringLiteral("张三")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const bool printableAscii = std::all_of(
            c.typed.begin(), c.typed.end(), [](QChar ch) { return ch >= u' ' && ch < u'\x7f'; });
        if (printableAscii) {
            // Typed one key at a time (the test keyboard knows printable ASCII only).
            NameEdit typedInto;
            QTest::keyClicks(&typedInto, c.typed);
            EXPECT_EQ(typedInto.text(), c.kept);
        }
        NameEdit pastedInto;
        pastedInto.insert(c.typed);
        EXPECT_EQ(pastedInto.text(), c.kept);
    }
}

TEST(NameEdit, TheCursorStaysWhereTheKeptTextEnds) {
    NameEdit box;
    box.insert(QStringLiteral("abcd"));
    box.setCursorPosition(2);
    box.insert(QStringLiteral(" & "));
    EXPECT_EQ(box.text(), QStringLiteral("abcd"));
    EXPECT_EQ(box.cursorPosition(), 2);
    box.insert(QStringLiteral("X y\r\n"));
    EXPECT_EQ(box.text(), QStringLiteral("abxycd"));
    EXPECT_EQ(box.cursorPosition(), 4);
}

// Counts the notices the dialog posts to its main window.
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

class SavedNameTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        TSkinMessage::resetTestHook();
        TSkinMessage::queueAnswers({1, 1});
        m_server.handler = [](const QByteArray&) {
            return ScriptedHttpServer::Reply::text("0 tok");
        };
    }
    void TearDown() override { TSkinMessage::resetTestHook(); }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("zarq.reg")); }

    void save(const QString& name) {
        RegistryStore store(settingsPath());
        ASSERT_TRUE(store.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), true));
        store.WriteString(QStringLiteral("loginname"), name);
        store.WriteString(QStringLiteral("password"),
                          QStringLiteral("4de211c33a53338595c37d2503f95f77"));
        store.WriteInteger(QStringLiteral("autologin"), 1);
    }

    std::unique_ptr<TzArqLogin> dialog() {
        LoginDialogEnvironment env;
        env.config.echoHost = m_server.host();
        env.config.apiHost = m_server.host();
        env.settingsPath = settingsPath();
        env.getLanAddress = [] { return QByteArray("192.168.1.20"); };
        env.getBrowserUserAgent = [] { return QByteArray("Probe/1.0"); };
        auto d = std::make_unique<TzArqLogin>(&m_owner, env);
        d->state().MainHandle = &m_window;
        d->Timer2->setInterval(1);
        d->armAutoLogin();
        return d;
    }

    // Lets the auto-login tick come and anything it started run for a while.
    static void settle() {
        QTest::qWait(300);
        QCoreApplication::processEvents();
    }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    QWidget m_owner;
    NoticeRecorder m_window;
};

TEST_F(SavedNameTest, ASavedNameThatWouldBreakTheRequestIsReportedAndNotSent) {
    save(QStringLiteral("demo&inip=6.6.6.6"));
    auto d = dialog();
    settle();
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("The saved name \"demo&inip=6.6.6.6\" cannot be used: it holds \"&\", "
                             "which would break the sign-in request. Please type the name again."));
    EXPECT_EQ(d->Edit1->text(), QString());
    EXPECT_EQ(d->PasswordEdit1->text(), QStringLiteral("4de211c3")); // the rest was loaded
    EXPECT_TRUE(d->creationCompleted());
    EXPECT_TRUE(m_server.requests.isEmpty());
    EXPECT_TRUE(m_window.numbers.isEmpty());
}

TEST_F(SavedNameTest, ASavedNameWithALineBreakIsShownEscaped) {
    save(QStringLiteral("x\r\nHost: evil"));
    auto d = dialog();
    settle();
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.startsWith(
        QStringLiteral("The saved name \"x\\r\\nHost: evil\" cannot be used: it holds a control "
                       "character (U+000D)")))
        << shown[0].text.toStdString();
    EXPECT_TRUE(m_server.requests.isEmpty());
}

TEST_F(SavedNameTest, AGoodSavedNameSignsInAsBefore) {
    save(QStringLiteral("demo"));
    auto d = dialog();
    ASSERT_TRUE(waitFor([&] { return m_window.numbers.contains(WM_LOGIN_OK); }));
    EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty());
    ASSERT_GE(m_server.requests.size(), 2);
    EXPECT_TRUE(m_server.requests[1].target.startsWith("/auth/?domain=demo.dyn.tervan.com&key="))
        << m_server.requests[1].target.constData();
}

TEST_F(SavedNameTest, ANameTheRequestCannotCarryIsStoppedAtTheSubmit) {
    save(QStringLiteral("demo"));
    auto d = dialog();
    ASSERT_TRUE(waitFor([&] { return m_window.numbers.contains(WM_LOGIN_OK); }));
    const qsizetype before = m_server.requests.size();
    d->Edit1->setText(QStringLiteral("demo\U0001F600")); // not in the request's code page
    d->SkinButton1Click();
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("U+1F600"))) << shown[0].text.toStdString();
    settle();
    EXPECT_EQ(m_server.requests.size(), before);
}

} // namespace
