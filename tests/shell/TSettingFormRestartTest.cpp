// The settings dialog's answer to AutoUpdate1's restart notice, and the plain box it shows.

#include "AutostartFixture.h"
#include "shell/TSettingForm.h"
#include "shell/TSkinMessage.h"
#include "update/TAutoUpdate.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace zarq;

namespace {

class TSettingFormRestartTest : public AutostartFixture {
protected:
    void SetUp() override {
        AutostartFixture::SetUp();
        TSkinMessage::resetTestHook();
    }
    void TearDown() override { TSkinMessage::resetTestHook(); }
    std::unique_ptr<TSettingForm> create() {
        return std::make_unique<TSettingForm>(
            nullptr,
            SettingFormEnvironment{tmp.filePath("config/tervan/zarq.reg"), dirs, program, {}});
    }
};

TEST_F(TSettingFormRestartTest, AutoUpdate1ShowsTheRestartNoticeAndAllowsTheRestart) {
    TSkinMessage::queueAnswers({TSkinMessage::OK});
    auto form = create();
    ASSERT_TRUE(form->AutoUpdate1->OnAppRestart);
    bool allow = false;
    form->AutoUpdate1->OnAppRestart(form->AutoUpdate1, allow);

    EXPECT_TRUE(allow);
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, TSkinMessage::Kind::Plain);
    EXPECT_EQ(shown[0].caption, "TERVAN 蓝杉果动态域名客户端");
    // The forced run compares no versions, so the two halves meet.
    EXPECT_EQ(shown[0].text, "温馨提示：本软件已升级至最新版本，需要重新运行后才能继续使用!");
}

TEST_F(TSettingFormRestartTest, ThePlainBoxHasTheTitleTheTextAndOneOkWithoutAPicture) {
    QString caption, text;
    QStringList buttons;
    bool picture = true;
    bool seen = false;
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [&, poll] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, *poll);
            return;
        }
        seen = true;
        caption = box->windowTitle();
        text = box->text();
        for (auto* b : box->findChildren<QPushButton*>())
            buttons << b->text();
        picture = !box->iconPixmap().isNull();
        QTest::keyClick(box, Qt::Key_Escape);
    };
    QTimer::singleShot(0, *poll);
    TSkinMessage::showPlain("第一行\n第二行");
    *poll = nullptr; // the poll holds itself; without this it would never be freed
    EXPECT_TRUE(seen);
    EXPECT_EQ(caption, "TERVAN 蓝杉果动态域名客户端");
    EXPECT_EQ(text, "第一行\n第二行");
    EXPECT_EQ(buttons, QStringList{"OK"});
    EXPECT_FALSE(picture);
}

} // namespace
