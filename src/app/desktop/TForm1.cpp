#include "app/desktop/TForm1.h"

#include "app/desktop/PictureTabBar.h"
#include "netinfo/AdapterTable.h"
#include "netinfo/DnsServers.h"
#include "netinfo/NetworkReport.h"
#include "session/widgets/TSkinLinkLabel.h"
#include "shell/Skin.h"
#include "shell/TCircularProgress.h"
#include "shell/TSkinMessage.h"
#include "shell/TTrayIcon.h"
#include "shell/TTrayMenu.h"
#include "shell/WindowActivation.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zarq {

namespace {

constexpr int kPanelWidth = 545;
constexpr int kPanel1Height = 137;
constexpr int kStatusBarHeight = 27;

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The tab pages, with the tab bar that puts each page's picture above its caption.
class PageControl : public QTabWidget {
public:
    explicit PageControl(QWidget* parent) : QTabWidget(parent) {
        setTabBar(new PictureTabBar(this));
    }
};

// Hands the application's quit requests to `end` instead of ending the event loop at once.
class QuitRequestFilter : public QObject {
public:
    QuitRequestFilter(QObject* parent, std::function<void()> end)
        : QObject(parent), m_end(std::move(end)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Quit || watched != QCoreApplication::instance())
            return false;
        m_end();
        return true;
    }

private:
    std::function<void()> m_end;
};

QLineEdit* readOnlyBox(QWidget* parent, const char* name) {
    auto* box = named(new QLineEdit(parent), name);
    box->setReadOnly(true);
    return box;
}

} // namespace

MainWindowEnvironment MainWindowEnvironment::standard(const ZarqConfig& config) {
    MainWindowEnvironment env;
    env.login = LoginDialogEnvironment::standard(config);
    env.settings = SettingFormEnvironment::standard(QString::fromUtf8(config.updateUrl));
    env.networkReport = [](QString& memo) {
        NetworkReport::getipinfo(memo, &AdapterTable::read,
                                 [](QStringList& lines) { GetDnsServers(lines); });
    };
    env.terminate = [] {
        // exit() rather than quit(): quit() asks every window to close first, and this
        // window's answer to a close is to hide.
        QCoreApplication::exit(0);
    };
    return env;
}

