#include "session/widgets/TzArqLogin.h"

#include "netinfo/BrowserIdentity.h"
#include "netinfo/LanAddress.h"
#include "session/LoginName.h"
#include "session/LoginSettings.h"
#include "session/widgets/NameEdit.h"
#include "session/widgets/PasswordEdit.h"
#include "session/widgets/TSkinLinkLabel.h"
#include "shell/TSkinMessage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <utility>

namespace zarq {

namespace {
constexpr QSize kClientSize(351, 162);
constexpr int kLabelWidth = 40;
} // namespace

LoginDialogEnvironment LoginDialogEnvironment::standard(const ZarqConfig& config) {
    LoginDialogEnvironment env;
    env.config = config;
    env.getLanAddress = [] { return GetLanAddress(); };
    env.getBrowserUserAgent = [] { return GetBrowserUserAgent(); };
    env.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return env;
}

TzArqLogin::TzArqLogin(QWidget* owner, LoginDialogEnvironment environment)
    : QDialog(owner), m_environment(std::move(environment)),
      m_boxes(LoginBoxes::designState(m_environment.config.parentZone)),
      m_registry(m_environment.settingsPath) {
    setObjectName(QStringLiteral("zArqLogin"));
    setWindowTitle(QStringLiteral("域名登录"));
    // A fixed dialog frame without caption buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    m_session = new SessionProtocol(m_boxes, m_environment.config.echoHost,
                                    m_environment.config.apiHost, this);
    m_session->setObjectName(QStringLiteral("HttpClient1"));
    m_session->setHeartbeatInterval(m_environment.heartbeatMs);
    if (m_environment.getLanAddress)
        m_session->GetLanAddress = m_environment.getLanAddress;
    if (m_environment.getBrowserUserAgent)
        m_session->GetBrowserUserAgent = m_environment.getBrowserUserAgent;

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kAutoLoginMs);
    connect(Timer2, &QTimer::timeout, this, &TzArqLogin::Timer2Timer);

    buildControls();
    FormCreate();
}

TzArqLogin::~TzArqLogin() = default;

void TzArqLogin::buildControls() {
    GroupBox1 = new QGroupBox(QStringLiteral("请输入域名名称和密码："), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));

    SkinLabel1 = new QLabel(QStringLiteral("域名："), GroupBox1);
    SkinLabel1->setObjectName(QStringLiteral("SkinLabel1"));
    Edit1 = new NameEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFixedWidth(97);
    SkinLabel3 = new QLabel(QStringLiteral("．"), GroupBox1);
    SkinLabel3->setObjectName(QStringLiteral("SkinLabel3"));
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setFixedWidth(121);
    ComboBox1->addItems(m_boxes.ComboBox1Items);
    ComboBox1->setCurrentText(m_boxes.ComboBox1);
    SkinLinkLabel1 = new TSkinLinkLabel(QStringLiteral("注册"), GroupBox1);
    SkinLinkLabel1->setObjectName(QStringLiteral("SkinLinkLabel1"));

    SkinLabel2 = new QLabel(QStringLiteral("密码："), GroupBox1);
    SkinLabel2->setObjectName(QStringLiteral("SkinLabel2"));
    PasswordEdit1 = new PasswordEdit(GroupBox1);
    PasswordEdit1->setObjectName(QStringLiteral("PasswordEdit1"));
    PasswordEdit1->setFixedWidth(185);

    CheckBox1 = new QCheckBox(QStringLiteral("记住密码"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(m_boxes.CheckBox1);
    CheckBox2 = new QCheckBox(QStringLiteral("自动登录"), GroupBox1);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setChecked(m_boxes.CheckBox2);
    Checkbox3 = new QCheckBox(QStringLiteral("同时获取内网动态域名"), GroupBox1);
    Checkbox3->setObjectName(QStringLiteral("Checkbox3"));
    Checkbox3->setChecked(m_boxes.Checkbox3);

    SkinButton1 = new QPushButton(QStringLiteral("登录"), GroupBox1);
    SkinButton1->setObjectName(QStringLiteral("SkinButton1"));
    // No default button: Enter submits only from the password box.
    SkinButton1->setAutoDefault(false);
    SkinButton1->setDefault(false);

    SkinLabel1->setFixedWidth(kLabelWidth);
    SkinLabel2->setFixedWidth(kLabelWidth);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(SkinLabel1);
    nameRow->addWidget(Edit1);
    nameRow->addWidget(SkinLabel3);
    nameRow->addWidget(ComboBox1);
    nameRow->addWidget(SkinLinkLabel1);
    nameRow->addStretch();
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(SkinLabel2);
    passwordRow->addWidget(PasswordEdit1);
    passwordRow->addStretch();
    auto* optionRow = new QHBoxLayout;
    optionRow->addSpacing(kLabelWidth + 6);
    optionRow->addWidget(CheckBox1);
    optionRow->addWidget(CheckBox2);
    optionRow->addStretch();
    auto* lanRow = new QHBoxLayout;
    lanRow->addSpacing(kLabelWidth + 6);
    lanRow->addWidget(Checkbox3);
    lanRow->addStretch();
    lanRow->addWidget(SkinButton1);
    auto* group = new QVBoxLayout(GroupBox1);
    group->setContentsMargins(8, 4, 8, 4);
    group->setSpacing(4);
    group->addLayout(nameRow);
    group->addLayout(passwordRow);
    group->addLayout(optionRow);
    group->addLayout(lanRow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(GroupBox1);
    setFixedSize(kClientSize.expandedTo(sizeHint()));

    setTabOrder(Edit1, PasswordEdit1);
    setTabOrder(PasswordEdit1, ComboBox1);
    setTabOrder(ComboBox1, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, SkinButton1);
    setTabOrder(SkinButton1, Checkbox3);

    // The boxes the session reads follow the controls at every change, so a sign-in or a
    // heartbeat always sees what the dialog shows.
    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString& t) { m_boxes.Edit1 = t; });
    connect(PasswordEdit1, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_boxes.PasswordEdit1 = t; });
    connect(ComboBox1, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { m_boxes.ComboBox1 = t; });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) { m_boxes.CheckBox1 = on; });
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) { m_boxes.CheckBox2 = on; });
    connect(Checkbox3, &QCheckBox::toggled, this, [this](bool on) { m_boxes.Checkbox3 = on; });

    connect(SkinButton1, &QPushButton::clicked, this, &TzArqLogin::SkinButton1Click);
    connect(PasswordEdit1, &PasswordEdit::enterPressed, this, &TzArqLogin::SkinButton1Click);
    connect(SkinLinkLabel1, &TSkinLinkLabel::clicked, this, &TzArqLogin::SkinLinkLabel1Click);
}

