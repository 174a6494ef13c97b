#include "shell/TAutoRunner.h"

#include "platform/ProgramPath.h"

namespace zarq {

namespace {

QString listName(TAutoRunWhere where) {
    switch (where) {
    case TAutoRunWhere::Run:
        return QStringLiteral("Run");
    case TAutoRunWhere::RunOnce:
        return QStringLiteral("RunOnce");
    case TAutoRunWhere::RunServices:
        return QStringLiteral("RunServices");
    case TAutoRunWhere::RunServicesOnce:
        return QStringLiteral("RunServicesOnce");
    }
    return QStringLiteral("Run");
}

const QString kKeyBase = QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\");

} // namespace

TAutoRunner::TAutoRunner(QObject* parent, AutostartStore store)
    : QObject(parent), m_store(std::move(store)),
      m_keyPath(kKeyBase + listName(TAutoRunWhere::Run)), m_programPath(ProgramPath::launcher()) {}

void TAutoRunner::setAutoRun(bool on) {
    if (on == m_autoRun || m_loading)
        return;
    m_autoRun = on;
    CheckRunWhere();
    UpdateRegistry(m_regLocation, m_appName);
}

void TAutoRunner::setRegLocation(TRegLocation location) {
    if (location == m_regLocation)
        return;
    UpdateRegistry(location, m_appName);
    m_regLocation = location;
    CheckRunWhere();
}

void TAutoRunner::setAutoRunWhere(TAutoRunWhere where) {
    if (where == m_autoRunWhere)
        return;
    m_autoRunWhere = where;
    CheckRunWhere();
    m_keyPath = kKeyBase + listName(m_autoRunWhere);
}

void TAutoRunner::setAppName(const QString& name) {
    if (!m_loading)
        return;
    m_appName = name;
    DetectRegistration();
}

void TAutoRunner::CheckRunWhere() {
    // The services lists exist only machine-wide.
    if (m_regLocation == TRegLocation::CurrentUser &&
        (m_autoRunWhere == TAutoRunWhere::RunServices ||
         m_autoRunWhere == TAutoRunWhere::RunServicesOnce))
        m_autoRunWhere = TAutoRunWhere::Run;
}

void TAutoRunner::DetectRegistration() {
    bool found = !m_store.readValue(TRegLocation::CurrentUser, m_keyPath, m_appName).isEmpty();
    if (found) {
        m_regLocation = TRegLocation::CurrentUser;
    } else {
        found = !m_store.readValue(TRegLocation::LocalMachine, m_keyPath, m_appName).isEmpty();
        if (found)
            m_regLocation = TRegLocation::LocalMachine;
    }
    m_autoRun = found;
    m_switchedOffByUser = !found && m_store.isSwitchedOff(m_keyPath, m_appName);
}

void TAutoRunner::UpdateRegistry(TRegLocation location, const QString& name) {
    if (m_loading)
        return;
    // Every step may fail (a missing folder, no rights under /etc); a start-up entry that
    // cannot be changed is not worth an error box, so the results are deliberately ignored.
    m_store.deleteValue(TRegLocation::CurrentUser, m_keyPath, m_appName);
    m_store.deleteValue(TRegLocation::LocalMachine, m_keyPath, m_appName);
    if (m_autoRun) {
        if (m_store.writeValue(location, m_keyPath, name, m_programPath))
            m_switchedOffByUser = false;
    } else if (!m_store.readValue(TRegLocation::LocalMachine, m_keyPath, m_appName).isEmpty()) {
        // The machine-wide entry could not be removed (no rights under /etc): turn it off for
        // this user with a disabled entry of the same name, so "off" really means off.
        m_store.writeMask(m_keyPath, m_appName);
    }
}

} // namespace zarq
