#include "AutostartFixture.h"
#include "shell/TSettingForm.h"
#include "shell/TSkinMessage.h"
#include "update/TAutoUpdate.h"
#include "update/widgets/DesktopUpdateUserInterface.h"

using namespace zarq;

// AutoUpdate1 asks the person at the desktop, not the headless answers that decline.
TEST_F(AutostartFixture, AutoUpdate1AsksThroughTheDesktopDialogs) {
    TSkinMessage::resetTestHook();
    TSkinMessage::queueAnswers({});
    TSettingForm form(nullptr, SettingFormEnvironment{tmp.filePath("config/tervan/zarq.reg"), dirs,
                                                      program, QString()});
    EXPECT_NE(dynamic_cast<DesktopUpdateUserInterface*>(&form.AutoUpdate1->UserInterface()),
              nullptr);
    TSkinMessage::resetTestHook();
}
