#include "session/SessionWatch.h"

#include "platform/RegistryStore.h"
#include "session/LoginSettings.h"

namespace zarq {

SessionWatch::SessionWatch(SessionProtocol& session, QObject* parent)
    : QObject(parent), m_reaction(session) {
    connect(&m_network, &NetworkChangeWatcher::changed, this, [this] {
        emit networkChanged();
        m_reaction.networkChanged();
    });
    connect(&m_resume, &ResumeWatcher::resumed, this, [this] {
        emit resumed();
        m_reaction.resumed();
    });
}

bool SessionWatch::savedSwitch(RegistryStore& registry) {
    try {
        if (!registry.OpenKey(QString::fromLatin1(LoginSettings::kRegistryKey), false) ||
            registry.GetDataType(QStringLiteral("WatchNetwork")) == 0)
            return true;
        const bool on = registry.ReadInteger(QStringLiteral("WatchNetwork")) != 0;
        registry.CloseKey();
        return on;
    } catch (const std::exception&) {
        // A settings file that cannot be used is reported by the login's own load; watching
        // stays at its default here.
        return true;
    }
}

QString SessionWatch::start() {
    m_resume.start();
    return m_network.start() ? QString() : m_network.error();
}

} // namespace zarq
