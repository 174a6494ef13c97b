#pragma once

#include "session/widgets/TzArqLogin.h"
#include "shell/TSettingForm.h"
#include "shell/TrayBackend.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QWidget;

namespace zarq {

class TCircularProgress;
class TSkinLinkLabel;
class TSkinMessage;
class TTrayIcon;
class TTrayMenu;

// What the main window works with. The program uses standard(); tests replace every outside
// thing: settings files, probes, the network report, the tray, the URL opener, and what
// "end the program" does.
struct MainWindowEnvironment {
    LoginDialogEnvironment login;
    SettingFormEnvironment settings;
    // Fills the network page's memo; throws (SystemError) when the report cannot be made,
    // leaving in the memo what it got so far.
    std::function<void(QString& memo)> networkReport;
    // The notification area; null: the real one.
    std::function<std::unique_ptr<TrayBackend>()> trayBackend;
    // Ends the program (the event loop's exit; a window close would only hide the window).
    std::function<void()> terminate;

    static MainWindowEnvironment standard(const ZarqConfig& config);
};

// The main window "TERVAN 蓝杉果动态域名客户端 1.0": the session's state on the first page
// ("动态域名"), the network report on the second ("网络信息"), the settings button in the
// status bar, the tray icon with its menu. It owns the login dialog (and so the session) and
// the settings dialog for the whole run, follows the session only through its notices, and
// owns log-off and exit. Closing it only hides it (minimises it when no tray is there to
// bring it back); the program ends through exit.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kClientSize{557, 441};

    explicit TForm1(MainWindowEnvironment environment, QWidget* parent = nullptr);
    ~TForm1() override;

    // First page.
    QTabWidget* SkinPageControl1 = nullptr;
    QWidget* SkinTabSheet1 = nullptr;
    QWidget* loginpanel1 = nullptr;
    QPushButton* loginButton1 = nullptr;
    TCircularProgress* loginProgress1 = nullptr;
    TSkinLinkLabel* LoginLabel = nullptr;
    TSkinLinkLabel* SkinLinkLabel1 = nullptr; // "免费注册"
    QWidget* loginpanel2 = nullptr;
    QLabel* SkinStdLabel1 = nullptr;
    TSkinLinkLabel* SkinLinkLabel2 = nullptr; // "公网域名"
    TSkinLinkLabel* SkinLinkLabel3 = nullptr; // "IP:"
    QLineEdit* domainInfo1 = nullptr;
    QLineEdit* IpInfo = nullptr;
    TSkinLinkLabel* SkinLinkLabel5 = nullptr; // "内网域名"
    TSkinLinkLabel* SkinLinkLabel4 = nullptr; // "IP:"
    QLineEdit* domainInfo2 = nullptr;
    QLineEdit* ipinfo2 = nullptr;
    QPushButton* SkinButton1 = nullptr; // "注销"
    // Second page.
    QWidget* SkinTabSheet4 = nullptr;
    QPlainTextEdit* wkMemo = nullptr;
    // Status bar.
    QStatusBar* SkinStatusBar1 = nullptr;
    QPushButton* SkinButton2 = nullptr; // "系统设置"
    QLabel* SkinStatusPanel1 = nullptr;
    // Components.
    TTrayMenu* SkinPopupMenu1 = nullptr;
    TSkinMessage* SkinMessage1 = nullptr;
    TTrayIcon* TrayIcon1 = nullptr;
    TzArqLogin* zArqLogin = nullptr;
    TSettingForm* SettingForm1 = nullptr;

    // Commands.
    void loginButton1Click();
    void LoginLabelClick();
    void SkinButton1Click(); // log-off
    void SkinButton2Click();
    void N1Click();
    void TrayIcon1DblClick();
    void E1Click(); // exit

    // The end of the desktop session, SIGTERM and SIGINT: sign out, then end the program, as
    // exit does. A second request while the sign-out is still waiting ends the program at once.
    void endSession();

    // The vendor site's pages that the links open.
    QUrl homePage() const;
    QUrl registrationPage() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery: refuse and hide
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFirstPage();
    void buildSecondPage();
    void buildStatusBar();
    void buildTray();
    void FormCreate();

    void onNotice(int number);
    void WMLoginBegin();
    void WMLoginOk();
    void WMIpInfo();
    void WMLoginFailed();
    void WMNetError();
    void WMLoginElsewhere();
    void showSignedOut(); // loginpanel1 with the login button
    void openPage(const QUrl& url);

    MainWindowEnvironment m_environment;
    bool m_exiting = false;
};

} // namespace zarq
