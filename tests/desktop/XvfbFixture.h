#pragma once

#include "XDisplay.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zarq::test {

// The built program on a real X display (Xvfb, no window manager) against the reference
// service on 127.0.0.1, with a temporary home, settings and runtime folder. By default a
// classic XEmbed tray host (trayer) runs and the session bus is one that does not exist, so Qt
// can only dock into that tray; a test that wants another tray overrides wantsTrayHost() and
// points DBUS_SESSION_BUS_ADDRESS in `env` elsewhere before starting the program.
class XvfbFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual bool wantsTrayHost() const { return true; }

    void startService();
    void startDisplay();
    void startTrayHost(); // starts trayer and waits until it holds the tray
    // Starts the program in the background (`zarq`), standard error to "zarq.log".
    void startProgram(const QStringList& args = {});
    // Runs the program to its end; its exit status, or -1/-2/-3 when it did not end normally.
    int run(const QStringList& args, const QByteArray& input = {});
    // Saves a login for alice (the service's account has the password "pw123").
    void saveLogin(const QByteArray& password, bool autologin);
    // Runs xdotool on the display; true when it succeeded.
    bool xdotool(const QStringList& args);

    QJsonObject status();
    QString stateOfAlice();
    QByteArray fileText(const char* name);
    QByteArray events() { return fileText("events"); }
    // Asks the window titled `title` to close, as its close button would, until it is no
    // longer on screen or `ms` pass; true when it went. A request that reaches
    // the window while the program still sets it up can be lost, so it is repeated.
    bool closeWindow(const QString& title, int ms = 30000);
    QList<XWindow> windows() { return windowsOf(display, zarq.processId()); }
    XWindow window(const QString& title) {
        return topLevelTitled(display, zarq.processId(), title);
    }

    QString xvfb, trayer, display;
    QTemporaryDir tmp;
    QProcess server, x, tray, zarq;
    QProcessEnvironment env;
    quint16 port = 0;
};

} // namespace zarq::test
