#include "app/desktop/DesktopProgram.h"

#include "app/desktop/TForm1.h"
#include "session/SessionWatch.h"
#include "shell/ApplicationTitle.h"
#include "shell/Skin.h"
#include "shell/TSingleInstance.h"
#include "shell/WindowActivation.h"

#include <QApplication>
#include <QSessionManager>
#include <cstdio>
#include <memory>

namespace zarq {

std::unique_ptr<SessionWatch> startDesktopWatch(TForm1& form, const DesktopOptions& options) {
    // The window follows what the watchers start through the session's notices, as it follows
    // the heartbeat; its boxes and states stay the user's to answer.
    // The login dialog has loaded (and checked) its settings file by now.
    if (!options.watch || !SessionWatch::savedSwitch(form.zArqLogin->registry()))
        return nullptr;
    auto watch = std::make_unique<SessionWatch>(form.zArqLogin->session());
    if (const QString why = watch->start(); !why.isEmpty())
        std::fprintf(stderr,
                     "zarq: %s; address changes reach the service with the next heartbeat\n",
                     qPrintable(why));
    return watch;
}

int runDesktop(QApplication& app, const DesktopOptions& options, const SignalWatch& watchSignals) {
    // No application display name: Qt would append it to every window title on X11 and
    // Wayland ("Error — TERVAN ..."), and each window's caption is its own text alone. The
    // title lives in applicationTitle() for the error box and the single-instance guard.
    // The program lives in the tray: a hidden main window is no reason to end.
    app.setQuitOnLastWindowClosed(false);

    TSingleInstance SingleInstance1(applicationTitle());
    if (!options.runtimeDir.isEmpty())
        SingleInstance1.setRuntimeDir(options.runtimeDir);
    SingleInstance1.setSwitchToPrevious(true);
    if (!SingleInstance1.isFirst())
        return 0; // the running copy has been asked to come forward

    Skin::apply(app);
    MainWindowEnvironment environment = MainWindowEnvironment::standard(options.config);
    environment.login.heartbeatMs = options.heartbeatMs;
    TForm1 Form1(std::move(environment));
    const std::unique_ptr<SessionWatch> watch = startDesktopWatch(Form1, options);
    QObject::connect(&SingleInstance1, &TSingleInstance::showRequested, &Form1,
                     [&Form1] { showAndRaise(&Form1); });

    // Logging out of the desktop ends the program the way exit does: sign out first.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &Form1,
                     [&Form1](QSessionManager&) { Form1.endSession(); });
    if (watchSignals && !watchSignals([&Form1] { Form1.endSession(); }))
        std::fputs("zarq: cannot watch for SIGTERM/SIGINT; they will end the program without "
                   "a sign-out\n",
                   stderr);

    Form1.show();
    return app.exec();
}

} // namespace zarq
