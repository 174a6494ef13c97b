#pragma once

#include "platform/RegistryStore.h"
#include "platform/ZarqConfig.h"
#include "session/LoginBoxes.h"
#include "session/SessionProtocol.h"

#include <QDialog>
#include <QUrl>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace zarq {

class NameEdit;
class PasswordEdit;
class TSkinLinkLabel;

// What the login dialog works with. The program uses standard(); tests replace the settings
// file, the probes and the URL opener.
struct LoginDialogEnvironment {
    ZarqConfig config; // hosts, parent zone, vendor site
    QString settingsPath = RegistryStore::defaultFilePath();
    int heartbeatMs = SessionProtocol::kHeartbeatMs; // Timer1's period
    std::function<QByteArray()> getLanAddress;       // LAN address of the default route
    std::function<QByteArray()> getBrowserUserAgent; // start of the HTTP user agent
    std::function<bool(const QUrl&)> openUrl;        // the default browser

    // The real probes and QDesktopServices::openUrl.
    static LoginDialogEnvironment standard(const ZarqConfig& config);
};

// The login dialog "域名登录": name, parent zone, password and the three options. It owns the
// session (`SessionProtocol`: HttpClient1, the heartbeat Timer1 and the session state) and
// the boxes the session reads, so it is created once, by the main window, and lives hidden for
// the whole run; the main window shows it on demand.
//
// Creation loads the saved settings (a failure shows the application's error box and ends the
// creation there: no user agent, no auto-login), lets pending events run and computes the user
// agent. The auto-login tick Timer2 (100 ms, once) is switched on by the owner through
// armAutoLogin() as the last step of its own creation, after it has set MainHandle, so the
// tick can never start a sign-in that carries the design agent or posts to no window.
//
// A saved name holding a character that would break the sign-in request (see LoginName) is
// not put into the name box; the error box says so, and creation goes on with an empty name.
//
// Submit (the "登录" button, Enter in the password box, the auto-login tick): save the
// settings (a failure shows the error box; nothing else happens), hide, let pending events
// run, sign in. An empty name or password is sent as it is; only a name that would break the
// request is stopped, with the error box.
class TzArqLogin : public QDialog {
    Q_OBJECT
public:
    static constexpr int kAutoLoginMs = 100;

    TzArqLogin(QWidget* owner, LoginDialogEnvironment environment);
    ~TzArqLogin() override;

    QGroupBox* GroupBox1 = nullptr;
    QLabel* SkinLabel1 = nullptr;             // "域名："
    NameEdit* Edit1 = nullptr;                // the name
    QLabel* SkinLabel3 = nullptr;             // "．"
    QComboBox* ComboBox1 = nullptr;           // the parent zone
    TSkinLinkLabel* SkinLinkLabel1 = nullptr; // "注册"
    QLabel* SkinLabel2 = nullptr;             // "密码："
    PasswordEdit* PasswordEdit1 = nullptr;    // the password, or the saved key's placeholder
    QCheckBox* CheckBox1 = nullptr;           // "记住密码"
    QCheckBox* CheckBox2 = nullptr;           // "自动登录"
    QCheckBox* Checkbox3 = nullptr;           // "同时获取内网动态域名"
    QPushButton* SkinButton1 = nullptr;       // "登录"
    QTimer* Timer2 = nullptr;                 // the auto-login tick

    SessionProtocol& session() { return *m_session; }
    SessionState& state() { return m_session->state(); }
    QTimer& Timer1() { return m_session->Timer1(); }
    // What the boxes hold now; kept in step with the controls.
    const LoginBoxes& boxes() const { return m_boxes; }
    RegistryStore& registry() { return m_registry; }

    // Throw ERegistryException (see LoginSettings).
    void loadsetting();
    void savesetting();

    // The session's operations; gotologout throws EHttpException when the sign-out fails.
    void gotologin() { m_session->gotologin(); }
    void Timer1Timer() { m_session->Timer1Timer(); }
    void gotologout() { m_session->gotologout(); }

    // The vendor site's registration page ("/reg.php"), which both this dialog's "注册" and the
    // main window's "免费注册" open.
    QUrl registrationPage() const;

    // Whether the creation steps all ran (they stop at a failed load).
    bool creationCompleted() const { return m_created; }
    // Switches Timer2 on, once per run and only after a completed creation.
    void armAutoLogin();

public slots:
    void SkinButton1Click();
    void Timer2Timer();
    void SkinLinkLabel1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void FormCreate();
    void showBoxes(); // boxes -> controls, after loading
    void reportRefusedName();

    LoginDialogEnvironment m_environment;
    LoginBoxes m_boxes;
    RegistryStore m_registry;
    SessionProtocol* m_session = nullptr;
    bool m_created = false;
    bool m_autoLoginArmed = false;
    QString m_refusedName; // the report of a saved name that was not taken, until shown
};

} // namespace zarq
