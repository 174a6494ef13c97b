// zarq_desktop_screenshots OUTPUT_DIR
// Draws the main window in each of its states with QWidget::grab and saves them as PNG files:
// main-signed-out, main-signing-in, main-error, main-signed-in, main-network and
// login-dialog. The window reacts to the same notices the session posts; the session's values
// and the network report are a demo's, set here. Settings go to a temporary folder, never the
// user's. Run it on a display: xvfb-run -a zarq_desktop_screenshots docs/screenshots
#include "app/desktop/TForm1.h"
#include "netinfo/AdapterRecord.h"
#include "netinfo/NetworkReport.h"
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
    Skin::apply(app);

    MainWindowEnvironment env = MainWindowEnvironment::standard(ZarqConfig{});
    env.login.settingsPath = tmp.filePath(QStringLiteral("zarq.reg"));
    env.settings.registryFile = env.login.settingsPath;
    env.settings.autostart.currentUser = tmp.filePath(QStringLiteral("autostart"));
    env.settings.autostart.localMachine = tmp.filePath(QStringLiteral("etc-autostart"));
    env.terminate = [] {};
    // A demo machine's adapters (documentation addresses), not the ones this runs on, put
    // through the program's own report.
    env.networkReport = [](QString& memo) {
        const auto adapters = [] {
            AdapterRecord eth0;
            eth0.adapterName = QStringLiteral("eth0");
            eth0.description = QStringLiteral("eth0 (e1000e)");
            eth0.address = QByteArray::fromHex("525400123456");
            eth0.ipAddressList = {
                {QStringLiteral("192.168.1.20"), QStringLiteral("255.255.255.0")}};
            eth0.gatewayList = {{QStringLiteral("192.168.1.1"), QStringLiteral("255.255.255.255")}};
            AdapterRecord wlan0;
            wlan0.adapterName = QStringLiteral("wlan0");
            wlan0.description = QStringLiteral("wlan0 (iwlwifi)");
            wlan0.address = QByteArray::fromHex("525400abcdef");
            wlan0.index = 1;
            // An adapter without an address, as the adapter table gives it.
            wlan0.ipAddressList = {{QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0")}};
            return QList<AdapterRecord>{eth0, wlan0};
        };
        NetworkReport::getipinfo(memo, adapters, [](QStringList& lines) {
            lines = {QStringLiteral("DNS 1: 192.168.1.1")};
        });
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
