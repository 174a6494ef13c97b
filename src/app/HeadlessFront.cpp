#include "app/HeadlessFront.h"

#include "app/LogLine.h"
#include "http/EHttpException.h"
#include "http/THttpClient.h"
#include "platform/TextCodec.h"
#include "session/LoginName.h"
#include "session/LoginSettings.h"
#include "session/SessionNotice.h"

#include <QCoreApplication>

namespace zarq {

HeadlessFront::HeadlessFront(Options options, FILE* log)
    : m_options(std::move(options)), m_log(log),
      m_boxes(LoginBoxes::designState(m_options.config.parentZone)),
      m_registry(m_options.settingsPath), m_retryMs(m_options.firstRetryMs) {
    m_session = std::make_unique<SessionProtocol>(m_boxes, m_options.config.echoHost,
                                                  m_options.config.apiHost);
    m_session->setHeartbeatInterval(m_options.heartbeatMs);
    if (m_options.httpTimeoutMs > 0) {
        m_session->HttpClient1().setTimeoutMs(unsigned(m_options.httpTimeoutMs));
        m_session->setSignOutTimeoutMs(unsigned(m_options.httpTimeoutMs));
    }
    m_session->GetLanAddress = m_options.getLanAddress;
    m_session->GetBrowserUserAgent = m_options.getBrowserUserAgent;
    // Queued: it arrives after every notice the finished operation posted.
    connect(m_session.get(), &SessionProtocol::operationFinished, this,
            &HeadlessFront::onOperationFinished, Qt::QueuedConnection);
    m_timer2.setSingleShot(true);
    m_timer2.setInterval(m_options.autoLoginDelayMs);
    connect(&m_timer2, &QTimer::timeout, this, &HeadlessFront::autoLoginTick);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (!m_stopRequested && !m_finishing)
            m_session->gotologin();
    });
}

HeadlessFront::~HeadlessFront() = default;

void HeadlessFront::say(const QString& line) {
    writeLogLine(m_log, line);
}

QString HeadlessFront::text(const QByteArray& cp936) const {
    return TextCodec::fromCp936(cp936);
}

bool HeadlessFront::start() {
    SessionState& state = m_session->state();
    state.MainHandle = this;
    state.PublicIP = "0.0.0.0";
    try {
        LoginSettings::loadsetting(m_registry, m_boxes, state.LoginKey);
    } catch (const ERegistryException& e) {
        say(e.message());
        reportLoadFailure(e);
        m_exitStatus = ExitError;
        return false;
    }
    if (const QString why = m_registry.unreadableReason(); !why.isEmpty()) {
        // Not "nothing saved": the login may well be in there, and the user must hear why it
        // is not used.
        say(QStringLiteral("the settings file %1 cannot be read (%2); nothing is signed in")
                .arg(m_registry.filePath(), why));
        say(QStringLiteral("make it a readable file of this user, or remove it and save the "
                           "login again with \"zarq --set-login NAME --password-stdin\""));
        m_exitStatus = ExitError;
        return false;
    }
    if (const QString why = LoginName::problem(m_boxes.Edit1); !why.isEmpty()) {
        say(QStringLiteral("the saved name \"%1\" cannot be used: %2, which would break the "
                           "sign-in request; nothing is sent")
                .arg(LoginName::shown(m_boxes.Edit1), why));
        say(QStringLiteral("save a name without blanks, control characters, \"&\", \"?\", \"#\" "
                           "or \"/\" with \"zarq --set-login NAME --password-stdin\""));
        m_exitStatus = ExitError;
        return false;
    }
    m_session->assignUserAgent();
    if (m_options.watch && SessionWatch::savedSwitch(m_registry))
        startWatching();
    m_timer2.start();
    return true;
}

void HeadlessFront::startWatching() {
    m_watch = std::make_unique<SessionWatch>(*m_session);
    NetworkReaction& reaction = m_watch->reaction();
    reaction.mayAct = [this] { return !m_stopRequested && !m_finishing; };
    reaction.whenIdle = [this] { retryNow(); };
    connect(m_watch.get(), &SessionWatch::networkChanged, this,
            [this] { say(QStringLiteral("the network changed")); });
    connect(m_watch.get(), &SessionWatch::resumed, this,
            [this] { say(QStringLiteral("the machine woke from sleep")); });
    if (const QString why = m_watch->start(); !why.isEmpty())
        say(QStringLiteral("%1; address changes reach the service with the next heartbeat")
                .arg(why));
}

void HeadlessFront::retryNow() {
    // Only a sign-in that waits out its backoff is hurried; one refused or given up on is not.
    if (!m_retry.isActive())
        return;
    m_retry.stop();
    m_retryMs = m_options.firstRetryMs;
    say(QStringLiteral("trying again now"));
    m_session->gotologin();
}

void HeadlessFront::reportLoadFailure(const ERegistryException& e) {
    const QString setLogin = QStringLiteral("\"zarq --set-login NAME --password-stdin\"");
    if (e.valueName().isEmpty()) {
        // The file as a whole could not be used; its report above says what became of it.
        say(QStringLiteral("no saved setting is used, so nothing is signed in; save the login "
                           "again with %1")
                .arg(setLogin));
        return;
    }
    // One value could not be read; those before it were, those after it were not.
    QStringList read;
    if (!m_boxes.Edit1.isEmpty())
        read << QStringLiteral("the name %1").arg(LoginName::shown(m_boxes.Edit1));
    if (!m_session->state().LoginKey.isEmpty())
        read << QStringLiteral("the key");
    say(QStringLiteral("the value '%1' in %2 is not of the type the program stores there; %3, "
                       "so nothing is signed in")
            .arg(e.valueName(), m_registry.filePath(),
                 read.isEmpty() ? QStringLiteral("the settings are not used")
                                : read.join(QStringLiteral(" and ")) +
                                      QStringLiteral(" were read but are not used")));
    say(QStringLiteral("fix or remove the value '%1' in that file, or save the login again with "
                       "%2 (which writes every value anew)")
            .arg(e.valueName(), setLogin));
}

