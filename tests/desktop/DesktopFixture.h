#pragma once

#include "ScriptedHttpServer.h"
#include "app/desktop/TForm1.h"
#include "http/THttpClient.h"
#include "shell/TSkinMessage.h"
#include "shell/TrayBackend.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace zarq::test {

// The notification area as a test drives it.
class FakeTrayBackend : public TrayBackend {
public:
    bool isAvailable() const override { return available; }
    void setIcon(const QIcon&) override {}
    void setToolTip(const QString&) override {}
    void setMenu(QMenu*) override {}
    void popUpMenu(QMenu*, const QPoint&) override {}
    void show() override { shown = true; }
    void hide() override { shown = false; }
    void press(Event e) { emit mouseEvent(e, QPoint(1, 1)); }
    bool available = true; // whether a tray host is running
    bool shown = false;
};

// A main window (or a login dialog) on temporary settings, with a scripted service on
// 127.0.0.1, fake probes, a fake tray, a recorded URL opener and a recorded "end the program".
class DesktopFixture : public ::testing::Test {
protected:
    using Reply = ScriptedHttpServer::Reply;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        TSkinMessage::resetTestHook();
        server.handler = [this](const QByteArray& target) -> Reply {
            if (target == "/")
                return echoReply;
            if (target.startsWith("/auth/"))
                return authReply;
            if (target.startsWith("/online/"))
                return heartbeatReply;
            if (target.startsWith("/logout/")) {
                if (onLogout)
                    onLogout();
                return logoutReply;
            }
            return Reply::text("?");
        };
    }
    void TearDown() override { TSkinMessage::resetTestHook(); }

    QString settingsPath() const { return dir.filePath(QStringLiteral("config/zarq.reg")); }

    LoginDialogEnvironment loginEnvironment() {
        LoginDialogEnvironment env;
        env.config.echoHost = server.host();
        env.config.apiHost = server.host();
        env.config.site = "http://vendor.test";
        env.settingsPath = settingsPath();
        env.getLanAddress = [this] { return lan; };
        env.getBrowserUserAgent = [] { return QByteArray("Probe/1.0"); };
        env.openUrl = [this](const QUrl& url) {
            opened.append(url);
            return true;
        };
        return env;
    }

    MainWindowEnvironment windowEnvironment() {
        MainWindowEnvironment env;
        env.login = loginEnvironment();
        env.settings.registryFile = settingsPath();
        env.settings.autostart.currentUser = dir.filePath(QStringLiteral("autostart"));
        env.settings.autostart.localMachine = dir.filePath(QStringLiteral("etc-autostart"));
        env.settings.programPath = QStringLiteral("/opt/zarq/bin/zarq");
        env.networkReport = [this](QString& memo) { memo = report; };
        env.trayBackend = [this] {
            auto tray = std::make_unique<FakeTrayBackend>();
            this->tray = tray.get();
            return tray;
        };
        env.terminate = [this] { ++terminated; };
        return env;
    }

    // The session's waits are bounded well below the test's own.
    static void shortenWaits(TzArqLogin& dialog) {
        dialog.session().HttpClient1().setTimeoutMs(5000);
        dialog.session().setSignOutTimeoutMs(5000);
    }

    QTemporaryDir dir;
    ScriptedHttpServer server;
    Reply echoReply = Reply::text("203.0.113.7");
    Reply authReply = Reply::text("0 tok123");
    Reply heartbeatReply = Reply::text("0");
    Reply logoutReply = Reply::text("0");
    std::function<void()> onLogout;
    QByteArray lan = "192.168.1.20";
    QString report = QStringLiteral("eth0\r\n");
    QList<QUrl> opened;
    FakeTrayBackend* tray = nullptr;
    int terminated = 0;
};

} // namespace zarq::test
