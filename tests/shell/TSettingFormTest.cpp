#include "shell/TSettingForm.h"
#include "AutostartFixture.h"
#include "platform/RegistryStore.h"
#include "shell/TAutoRunner.h"
#include "shell/TSkinMessage.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace zarq;

namespace {

const QString kKey = QStringLiteral("software\\tervan\\zarq");

class SettingFormFixture : public AutostartFixture {
protected:
    void SetUp() override {
        AutostartFixture::SetUp();
        if (!machineWritable())
            blockMachineFolder();
        registryFile = tmp.filePath("config/tervan/zarq.reg");
        TSkinMessage::resetTestHook();
        TSkinMessage::queueAnswers({}); // arm: an error box must never block a test
    }
    void TearDown() override { TSkinMessage::resetTestHook(); }

    std::unique_ptr<TSettingForm> create() {
        return std::make_unique<TSettingForm>(
            nullptr, SettingFormEnvironment{registryFile, dirs, program, QString()});
    }
    void storeAutorun(int value) {
        RegistryStore s(registryFile);
        ASSERT_TRUE(s.OpenKey(kKey, true));
        s.WriteInteger("autorun", value);
    }
    int storedAutorun() {
        RegistryStore s(registryFile);
        EXPECT_TRUE(s.OpenKey(kKey, false));
        return s.ValueExists("autorun") ? s.ReadInteger("autorun") : -1;
    }
    void confirm(TSettingForm& form, bool checked) {
        form.show();
        form.Checkbox1->setChecked(checked);
        form.SkinButton1->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    virtual bool machineWritable() const { return true; }

    QString registryFile;
};

// Every case runs twice: with a writable machine folder and with one that cannot be written.
class TSettingFormTest : public SettingFormFixture, public testing::WithParamInterface<bool> {
protected:
    bool machineWritable() const override { return GetParam(); }
};

TEST_P(TSettingFormTest, FirstStartTurnsItOnAndWritesTheEntry) {
    auto form = create();
    EXPECT_TRUE(form->Checkbox1->isChecked());
    EXPECT_EQ(storedAutorun(), 1);
    EXPECT_EQ(read(TRegLocation::CurrentUser), program);
    EXPECT_FALSE(QFile::exists(machineFile()));
    EXPECT_TRUE(form->updateCheckRequested());
    EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty());
    EXPECT_EQ(form->windowTitle(), "系统设置");
    EXPECT_EQ(form->Checkbox1->text(), "开机自动启动");
    EXPECT_EQ(form->SkinButton1->text(), "确 定");
}

TEST_P(TSettingFormTest, OnWithTheEntryGoneWritesItAgain) {
    storeAutorun(1);
    auto form = create();
    EXPECT_TRUE(form->Checkbox1->isChecked());
    EXPECT_EQ(read(TRegLocation::CurrentUser), program);
}

TEST_P(TSettingFormTest, AnyNonZeroValueReadsAsOn) {
    storeAutorun(7);
    plant(TRegLocation::CurrentUser);
    auto form = create();
    EXPECT_TRUE(form->Checkbox1->isChecked());
    EXPECT_EQ(storedAutorun(), 7); // loading alone stores nothing
}

TEST_P(TSettingFormTest, OffLeavesAnEntryAloneUntilConfirmed) {
    storeAutorun(0);
    plant(TRegLocation::CurrentUser);
    auto form = create();
    EXPECT_FALSE(form->Checkbox1->isChecked());
    EXPECT_EQ(read(TRegLocation::CurrentUser), "/old/place/zarq");
    confirm(*form, false);
    EXPECT_FALSE(QFile::exists(userFile()));
    EXPECT_EQ(storedAutorun(), 0);
}

TEST_P(TSettingFormTest, ConfirmingOnWithAnEntryRewritesNothing) {
    storeAutorun(1);
    plant(TRegLocation::CurrentUser, "/moved/away/zarq");
    auto form = create();
    confirm(*form, true);
    EXPECT_EQ(read(TRegLocation::CurrentUser), "/moved/away/zarq");
    EXPECT_EQ(storedAutorun(), 1);
}

TEST_P(TSettingFormTest, TurningOffAndOnAgain) {
    auto form = create();
    confirm(*form, false);
    EXPECT_EQ(read(TRegLocation::CurrentUser), "");
    EXPECT_EQ(storedAutorun(), 0);
    confirm(*form, true);
    EXPECT_EQ(read(TRegLocation::CurrentUser), program);
    EXPECT_EQ(storedAutorun(), 1);
}

// What the desktops' own start-up settings leave behind when the user turns an entry off.
QByteArray switchedOffEntry(const char* offLine) {
    return QByteArray("[Desktop Entry]\nType=Application\nName=TERVAN\n"
                      "Exec=/old/place/zarq\n") +
           offLine + "\nX-GNOME-Autostart-Delay=10\n";
}

TEST_P(TSettingFormTest, AnEntrySwitchedOffInTheDesktopStaysOffAndShowsOff) {
    struct Case {
        const char* offLine;
        int storedAutorun; // -1: first start, no stored value
    };
    const Case cases[] = {
        {"X-GNOME-Autostart-enabled=false", 1},
        {"X-GNOME-Autostart-enabled=false", -1},
        {"Hidden=true", 1},
        {"Hidden=true", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.offLine) + " autorun " + std::to_string(c.storedAutorun));
        QFile::remove(registryFile);
        ASSERT_TRUE(QDir().mkpath(dirs.currentUser));
        const QByteArray entry = switchedOffEntry(c.offLine);
        {
            QFile f(userFile());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(entry);
        }
        if (c.storedAutorun >= 0)
            storeAutorun(c.storedAutorun);
        auto form = create();
        EXPECT_FALSE(form->Checkbox1->isChecked());
        EXPECT_FALSE(form->AutoRunner1->AutoRun());
        QFile f(userFile());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), entry);
        EXPECT_EQ(storedAutorun(), c.storedAutorun < 0 ? 0 : c.storedAutorun);
        EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty());

        // The user's own choice in the dialog turns it on again.
        confirm(*form, true);
        EXPECT_EQ(read(TRegLocation::CurrentUser), program);
        EXPECT_EQ(storedAutorun(), 1);
        QFile::remove(userFile());
    }
}

