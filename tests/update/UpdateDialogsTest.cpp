// The desktop's update dialogs and boxes: their layout, how each way of closing them answers,
// and a run of the component that asks through them.

#include "CoreTestHome.h"
#include "TestableAutoUpdate.h"

#include "update/widgets/DesktopUpdateUserInterface.h"
#include "update/widgets/TLoginForm.h"
#include "update/widgets/UpdateMessageBox.h"
#include "update/widgets/UpdateTextDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace zarq;

namespace {

// Acts on the modal dialog once its own event loop runs, as a person would.
void whenShown(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(modal);
    });
}

void pressEscape(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

} // namespace

TEST(UpdateTextDialogTest, TheNewsDialogIsLaidOutAsSpecified) {
    std::unique_ptr<UpdateTextDialog> d(
        UpdateTextDialog::whatsNew("News", {"first", "second"}, "Ok", "Cancel"));
    EXPECT_EQ(d->size(), QSize(400, 400));
    EXPECT_EQ(d->windowTitle(), "News");
    EXPECT_TRUE(d->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(d->Memo->geometry(), QRect(10, 10, 380, 340));
    EXPECT_TRUE(d->Memo->isReadOnly());
    EXPECT_EQ(d->Memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(d->Memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(d->Memo->toPlainText(), "first\nsecond");
    // 10 pixels below the memo; Cancel ends at the memo's right edge, OK one button width and
    // 10 pixels further left.
    EXPECT_EQ(d->OkButton->geometry(), QRect(230, 360, 75, 25));
    EXPECT_EQ(d->CancelButton->geometry(), QRect(315, 360, 75, 25));
    EXPECT_EQ(d->OkButton->text(), "Ok");
    EXPECT_EQ(d->CancelButton->text(), "Cancel");
    EXPECT_EQ(d->OkButton->nextInFocusChain(), d->CancelButton);
}

TEST(UpdateTextDialogTest, TheLicenceDialogIsLaidOutAsSpecified) {
    std::unique_ptr<UpdateTextDialog> d(
        UpdateTextDialog::licence("Licence", {"terms"}, "Ok", "I accept", "I do not accept"));
    EXPECT_EQ(d->size(), QSize(400, 400));
    EXPECT_EQ(d->Memo->geometry(), QRect(10, 10, 380, 340));
    EXPECT_EQ(d->OkButton->geometry(), QRect(315, 360, 75, 25));
    EXPECT_TRUE(d->OkButton->isEnabled());
    EXPECT_EQ(d->AcceptChoice->text(), "I accept");
    EXPECT_EQ(d->AcceptChoice->geometry().topLeft(), QPoint(10, 360));
    EXPECT_EQ(d->NotAcceptChoice->geometry().topLeft(), QPoint(20 + d->AcceptChoice->width(), 360));
    EXPECT_GT(d->AcceptChoice->width(), 0);
    EXPECT_FALSE(d->AcceptChoice->isChecked());
    EXPECT_TRUE(d->NotAcceptChoice->isChecked());
    // One group: choosing one leaves the other.
    d->AcceptChoice->click();
    EXPECT_FALSE(d->NotAcceptChoice->isChecked());
    EXPECT_EQ(d->OkButton->nextInFocusChain(), d->AcceptChoice);
}

TEST(UpdateTextDialogTest, EachWayOfClosingTheNewsAnswers) {
    struct Case {
        const char* name;
        std::function<void(UpdateTextDialog*)> close;
        bool accepted;
    };
    const Case cases[] = {
        {"close box", [](UpdateTextDialog* d) { d->close(); }, false},
        {"Escape", [](UpdateTextDialog* d) { pressEscape(d); }, false},
        {"Cancel", [](UpdateTextDialog* d) { d->CancelButton->click(); }, false},
        {"OK", [](UpdateTextDialog* d) { d->OkButton->click(); }, true},
    };
    DesktopUpdateUserInterface ui;
    for (const Case& c : cases) {
        whenShown([&](QWidget* w) { c.close(qobject_cast<UpdateTextDialog*>(w)); });
        EXPECT_EQ(ui.ShowWhatsNew("News", {"text"}, "Ok", "Cancel"), c.accepted) << c.name;
    }
}

TEST(UpdateTextDialogTest, TheLicenceCountsAsAcceptedOnlyWithIAcceptSelected) {
    struct Case {
        const char* name;
        bool chooseAccept;
        std::function<void(UpdateTextDialog*)> close;
        bool accepted;
    };
    const Case cases[] = {
        {"accept, close box", true, [](UpdateTextDialog* d) { d->close(); }, true},
        {"accept, OK", true, [](UpdateTextDialog* d) { d->OkButton->click(); }, true},
        {"accept, Escape", true, [](UpdateTextDialog* d) { pressEscape(d); }, true},
        {"as shown, OK", false, [](UpdateTextDialog* d) { d->OkButton->click(); }, false},
        {"as shown, close box", false, [](UpdateTextDialog* d) { d->close(); }, false},
    };
    DesktopUpdateUserInterface ui;
    for (const Case& c : cases) {
        whenShown([&](QWidget* w) {
            auto* d = qobject_cast<UpdateTextDialog*>(w);
            if (c.chooseAccept)
                d->AcceptChoice->click();
            c.close(d);
        });
        EXPECT_EQ(ui.ShowEULA("Licence", {"terms"}, "Ok", "I accept", "I do not accept"),
                  c.accepted)
            << c.name;
    }
}

TEST(TLoginFormTest, TheLoginDialogIsLaidOutAsSpecified) {
    TLoginForm form("Connect to update.example");
    EXPECT_EQ(form.size(), QSize(328, 223));
    EXPECT_EQ(form.windowTitle(), "Connect to update.example");
    EXPECT_EQ(form.Banner->geometry().top(), 0);
    EXPECT_EQ(form.Banner->size(), QSize(320, 60));
    EXPECT_EQ(form.Banner->pixmap().size(), QSize(320, 60));
    EXPECT_EQ(form.Label1->text(), "&User name: ");
    EXPECT_EQ(form.Label1->buddy(), form.Edit1);
    EXPECT_EQ(form.Label2->text(), "&Password:");
    EXPECT_EQ(form.Label2->buddy(), form.Edit2);
    EXPECT_TRUE(form.Edit1->text().isEmpty());
    EXPECT_TRUE(form.Edit2->text().isEmpty());
    EXPECT_EQ(form.Edit2->echoMode(), QLineEdit::Password);
    QStyleOptionFrame option;
    option.initFrom(form.Edit2);
    EXPECT_EQ(
        form.Edit2->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &option, form.Edit2),
        '*');
    EXPECT_TRUE(form.OKButton->isDefault());
    EXPECT_EQ(form.OKButton->text(), "OK");
    EXPECT_EQ(form.CancelButton->text(), "Cancel");
}

TEST(TLoginFormTest, OnlyOKGivesTheTexts) {
    DesktopUpdateUserInterface ui;
    for (bool ok : {true, false}) {
        whenShown([ok](QWidget* w) {
            auto* form = qobject_cast<TLoginForm*>(w);
            form->Edit1->setText("anna");
            form->Edit2->setText("pa ss");
            if (ok)
                form->OKButton->click();
            else
                form->close();
        });
        QString user = "before", password = "before";
        EXPECT_EQ(ui.Login("Connect to host", user, password), ok);
        EXPECT_EQ(user, ok ? "anna" : "before");
        EXPECT_EQ(password, ok ? "pa ss" : "before");
    }
}

namespace {

// A run of the component over the file share that asks through the desktop's boxes and dialogs.
class DesktopRunTest : public testing::Test {
protected:
    void SetUp() override {
        UpdateMessageBox::resetTestHook();
        QDir().mkpath(host());
        update.UpdateType = fileUpdate;
        update.ForceUpdate = true;
        update.UpdateUpdate = auuSilent;
        update.URL = host() + "/update1.txt";
        update.SetUserInterface(&ui);
        put("x", "data");
    }
    void TearDown() override { UpdateMessageBox::resetTestHook(); }
    QString host() const { return home.path("host"); }
    void put(const QString& name, const QByteArray& bytes) {
        QFile file(host() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray files() const {
        return "[files]\ncount=1\n[file1]\nurl=" + (host() + "/x").toUtf8() + "\n";
    }
    QStringList staged() const {
        return QDir(home.home() + "/.cache/tervan/tmp").entryList(QDir::Files);
    }

    CoreTestHome home;
    TestableAutoUpdate update;
    DesktopUpdateUserInterface ui;
};

} // namespace

TEST_F(DesktopRunTest, AMessageShowsItsLinesInOneBoxAndAQueryAnsweredNoFetchesNothing) {
    put("update1.txt", "[application]\nappupdate=1\nappname=zarq\nappcomps=x\n"
                       "[action]\nmsg=line one\\nline two\nquery=Update?\n" +
                           files());
    UpdateMessageBox::queueAnswers({true, false});
    update.RunUpdate(false);
    const QList<UpdateMessageBox::Shown> boxes = UpdateMessageBox::shownBoxes();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].kind, UpdateMessageBox::Kind::Information);
    EXPECT_EQ(boxes[0].caption, "Information");
    EXPECT_EQ(boxes[0].text, "line one\nline two");
    EXPECT_EQ(boxes[1].kind, UpdateMessageBox::Kind::Query);
    EXPECT_EQ(boxes[1].text, "Update?");
    EXPECT_EQ(staged(), QStringList());
    EXPECT_FALSE(update.numbers().contains(943));
    EXPECT_EQ(update.restarts, 0);
}

TEST_F(DesktopRunTest, NewsClosedByItsCloseBoxIsDeclinedWith938) {
    put("news.txt", "what changed\n");
    put("update1.txt", "[whatsnew]\nfile=" + (host() + "/news.txt").toUtf8() +
                           "\ncaption=What is new\n" + files());
    QString shownText, shownTitle;
    whenShown([&](QWidget* w) {
        auto* d = qobject_cast<UpdateTextDialog*>(w);
        shownTitle = d->windowTitle();
        shownText = d->Memo->toPlainText();
        d->close();
    });
    update.RunUpdate(false);
    EXPECT_EQ(shownTitle, "What is new");
    EXPECT_EQ(shownText, "what changed");
    const TestableAutoUpdate::Message* declined = update.find(938);
    ASSERT_NE(declined, nullptr);
    EXPECT_EQ(declined->text, "Whatsnew not accepted");
    EXPECT_FALSE(update.numbers().contains(943));
    EXPECT_EQ(staged(), QStringList());
}

TEST_F(DesktopRunTest, ALicenceClosedWithIAcceptSelectedIsAccepted) {
    put("licence.txt", "terms\n");
    put("update1.txt", "[eula]\nfile=" + (host() + "/licence.txt").toUtf8() + "\n" + files());
    whenShown([](QWidget* w) {
        auto* d = qobject_cast<UpdateTextDialog*>(w);
        d->AcceptChoice->click();
        d->close();
    });
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(943));
    EXPECT_TRUE(staged().contains("x"));
}
