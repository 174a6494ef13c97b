#include "shell/TSkinMessage.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

class TSkinMessageTest : public testing::Test {
protected:
    void SetUp() override { TSkinMessage::resetTestHook(); }
    void TearDown() override { TSkinMessage::resetTestHook(); }
    TSkinMessage box;
};

TEST_F(TSkinMessageTest, QueuedAnswersAreTakenInOrderWithoutShowingABox) {
    TSkinMessage::queueAnswers({1, 2});
    TSkinMessage::queueAnswers({1});
    EXPECT_EQ(box.question("first"), 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(box.question("second"), 2);
    EXPECT_EQ(TSkinMessage::pendingAnswers(), 1);
    TSkinMessage::showApplicationError("boom");
    EXPECT_EQ(TSkinMessage::pendingAnswers(), 0);
    EXPECT_EQ(box.question("third, no answer left"), TSkinMessage::Cancel);

    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0].kind, TSkinMessage::Kind::Question);
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].text, "first");
    EXPECT_EQ(shown[1].answer, 2);
    EXPECT_EQ(shown[2].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_EQ(shown[2].caption, "TERVAN 蓝杉果动态域名客户端");
    EXPECT_EQ(shown[3].answer, TSkinMessage::Cancel);
}

TEST_F(TSkinMessageTest, AnAnswererCanOpenABoxWhileAnotherIsOpen) {
    int depth = 0;
    TSkinMessage::setAnswerer([&](const TSkinMessage::Shown& s) {
        if (s.text == "outer") {
            ++depth;
            EXPECT_EQ(box.question("inner"), 1);
            --depth;
            return 2;
        }
        EXPECT_EQ(depth, 1);
        return 1;
    });
    EXPECT_EQ(box.question("outer"), 2);
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].text, "inner");
    EXPECT_EQ(shown[1].text, "outer");
}

// The real box, answered the way a user would, from inside its own event loop.
class RealBox : public TSkinMessageTest {
protected:
    // Runs `act` on the box once it is open; returns the answer.
    int askAndThen(std::function<void(QMessageBox*)> act) {
        QMessageBox* seen = nullptr;
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [&, poll] {
            auto* mb = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!mb) {
                QTimer::singleShot(10, *poll);
                return;
            }
            seen = mb;
            caption = mb->windowTitle();
            text = mb->text();
            for (auto* b : mb->findChildren<QPushButton*>())
                buttons << b->text();
            defaultIsOk = mb->defaultButton() && mb->defaultButton()->text() == "OK";
            hasIcon = !mb->iconPixmap().isNull();
            act(mb);
        };
        QTimer::singleShot(0, *poll);
        const int answer = box.question("是否重试...");
        *poll = nullptr; // the poll holds itself; without this it would never be freed
        EXPECT_NE(seen, nullptr);
        return answer;
    }
    QString caption, text;
    QStringList buttons;
    bool defaultIsOk = false;
    bool hasIcon = false;
};

TEST_F(RealBox, IsAnErrorBoxWithOkAndCancel) {
    EXPECT_EQ(askAndThen([](QMessageBox* mb) { QTest::keyClick(mb, Qt::Key_Return); }), 1);
    EXPECT_EQ(caption, "Error");
    EXPECT_EQ(text, "是否重试...");
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({"Cancel", "OK"}));
    EXPECT_TRUE(defaultIsOk);
    EXPECT_TRUE(hasIcon);
}

TEST_F(RealBox, OnlyOkAnswersOne) {
    struct Case {
        const char* name;
        std::function<void(QMessageBox*)> act;
        int answer;
    };
    const Case cases[] = {
        {"click OK",
         [](QMessageBox* mb) {
             for (auto* b : mb->findChildren<QPushButton*>())
                 if (b->text() == "OK")
                     b->click();
         },
         1},
        {"click Cancel",
         [](QMessageBox* mb) {
             for (auto* b : mb->findChildren<QPushButton*>())
                 if (b->text() == "Cancel")
                     b->click();
         },
         2},
        {"Escape", [](QMessageBox* mb) { QTest::keyClick(mb, Qt::Key_Escape); }, 2},
        {"close", [](QMessageBox* mb) { mb->close(); }, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(askAndThen(c.act), c.answer) << c.name;
}

} // namespace
