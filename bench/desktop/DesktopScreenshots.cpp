// zarq_desktop_screenshots OUTPUT_DIR
// Draws the main window in each of its states with QWidget::grab and saves them as PNG files:
// main-signed-out, main-signing-in, main-error, main-signed-in, main-network and
// login-dialog. The window reacts to the same notices the session posts; the session's values
// and the network report are a demo's, set here. Settings go to a temporary folder, never the
// user's. Run it on a display: xvfb-run -a zarq_desktop_screenshots docs/screenshots
#include "app/desktop/TForm1.h"
#include "session/SessionNotice.h"
#include "session/widgets/NameEdit.h"
#include "shell/Skin.h"
#include "shell/TSkinMessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace zarq;

namespace {

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* w, const QString& dir, const char* name) {
    const QString path = dir + u'/' + QLatin1String(name) + QStringLiteral(".png");
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zarq_desktop_screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir tmp;
    app.setApplicationDisplayName(QStringLiteral("TERVAN 蓝杉果动态域名客户端"));
    Skin::apply(app);

    MainWindowEnvironment env = MainWindowEnvironment::standard(ZarqConfig{});
    env.login.settingsPath = tmp.filePath(QStringLiteral("zarq.reg"));
    env.settings.registryFile = env.login.settingsPath;
    env.settings.autostart.currentUser = tmp.filePath(QStringLiteral("autostart"));
    env.settings.autostart.localMachine = tmp.filePath(QStringLiteral("etc-autostart"));
    env.terminate = [] {};
    // A demo machine's report (documentation addresses), not the one this runs on.
    env.networkReport = [](QString& memo) {
        memo = QStringLiteral("网卡名称: eth0 (e1000e)\r\n网卡MAC: 52:54:00:12:34:56\r\n"
                              "IP地址:    192.168.1.20/255.255.255.0\r\n"
                              "网关:    192.168.1.1/255.255.255.255\r\n\r\n"
                              "网卡名称: wlan0 (iwlwifi)\r\n网卡MAC: 52:54:00:ab:cd:ef\r\n"
                              "IP地址:    0.0.0.0/0.0.0.0\r\n\r\nDNS 1: 192.168.1.1\r\n");
    };
    TForm1 form(env);
    form.zArqLogin->Timer2->stop();
    form.show();
    settle(300);
    bool ok = save(&form, out, "main-signed-out");

    SessionState& s = form.zArqLogin->state();
    s.FullDomain = "demo.dyn.tervan.com";
    s.LanDomain = "demo.in.dyn.tervan.com";
    s.PublicIP = "203.0.113.7";
    s.LanIP = "192.168.1.20";
    auto notice = [&](SessionNoticeNumber n) {
        QCoreApplication::postEvent(&form, new SessionNotice(n, form.zArqLogin));
        QCoreApplication::sendPostedEvents(&form);
    };
    notice(WM_LOGIN_BEGIN);
    settle(700); // the spinner takes a few steps
    ok = save(&form, out, "main-signing-in") && ok;

    TSkinMessage::queueAnswers({TSkinMessage::Cancel});
    notice(WM_NET_ERROR);
    settle(200);
    ok = save(&form, out, "main-error") && ok;

    form.zArqLogin->Checkbox3->setChecked(true);
    notice(WM_LOGIN_BEGIN);
    notice(WM_LOGIN_OK);
    settle(200);
    ok = save(&form, out, "main-signed-in") && ok;

    form.SkinPageControl1->setCurrentIndex(1);
    settle(200);
    ok = save(&form, out, "main-network") && ok;

    form.zArqLogin->Edit1->setText(QStringLiteral("demo"));
    form.zArqLogin->show();
    settle(300);
    ok = save(form.zArqLogin, out, "login-dialog") && ok;
    TSkinMessage::resetTestHook();
    return ok ? 0 : 1;
}
