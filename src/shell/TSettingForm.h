#pragma once

#include "shell/AutostartStore.h"

#include <QDialog>
#include <QString>

#include <memory>

class QCheckBox;
class QPushButton;

namespace zarq {

class TAutoRunner;
class TAutoUpdate;
class DesktopUpdateUserInterface;

// Where the settings dialog keeps things. The program uses standard(); tests point every
// member at a temporary folder.
struct SettingFormEnvironment {
    QString registryFile; // the settings store's file (RegistryStore::defaultFilePath())
    AutostartDirs autostart;
    QString programPath; // the path written into the start-up entry
    // The update control file's URL; empty: no update run at creation (tests).
    QString updateUrl;

    static SettingFormEnvironment standard(const QString& updateUrl);
};

// The settings dialog "系统设置" with its one setting, "开机自动启动" (start at log-in).
//
// The main window creates it once, as its child, during its own creation, and keeps it for
// the whole run; its "系统设置" button shows it with exec(). Creation loads the setting
// (loadsetting) and then starts the update check: `AutoUpdate1`'s threaded run, which begins
// once the event loop runs and never blocks the window for longer than one step of a transfer
// (builds with ZARQ_SELF_UPDATE off, for packages whose files the package manager owns, start
// none). A failure of loadsetting (a stored
// "autorun" that is not an integer, an unreadable settings file) is shown in the
// application's error box; the dialog is still created, without the update check.
//
// The only way out of the dialog is "确 定" (SkinButton1Click): it saves the setting and
// closes with QDialog::Accepted. Escape and the window's close request are refused. When
// saving fails, the error box shows the failure and the dialog stays open. Later showings
// show the check box as last left.
//
// Settings store: "autorun" (32-bit integer, 1 on, 0 off; any non-zero reads as on) under
// "software\tervan\zarq" of the per-user store.
class TSettingForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettingForm(QWidget* parent = nullptr);
    TSettingForm(QWidget* parent, SettingFormEnvironment environment);

    QCheckBox* Checkbox1 = nullptr;
    QPushButton* SkinButton1 = nullptr;
    TAutoRunner* AutoRunner1 = nullptr;
    TAutoUpdate* AutoUpdate1 = nullptr;

    // Reads "autorun" into Checkbox1. First start (no value): checks the box, turns AutoRun on
    // (writes the start-up entry) and saves. Then a checked box whose entry is missing gets
    // the entry written again. An unchecked box never removes an existing entry.
    // Throws ERegistryException.
    void loadsetting();
    // Stores Checkbox1 as "autorun" and keeps the start-up entry in line: checked and no
    // entry -> written; unchecked -> removed. Throws ERegistryException ("Failed to set data
    // for 'autorun'") when the store refuses.
    void savesetting();

    // Whether creation reached the start of the update check (it does not after a failed
    // loadsetting).
    bool updateCheckRequested() const { return m_updateCheckRequested; }

    // AutoUpdate1's restart notice: a plain box saying that the program was brought to the
    // newest version and must run again; the restart is allowed once it is closed.
    void AutoUpdate1AppRestart(TAutoUpdate* Sender, bool& Allow);

public slots:
    void SkinButton1Click();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void startUpdateCheck();

    SettingFormEnvironment m_environment;
    bool m_updateCheckRequested = false;
    // AutoUpdate1's boxes and dialogs; lives as long as the dialog.
    std::shared_ptr<DesktopUpdateUserInterface> m_updateInterface;
};

} // namespace zarq