TForm1::TForm1(MainWindowEnvironment environment, QWidget* parent)
    : QMainWindow(parent), m_environment(std::move(environment)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("TERVAN 蓝杉果动态域名客户端 1.0"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    SkinPageControl1 = named(new PageControl(this), "SkinPageControl1");
    setCentralWidget(SkinPageControl1);
    buildFirstPage();
    buildSecondPage();
    buildStatusBar();
    SkinMessage1 = named(new TSkinMessage(this), "SkinMessage1");
    buildTray();
    // Requests to end the program (the update's restart sends one) reach the application
    // object; they leave the way exit does, signing out first.
    QCoreApplication::instance()->installEventFilter(
        new QuitRequestFilter(this, [this] { endSession(); }));

    setFixedSize(kClientSize);
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::buildFirstPage() {
    SkinTabSheet1 = named(new QWidget, "SkinTabSheet1");
    SkinPageControl1->addTab(SkinTabSheet1, Skin::icon(Skin::Picture::DomainPage),
                             QStringLiteral("动态域名"));
    SkinTabSheet1->installEventFilter(this);

    loginpanel1 = named(new QWidget(SkinTabSheet1), "loginpanel1");
    loginpanel1->setGeometry(0, 0, kPanelWidth, kPanel1Height);
    loginButton1 =
        named(new QPushButton(QStringLiteral("动态域名登录"), loginpanel1), "loginButton1");
    loginButton1->setGeometry(200, 34, 145, 36);
    loginProgress1 = named(new TCircularProgress(loginpanel1), "loginProgress1");
    loginProgress1->setGeometry(150, 42, 25, 24);
    loginProgress1->hide();
    LoginLabel = named(new TSkinLinkLabel(QStringLiteral("域名登陆中..."), loginpanel1, false),
                       "LoginLabel");
    LoginLabel->setGeometry(180, 34, 217, 41);
    LoginLabel->setWordWrap(true);
    LoginLabel->hide();
    SkinLinkLabel1 =
        named(new TSkinLinkLabel(QStringLiteral("免费注册"), loginpanel1), "SkinLinkLabel1");
    SkinLinkLabel1->setGeometry(245, 96, 60, 20);

    loginpanel2 = named(new QWidget(SkinTabSheet1), "loginpanel2");
    loginpanel2->setGeometry(0, kPanel1Height, kPanelWidth, 190);
    SkinStdLabel1 =
        named(new QLabel(QStringLiteral("动态域名登录成功!"), loginpanel2), "SkinStdLabel1");
    SkinLinkLabel2 =
        named(new TSkinLinkLabel(QStringLiteral("公网域名"), loginpanel2), "SkinLinkLabel2");
    SkinLinkLabel3 =
        named(new TSkinLinkLabel(QStringLiteral("IP:"), loginpanel2), "SkinLinkLabel3");
    domainInfo1 = readOnlyBox(loginpanel2, "domainInfo1");
    IpInfo = readOnlyBox(loginpanel2, "IpInfo");
    SkinLinkLabel5 =
        named(new TSkinLinkLabel(QStringLiteral("内网域名"), loginpanel2), "SkinLinkLabel5");
    SkinLinkLabel4 =
        named(new TSkinLinkLabel(QStringLiteral("IP:"), loginpanel2), "SkinLinkLabel4");
    domainInfo2 = readOnlyBox(loginpanel2, "domainInfo2");
    ipinfo2 = readOnlyBox(loginpanel2, "ipinfo2");
    SkinButton1 = named(new QPushButton(QStringLiteral("注销"), loginpanel2), "SkinButton1");
    auto* grid = new QGridLayout;
    grid->addWidget(SkinLinkLabel2, 0, 0);
    grid->addWidget(domainInfo1, 0, 1);
    grid->addWidget(SkinLinkLabel3, 0, 2);
    grid->addWidget(IpInfo, 0, 3);
    grid->addWidget(SkinLinkLabel5, 1, 0);
    grid->addWidget(domainInfo2, 1, 1);
    grid->addWidget(SkinLinkLabel4, 1, 2);
    grid->addWidget(ipinfo2, 1, 3);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(SkinButton1);
    buttonRow->addStretch();
    auto* panel2 = new QVBoxLayout(loginpanel2);
    panel2->setContentsMargins(24, 16, 24, 16);
    panel2->addWidget(SkinStdLabel1, 0, Qt::AlignHCenter);
    panel2->addSpacing(12);
    panel2->addLayout(grid);
    panel2->addStretch();
    panel2->addLayout(buttonRow);
    loginpanel2->hide();

    connect(loginButton1, &QPushButton::clicked, this, &TForm1::loginButton1Click);
    connect(LoginLabel, &TSkinLinkLabel::clicked, this, &TForm1::LoginLabelClick);
    connect(SkinButton1, &QPushButton::clicked, this, &TForm1::SkinButton1Click);
    connect(SkinLinkLabel1, &TSkinLinkLabel::clicked, this,
            [this] { openPage(registrationPage()); });
    for (TSkinLinkLabel* link : {SkinLinkLabel2, SkinLinkLabel3, SkinLinkLabel5, SkinLinkLabel4})
        connect(link, &TSkinLinkLabel::clicked, this, [this] { openPage(homePage()); });
}

void TForm1::buildSecondPage() {
    SkinTabSheet4 = named(new QWidget, "SkinTabSheet4");
    SkinPageControl1->addTab(SkinTabSheet4, Skin::icon(Skin::Picture::NetworkPage),
                             QStringLiteral("网络信息"));
    wkMemo = named(new QPlainTextEdit(SkinTabSheet4), "wkMemo");
    wkMemo->setReadOnly(true);
    wkMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    wkMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    wkMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(SkinTabSheet4);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(wkMemo);
}

void TForm1::buildStatusBar() {
    SkinStatusBar1 = named(new QStatusBar(this), "SkinStatusBar1");
    SkinStatusBar1->setFixedHeight(kStatusBarHeight);
    SkinStatusBar1->setSizeGripEnabled(false);
    SkinButton2 = named(new QPushButton(QStringLiteral("系统设置"), SkinStatusBar1), "SkinButton2");
    SkinStatusPanel1 = named(new QLabel(SkinStatusBar1), "SkinStatusPanel1");
    SkinStatusBar1->addWidget(SkinButton2);
    SkinStatusBar1->addWidget(SkinStatusPanel1, 1);
    setStatusBar(SkinStatusBar1);
    connect(SkinButton2, &QPushButton::clicked, this, &TForm1::SkinButton2Click);
}

void TForm1::buildTray() {
    SkinPopupMenu1 = named(new TTrayMenu(this), "SkinPopupMenu1");
    connect(SkinPopupMenu1->N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(SkinPopupMenu1->E1, &QAction::triggered, this, &TForm1::E1Click);
    TrayIcon1 =
        new TTrayIcon(this, m_environment.trayBackend ? m_environment.trayBackend() : nullptr);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setIcon(Skin::trayIcon());
    TrayIcon1->setPopupMenu(SkinPopupMenu1);
    TrayIcon1->setMinimizeToTray(true);
    connect(TrayIcon1, &TTrayIcon::DblClick, this, &TForm1::TrayIcon1DblClick);
    TrayIcon1->setIconVisible(true);
}

void TForm1::FormCreate() {
    // 1. The login dialog; its own creation loads the saved settings and computes the agent.
    zArqLogin = new TzArqLogin(this, m_environment.login);
    // 2. and 3.
    zArqLogin->state().MainHandle = this;
    zArqLogin->state().PublicIP = "0.0.0.0";
    // 4. The settings dialog; its creation reads the start-at-log-in setting.
    SettingForm1 = new TSettingForm(this, m_environment.settings);
    SettingForm1->setObjectName(QStringLiteral("SettingForm1"));
    // 5. The network page.
    QString memo;
    try {
        if (m_environment.networkReport)
            m_environment.networkReport(memo);
        wkMemo->setPlainText(memo);
    } catch (const std::exception& e) {
        wkMemo->setPlainText(memo);
        TSkinMessage::showApplicationError(QString::fromLocal8Bit(e.what()), this);
    }
    // Last: the auto-login tick, now that UserAgent and MainHandle are both set.
    zArqLogin->armAutoLogin();
}

QUrl TForm1::homePage() const {
    return QUrl(QString::fromLatin1(m_environment.login.config.site));
}

QUrl TForm1::registrationPage() const {
    return zArqLogin->registrationPage();
}

void TForm1::openPage(const QUrl& url) {
    if (m_environment.login.openUrl)
        m_environment.login.openUrl(url);
}

} // namespace zarq
