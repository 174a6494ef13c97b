#pragma once

#include "shell/AutoRunTypes.h"
#include "shell/AutostartStore.h"

#include <QObject>
#include <QString>

namespace zarq {

// Keeps the program's start-at-log-in entry in line with the `AutoRun` setting (the settings
// dialog's `AutoRunner1`). The entry is an XDG autostart desktop entry named after `AppName`
// (see AutostartStore): under the current user's autostart folder for `CurrentUser`, under
// the machine's for `LocalMachine`; its Exec is the program's full path.
//
// Life cycle. The component is "loading" from construction until Loaded(): configure it in
// that window (RegLocation, AutoRunWhere, then AppName, which runs DetectRegistration()),
// then call Loaded(). While loading, setting AutoRun does nothing and nothing is written;
// once loaded, setting AutoRun or RegLocation rewrites the entry through UpdateRegistry().
//
//   auto* runner = new TAutoRunner(this, AutostartStore(dirs));
//   runner->setRegLocation(TRegLocation::CurrentUser);
//   runner->setAutoRunWhere(TAutoRunWhere::Run);
//   runner->setAppName("TervanZarq");   // reads back which entry exists
//   runner->Loaded();
//   runner->setAutoRun(true);           // writes the entry (failures are swallowed)
class TAutoRunner : public QObject {
    Q_OBJECT
public:
    explicit TAutoRunner(QObject* parent = nullptr, AutostartStore store = AutostartStore());

    bool isLoading() const { return m_loading; }
    void Loaded() { m_loading = false; }

    TRegLocation RegLocation() const { return m_regLocation; }
    void setRegLocation(TRegLocation location);

    TAutoRunWhere AutoRunWhere() const { return m_autoRunWhere; }
    void setAutoRunWhere(TAutoRunWhere where);

    bool AutoRun() const { return m_autoRun; }
    void setAutoRun(bool on);

    QString AppName() const { return m_appName; }
    // Only while loading: stores the name and runs DetectRegistration().
    void setAppName(const QString& name);

    // "\Software\Microsoft\Windows\CurrentVersion\" + the AutoRunWhere list's name.
    QString KeyPath() const { return m_keyPath; }

    // Looks for the entry under the current user, then the machine; sets RegLocation to where
    // it was found and AutoRun to whether it was found. Writes nothing.
    void DetectRegistration();

    // Whether DetectRegistration found the entry switched off in the desktop's own settings
    // (Hidden=true or X-GNOME-Autostart-enabled=false). That is the user's "off": AutoRun
    // reads false, and the program must not turn it back on unless the user asks it to.
    // Cleared once this component writes an enabled entry.
    bool SwitchedOffByUser() const { return m_switchedOffByUser; }

    // Removes the entry `AppName` from both places, then, when AutoRun is on, writes the entry
    // `name` under `location`. When AutoRun is off and the machine-wide entry could not be
    // removed, a disabled current-user entry turns it off for this user. Failures (no rights under
    // the machine folder, for instance) are swallowed: the start-up entry is a convenience that
    // must never stop the program. Does nothing while loading.
    void UpdateRegistry(TRegLocation location, const QString& name);

    // The path written into the entry: the running program's file by default.
    QString programPath() const { return m_programPath; }
    void setProgramPath(const QString& path) { m_programPath = path; }

    const AutostartStore& store() const { return m_store; }

private:
    void CheckRunWhere();

    AutostartStore m_store;
    bool m_loading = true;
    TRegLocation m_regLocation = TRegLocation::CurrentUser;
    TAutoRunWhere m_autoRunWhere = TAutoRunWhere::Run;
    bool m_autoRun = false;
    bool m_switchedOffByUser = false;
    QString m_appName = QStringLiteral("MyApplication");
    QString m_keyPath;
    QString m_programPath;
};

} // namespace zarq
