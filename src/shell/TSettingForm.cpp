#include "shell/TSettingForm.h"

#include "platform/ProgramPath.h"
#include "platform/RegistryStore.h"
#include "platform/ZarqConfig.h"
#include "shell/TAutoRunner.h"
#include "shell/TSkinMessage.h"
#include "update/AutoUpdateConfiguration.h"
#include "update/RestartMessage.h"
#include "update/TAutoUpdate.h"
#include "update/widgets/DesktopUpdateUserInterface.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace zarq {

namespace {
const QString kSettingsKey = QStringLiteral("software\\tervan\\zarq");
const QString kAutorun = QStringLiteral("autorun");
// The dialog was laid out as 279 x 123 pixels at 120 dots per inch.
constexpr QSize kClientSize(279 * 96 / 120, 123 * 96 / 120);
} // namespace

SettingFormEnvironment SettingFormEnvironment::standard(const QString& updateUrl) {
    return {RegistryStore::defaultFilePath(), AutostartDirs::standard(), ProgramPath::launcher(),
            updateUrl};
}

TSettingForm::TSettingForm(QWidget* parent)
    : TSettingForm(parent, SettingFormEnvironment::standard(
                               QString::fromUtf8(ZarqConfig::fromEnvironment(nullptr).updateUrl))) {
}

TSettingForm::TSettingForm(QWidget* parent, SettingFormEnvironment environment)
    : QDialog(parent), m_environment(std::move(environment)) {
    setObjectName(QStringLiteral("SettingForm"));
    setWindowTitle(QStringLiteral("系统设置"));
    // A title bar without buttons: "确 定" is the only way out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Checkbox1 = new QCheckBox(QStringLiteral("开机自动启动"), this);
    Checkbox1->setObjectName(QStringLiteral("Checkbox1"));
    Checkbox1->setChecked(true);
    SkinButton1 = new QPushButton(QStringLiteral("确 定"), this);
    SkinButton1->setObjectName(QStringLiteral("SkinButton1"));
    SkinButton1->setDefault(true);
    connect(SkinButton1, &QPushButton::clicked, this, &TSettingForm::SkinButton1Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SkinButton1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Checkbox1);
    layout->addStretch();
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(kClientSize));

    AutoRunner1 = new TAutoRunner(this, AutostartStore(m_environment.autostart));
    AutoRunner1->setObjectName(QStringLiteral("AutoRunner1"));
    AutoRunner1->setProgramPath(m_environment.programPath);
    AutoRunner1->setRegLocation(TRegLocation::CurrentUser);
    AutoRunner1->setAutoRunWhere(TAutoRunWhere::Run);
    AutoRunner1->setAutoRun(false);
    AutoRunner1->setAppName(QStringLiteral("TervanZarq"));
    AutoRunner1->Loaded();

    AutoUpdate1 = new TAutoUpdate(this);
    AutoUpdate1->setObjectName(QStringLiteral("AutoUpdate1"));
    AutoUpdateConfiguration::apply(*AutoUpdate1, m_environment.updateUrl);
    m_updateInterface = std::make_shared<DesktopUpdateUserInterface>();
    AutoUpdate1->SetUserInterface(m_updateInterface.get());
    AutoUpdate1->OnAppRestart = [this](TAutoUpdate* Sender, bool& Allow) {
        AutoUpdate1AppRestart(Sender, Allow);
    };

    FormCreate();
}

void TSettingForm::FormCreate() {
    try {
        loadsetting();
    } catch (const ERegistryException& e) {
        TSkinMessage::showApplicationError(e.message(), this);
        return;
    }
    startUpdateCheck();
}

void TSettingForm::startUpdateCheck() {
    m_updateCheckRequested = true;
#if ZARQ_SELF_UPDATE
    if (!m_environment.updateUrl.isEmpty())
        AutoUpdate1->StartThreadedUpdate();
#endif
}

void TSettingForm::loadsetting() {
    RegistryStore store(m_environment.registryFile);
    // A key that cannot be opened or created reads as a first start; saving then reports why.
    const bool open = store.OpenKey(kSettingsKey, true);
    // An entry switched off in the desktop's own settings is the user's answer: the box shows
    // it off and the program does not write it back on, whatever "autorun" says.
    const bool switchedOff = AutoRunner1->SwitchedOffByUser();
    if (open && store.ValueExists(kAutorun)) {
        const bool on = store.ReadInteger(kAutorun) != 0;
        Checkbox1->setChecked(on && !switchedOff);
    } else {
        Checkbox1->setChecked(!switchedOff);
        if (!switchedOff)
            AutoRunner1->setAutoRun(true);
        savesetting();
    }
    if (Checkbox1->isChecked() && !AutoRunner1->AutoRun())
        AutoRunner1->setAutoRun(true);
    store.CloseKey();
}

void TSettingForm::savesetting() {
    RegistryStore store(m_environment.registryFile);
    if (!store.OpenKey(kSettingsKey, true))
        throw ERegistryException::failedToSet(
            kAutorun, QStringLiteral("cannot open or create %1").arg(store.filePath()));
    if (Checkbox1->isChecked()) {
        store.WriteInteger(kAutorun, 1);
        if (!AutoRunner1->AutoRun())
            AutoRunner1->setAutoRun(true);
    } else {
        store.WriteInteger(kAutorun, 0);
        AutoRunner1->setAutoRun(false);
    }
    store.CloseKey();
}

void TSettingForm::AutoUpdate1AppRestart(TAutoUpdate* Sender, bool& Allow) {
    TSkinMessage::showPlain(RestartMessage::text(Sender->NewVersion()), this);
    Allow = true;
}

void TSettingForm::SkinButton1Click() {
    try {
        savesetting();
    } catch (const ERegistryException& e) {
        TSkinMessage::showApplicationError(e.message(), this);
        return;
    }
    accept();
}

void TSettingForm::reject() {
    // Escape does not leave the dialog; only "确 定" does.
}

void TSettingForm::closeEvent(QCloseEvent* event) {
    event->ignore();
}

} // namespace zarq