TEST_F(SettingFormFixture, AMachineWideEntryIsKeptMachineWide) {
    storeAutorun(1);
    plant(TRegLocation::LocalMachine);
    auto form = create();
    EXPECT_EQ(form->AutoRunner1->RegLocation(), TRegLocation::LocalMachine);
    EXPECT_TRUE(form->AutoRunner1->AutoRun());
    EXPECT_FALSE(QFile::exists(userFile()));
    confirm(*form, false);
    EXPECT_FALSE(QFile::exists(machineFile()));
    EXPECT_FALSE(QFile::exists(userFile()));
    confirm(*form, true);
    EXPECT_EQ(read(TRegLocation::LocalMachine), program);
    EXPECT_FALSE(QFile::exists(userFile()));
}

TEST_P(TSettingFormTest, AStoredValueOfTheWrongTypeIsReportedAndSkipsTheUpdateCheck) {
    {
        RegistryStore s(registryFile);
        ASSERT_TRUE(s.OpenKey(kKey, true));
        s.WriteString("autorun", "yes");
    }
    auto form = create();
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, TSkinMessage::Kind::ApplicationError);
    EXPECT_EQ(shown[0].caption, "TERVAN 蓝杉果动态域名客户端");
    EXPECT_EQ(shown[0].text, "Invalid data type for 'autorun'");
    EXPECT_FALSE(form->updateCheckRequested());
}

TEST_P(TSettingFormTest, ARefusedSaveIsReportedAndTheDialogStaysOpen) {
    auto form = create();
    form->show();
    // Replace the settings folder by a regular file: the store can no longer be written.
    const QString folder = QFileInfo(registryFile).absolutePath();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    form->Checkbox1->setChecked(false);
    form->SkinButton1->click();
    const auto shown = TSkinMessage::shownBoxes();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Failed to set data for 'autorun'");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(read(TRegLocation::CurrentUser), program); // nothing half-done
}

TEST_P(TSettingFormTest, OnlyTheButtonLeavesTheDialog) {
    auto form = create();
    form->show();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    form->SkinButton1->click();
    EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(MachineFolder, TSettingFormTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Writable")
                                               : std::string("Unwritable");
                         });

} // namespace
