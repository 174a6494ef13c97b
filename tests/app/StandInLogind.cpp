// A stand-in for logind on whatever bus DBUS_SYSTEM_BUS_ADDRESS names: owns
// org.freedesktop.login1 and sends PrepareForSleep(true) then PrepareForSleep(false) (a sleep
// and a resume) for every line read on standard input. Prints "ready" once it owns the name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "stand-in logind: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&bus] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        for (bool sleeping : {true, false}) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("PrepareForSleep"));
            signal << sleeping;
            bus.send(signal);
        }
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("GetId"))); // flushes the sends
        std::printf("sent\n");
        std::fflush(stdout);
    });
    return app.exec();
}