void TzArqLogin::showBoxes() {
    Edit1->setText(m_boxes.Edit1);
    const int zone = ComboBox1->findText(m_boxes.ComboBox1, Qt::MatchFixedString);
    if (zone >= 0)
        ComboBox1->setCurrentIndex(zone);
    PasswordEdit1->setText(m_boxes.PasswordEdit1);
    CheckBox1->setChecked(m_boxes.CheckBox1);
    CheckBox2->setChecked(m_boxes.CheckBox2);
    Checkbox3->setChecked(m_boxes.Checkbox3);
}

void TzArqLogin::loadsetting() {
    std::exception_ptr failure;
    try {
        LoginSettings::loadsetting(m_registry, m_boxes, m_session->state().LoginKey);
    } catch (...) {
        failure = std::current_exception();
    }
    // A saved name that would break the sign-in request is kept out of the name box (which
    // would silently drop those characters and sign in another name); FormCreate reports it.
    if (const QString why = LoginName::problem(m_boxes.Edit1); !why.isEmpty()) {
        m_refusedName = QStringLiteral("The saved name \"%1\" cannot be used: %2, which would "
                                       "break the sign-in request. Please type the name again.")
                            .arg(LoginName::shown(m_boxes.Edit1), why);
        m_boxes.Edit1.clear();
    }
    // The values read before a failing one are in the boxes: show them.
    showBoxes();
    if (failure)
        std::rethrow_exception(failure);
}

void TzArqLogin::savesetting() {
    LoginSettings::savesetting(m_registry, m_boxes, m_session->state().LoginKey);
}

void TzArqLogin::FormCreate() {
    try {
        loadsetting();
    } catch (const ERegistryException& e) {
        reportRefusedName();
        TSkinMessage::showApplicationError(e.message(), parentWidget());
        return;
    }
    reportRefusedName();
    QCoreApplication::processEvents();
    m_session->assignUserAgent();
    m_created = true;
}

void TzArqLogin::reportRefusedName() {
    if (m_refusedName.isEmpty())
        return;
    TSkinMessage::showApplicationError(std::exchange(m_refusedName, QString()), parentWidget());
}

void TzArqLogin::armAutoLogin() {
    if (!m_created || m_autoLoginArmed)
        return;
    m_autoLoginArmed = true;
    Timer2->start();
}

void TzArqLogin::Timer2Timer() {
    Timer2->stop();
    if (!state().MainHandle) {
        qWarning("zarq: the auto-login tick came before the main window was set; ignored");
        return;
    }
    if (!m_boxes.Edit1.isEmpty() && !m_boxes.PasswordEdit1.isEmpty() && m_boxes.CheckBox2)
        SkinButton1Click();
}

void TzArqLogin::SkinButton1Click() {
    // The box takes no refused character, but a text it cannot carry in the request's code
    // page (or one set by the program) is stopped here, before anything is saved or sent.
    if (const QString why = LoginName::problem(m_boxes.Edit1); !why.isEmpty()) {
        TSkinMessage::showApplicationError(
            QStringLiteral("The name \"%1\" cannot be used: %2, which would break the sign-in "
                           "request.")
                .arg(LoginName::shown(m_boxes.Edit1), why),
            isVisible() ? this : parentWidget());
        return;
    }
    try {
        savesetting();
    } catch (const ERegistryException& e) {
        TSkinMessage::showApplicationError(e.message(), isVisible() ? this : parentWidget());
        return;
    }
    hide();
    // The dialog is gone from the screen before the sign-in blocks.
    QCoreApplication::processEvents();
    gotologin();
}

QUrl TzArqLogin::registrationPage() const {
    QByteArray site = m_environment.config.site;
    while (site.endsWith('/'))
        site.chop(1);
    return QUrl(QString::fromLatin1(site + "/reg.php"));
}

void TzArqLogin::SkinLinkLabel1Click() {
    // The registration page, as the main window's "免费注册" opens it.
    if (m_environment.openUrl)
        m_environment.openUrl(registrationPage());
}

void TzArqLogin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QWidget* owner = parentWidget(); owner && owner->isVisible()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->frameGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace zarq
