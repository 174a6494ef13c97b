// The main window's reactions to the session's notices, and its commands.
#include "app/desktop/TForm1.h"

#include "http/EHttpException.h"
#include "platform/TextCodec.h"
#include "session/SessionNotice.h"
#include "session/widgets/TSkinLinkLabel.h"
#include "shell/TCircularProgress.h"
#include "shell/TSkinMessage.h"
#include "shell/TTrayIcon.h"
#include "shell/WindowActivation.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace zarq {

namespace {
QString text(const QByteArray& cp936) {
    return TextCodec::fromCp936(cp936);
}
} // namespace

bool TForm1::event(QEvent* event) {
    if (SessionNotice::isSessionNotice(event)) {
        onNotice(static_cast<SessionNotice*>(event)->number());
        return true;
    }
    return QMainWindow::event(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // The signed-in panel fills the first page whenever it shows.
    if (watched == SkinTabSheet1 && event->type() == QEvent::Resize && !loginpanel2->isHidden())
        loginpanel2->setGeometry(SkinTabSheet1->rect());
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::onNotice(int number) {
    switch (number) {
    case WM_LOGIN_BEGIN:
        WMLoginBegin();
        break;
    case WM_LOGIN_OK:
        WMLoginOk();
        break;
    case WM_IP_INFO:
        WMIpInfo();
        break;
    case WM_LOGIN_FAILED:
        WMLoginFailed();
        break;
    case WM_NET_ERROR:
        WMNetError();
        break;
    case WM_LOGIN_ELSEWHERE:
        WMLoginElsewhere();
        break;
    default:
        break;
    }
}

void TForm1::WMLoginBegin() {
    loginProgress1->show();
    loginProgress1->setEnabled(true);
    loginButton1->hide();
    // While the spinner turns the label does nothing, so it does not look like a link.
    LoginLabel->setLink(false);
    LoginLabel->setText(QStringLiteral("域名 ") + text(zArqLogin->state().FullDomain) +
                        QStringLiteral(" 登陆中..."));
    LoginLabel->show();
}

void TForm1::WMLoginOk() {
    const SessionState& s = zArqLogin->state();
    loginProgress1->hide();
    LoginLabel->hide();
    loginButton1->show();
    loginpanel1->hide();
    loginpanel2->setGeometry(SkinTabSheet1->rect());
    loginpanel2->show();
    domainInfo1->setText(text(s.FullDomain));
    IpInfo->setText(text(s.PublicIP));
    domainInfo2->setText(zArqLogin->boxes().Checkbox3 ? text(s.LanDomain) : QString());
    ipinfo2->setText(text(s.LanIP));
}

void TForm1::WMIpInfo() {
    domainInfo2->setText(QStringLiteral("当前指向ip地址： ") + text(zArqLogin->state().PublicIP));
}

void TForm1::WMLoginFailed() {
    loginpanel2->hide();
    loginpanel1->show();
    loginProgress1->setEnabled(false);
    LoginLabel->setText(QStringLiteral("用户名或密码错误，请稍后重试..."));
    LoginLabel->setLink(true); // the spinner stands: the caption leads back to the dialog
    if (SkinMessage1->question(QStringLiteral("用户名或密码错误,是否重试..."), this) ==
        TSkinMessage::OK) {
        zArqLogin->show();
        return;
    }
    loginProgress1->hide();
    LoginLabel->hide();
    loginButton1->show();
}

void TForm1::WMNetError() {
    loginpanel2->hide();
    loginpanel1->show();
    loginProgress1->setEnabled(false);
    LoginLabel->setText(QStringLiteral("网络错误，请稍后重试..."));
    LoginLabel->setLink(true); // the spinner stands: the caption leads back to the dialog
    showAndRaise(this);
    if (SkinMessage1->question(QStringLiteral("网络连接错误,是否现在重试..."), this) ==
        TSkinMessage::OK)
        zArqLogin->show();
}

void TForm1::WMLoginElsewhere() {
    if (SkinMessage1->question(QStringLiteral("您的账户在其他地点登录,是否重新登录..."), this) ==
        TSkinMessage::OK) {
        zArqLogin->show();
        return;
    }
    showSignedOut();
}

void TForm1::showSignedOut() {
    loginpanel2->hide();
    loginpanel1->show();
    loginProgress1->hide();
    LoginLabel->hide();
    loginButton1->show();
    loginButton1->setEnabled(true);
}

void TForm1::loginButton1Click() {
    zArqLogin->show();
}

void TForm1::LoginLabelClick() {
    // While a sign-in turns the spinner the label does nothing.
    if (!loginProgress1->isEnabled())
        zArqLogin->show();
}

void TForm1::SkinButton1Click() {
    try {
        zArqLogin->gotologout();
    } catch (const EHttpException& e) {
        // The window keeps its signed-in panel, although the heartbeat has stopped.
        TSkinMessage::showApplicationError(text(e.message()), this);
        return;
    }
    QCoreApplication::processEvents();
    showSignedOut();
}

void TForm1::SkinButton2Click() {
    SettingForm1->exec();
}

void TForm1::N1Click() {
    showAndRaise(this);
}

void TForm1::TrayIcon1DblClick() {
    showAndRaise(this);
}

void TForm1::E1Click() {
    endSession();
}

void TForm1::endSession() {
    if (m_exiting) {
        // Asked again while the sign-out still waits: end now.
        if (m_environment.terminate)
            m_environment.terminate();
        return;
    }
    m_exiting = true;
    try {
        zArqLogin->gotologout();
    } catch (const std::exception& e) {
        // The program ends all the same; the service lets the session expire.
        qWarning("zarq: sign-out failed: %s", e.what());
    }
    if (m_environment.terminate)
        m_environment.terminate();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing never ends the program: that is exit's business. With a tray it hides the
    // window, which the tray brings back. Without one (a desktop with no tray host) a hidden
    // window could be reached again only by a second start, and the program left only by a
    // signal; there closing minimises, and the window keeps its task bar entry.
    event->ignore();
    if (TrayIcon1->backend()->isAvailable())
        hide();
    else
        showMinimized();
}

} // namespace zarq