void HeadlessFront::autoLoginTick() {
    m_timer2.stop();
    if (m_boxes.Edit1.isEmpty() || m_boxes.PasswordEdit1.isEmpty() || !m_boxes.CheckBox2) {
        if (m_boxes.Edit1.isEmpty())
            say(QStringLiteral("no name is saved in %1").arg(m_registry.filePath()));
        else if (m_boxes.PasswordEdit1.isEmpty())
            say(QStringLiteral("no password is saved for %1").arg(m_boxes.Edit1));
        else
            say(QStringLiteral("auto-login is off for %1").arg(m_boxes.Edit1));
        say(QStringLiteral(
            "set it up with \"zarq --set-login NAME --password-stdin --autologin\""));
        finish(ExitNotConfigured);
        return;
    }
    try {
        LoginSettings::savesetting(m_registry, m_boxes, m_session->state().LoginKey);
    } catch (const ERegistryException& e) {
        say(e.messageWithDetail());
        finish(ExitError);
        return;
    }
    m_session->gotologin();
}

bool HeadlessFront::event(QEvent* e) {
    if (!SessionNotice::isSessionNotice(e))
        return QObject::event(e);
    onNotice(static_cast<SessionNotice*>(e)->number());
    return true;
}

void HeadlessFront::onNotice(int number) {
    const SessionState& s = m_session->state();
    switch (number) {
    case WM_LOGIN_BEGIN:
        m_awaitingOutcome = true;
        say(QStringLiteral("signing in %1 ...").arg(text(s.FullDomain)));
        break;
    case WM_IP_INFO:
        say(QStringLiteral("public address %1, LAN address %2")
                .arg(text(s.PublicIP),
                     s.LanIP.isEmpty() ? QStringLiteral("(none)") : text(s.LanIP)));
        break;
    case WM_LOGIN_OK: {
        m_awaitingOutcome = false;
        m_retryMs = m_options.firstRetryMs;
        const QString lan = m_boxes.Checkbox3
                                ? QStringLiteral("%1 -> %2").arg(text(s.LanDomain), text(s.LanIP))
                                : QStringLiteral("LAN address %1 (not sent)").arg(text(s.LanIP));
        say(QStringLiteral("signed in: %1 -> %2; %3")
                .arg(text(s.FullDomain), text(s.PublicIP), lan));
        break;
    }
    case WM_LOGIN_FAILED:
        m_awaitingOutcome = false;
        say(QStringLiteral("sign-in refused: wrong name or password for %1; save the right ones "
                           "with \"zarq --set-login NAME --password-stdin\"")
                .arg(text(s.FullDomain)));
        finish(ExitRefused);
        break;
    case WM_NET_ERROR:
        m_awaitingOutcome = false;
        scheduleRetry("network error or the service is unavailable");
        break;
    case WM_LOGIN_ELSEWHERE:
        say(QStringLiteral("%1 was signed in from another place; stopping")
                .arg(text(s.FullDomain)));
        finish(ExitElsewhere);
        break;
    default:
        break;
    }
}

void HeadlessFront::onOperationFinished() {
    if (m_awaitingOutcome && !m_session->isBusy()) {
        // A sign-in reply that means nothing leaves the desktop program waiting for ever; a
        // background program treats it like an unavailable service instead.
        m_awaitingOutcome = false;
        scheduleRetry("the service's reply to the sign-in was not understood");
    }
    settle();
}

void HeadlessFront::scheduleRetry(const char* why) {
    if (m_stopRequested || m_finishing)
        return;
    const int delay = m_retryMs;
    m_retryMs = std::min(m_retryMs * 2, m_options.maxRetryMs);
    say(QStringLiteral("%1; trying again in %2 s")
            .arg(QLatin1String(why))
            .arg(QString::number(delay / 1000.0, 'g', 4)));
    m_retry.start(delay);
}

void HeadlessFront::finish(int status) {
    m_finishing = true;
    m_exitStatus = status;
    m_retry.stop();
    settle();
}

void HeadlessFront::requestStop() {
    if (m_stopRequested) {
        say(QStringLiteral("stopping at once, without waiting for the sign-out"));
        m_exitStatus = ExitSignOutFailed;
        QCoreApplication::exit(m_exitStatus);
        return;
    }
    m_stopRequested = true;
    m_retry.stop();
    m_timer2.stop();
    if (m_session->isBusy())
        say(QStringLiteral("stopping: signing out once the current request ends"));
    settle();
}

void HeadlessFront::settle() {
    // Decisions wait until no request is under way: quitting inside one would abort it.
    if (m_session->isBusy() || m_stopping)
        return;
    if (m_stopRequested) {
        signOutAndExit();
        return;
    }
    if (m_finishing)
        QCoreApplication::exit(m_exitStatus);
}

void HeadlessFront::signOutAndExit() {
    m_stopping = true;
    try {
        m_session->gotologout();
        say(QStringLiteral("signed out"));
        m_exitStatus = ExitSignedOut;
    } catch (const EHttpException& e) {
        say(QStringLiteral("sign-out failed: %1").arg(text(e.message())));
        m_exitStatus = ExitSignOutFailed;
    }
    QCoreApplication::exit(m_exitStatus);
}

} // namespace zarq
