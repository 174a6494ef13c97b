// A tiny program guarded like Zarq: started twice (or after a crash) by the single-instance
// tests. Usage: probe <runtime dir> run [--hidden|--minimized] | crash
// Prints one line per event on stdout: FIRST, SECOND ack=<0|1>, WINDOW, RAISED ...
#include "shell/TSingleInstance.h"
#include "shell/WindowActivation.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {
void say(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const QString mode = args.at(2);

    zarq::TSingleInstance guard(QStringLiteral("TERVAN 蓝杉果动态域名客户端"));
    guard.setRuntimeDir(args.at(1));
    if (!guard.isFirst()) {
        say("SECOND ack=" + QByteArray::number(guard.acknowledged() ? 1 : 0));
        return 3;
    }
    say("FIRST");
    if (mode == QLatin1String("crash"))
        ::_exit(9); // no clean-up: the lock file and the socket stay behind

    QWidget window;
    window.setWindowTitle(QStringLiteral("probe"));
    if (args.contains(QStringLiteral("--minimized")))
        window.showMinimized();
    else if (!args.contains(QStringLiteral("--hidden")))
        window.show();
    say("WINDOW");
    QObject::connect(&guard, &zarq::TSingleInstance::showRequested, &window, [&] {
        zarq::showAndRaise(&window);
        say("RAISED visible=" + QByteArray::number(window.isVisible() ? 1 : 0) +
            " minimized=" + QByteArray::number(window.isMinimized() ? 1 : 0));
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(60000, &app, [] { ::_exit(4); }); // never outlive a broken test
    return app.exec();
}
