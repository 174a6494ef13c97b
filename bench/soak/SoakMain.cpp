// zarq_soak [--heartbeats N] [--cycles N] [--notices N] [--only headless|protocol|desktop]
// Long runs that must leave memory, descriptors and timers flat, against tools/zarq-service on
// 127.0.0.1 (every folder the programs use is a temporary one):
//  1. zarq --headless with a 1 ms heartbeat for N heartbeats (default 20000), counted at the
//     service, after a warm-up of a sign-in and 200 heartbeats;
//  2. N sign-in/sign-out cycles (default 1000) through the session protocol object in this
//     process, after 20 cycles of warm-up;
//  3. the desktop program on Xvfb (trayer as the tray host when installed) for N notices
//     (default 2000) in its main window: the service lets every session expire at once, so
//     each 1 ms heartbeat is answered "1" and the window signs in again, which shows three
//     notices (signing in, the addresses, signed in); 200 notices of warm-up.
// Goal: anonymous memory grows by at most 256 KiB, descriptors, timers and QObjects not at all.
// Exit status 0 when every goal is met, 1 when one is missed, 2 when a run fails.
#include "app/TimerCensus.h"
#include "soak/ExternalSoak.h"
#include "soak/ProtocolSoak.h"
#include "soak/SoakService.h"
#include "soak/XvfbDisplay.h"
#include "support/ReferenceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {

constexpr long kMemoryGoalKb = 256;
const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");
const QString kAccount = QStringLiteral("bench.dyn.tervan.com=benchpw");

// HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR under `base`, and the service.
QProcessEnvironment environment(const QString& base, const QString& host) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [variable, sub] :
         {std::pair{"HOME", "home"}, std::pair{"XDG_CONFIG_HOME", "config"},
          std::pair{"XDG_CACHE_HOME", "cache"}, std::pair{"XDG_RUNTIME_DIR", "runtime"}}) {
        const QString path = base + u'/' + QLatin1String(sub);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        env.insert(QLatin1String(variable), path);
    }
    env.insert(QStringLiteral("ZARQ_ECHO_HOST"), host);
    env.insert(QStringLiteral("ZARQ_API_HOST"), host);
    env.insert(QStringLiteral("ZARQ_UPDATE_URL"),
               QStringLiteral("http://%1/update1.txt").arg(host));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

int report(const QString& title, const soak::ExternalSoak::Result& r, const char* unit,
           const soak::SoakService& service) {
    if (!r.failure.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(r.failure));
        return 2;
    }
    const bool met = soak::printTable(stdout, title, r.start, r.end, kMemoryGoalKb);
    std::printf("  %ld %s in %.1f s (%.0f per second), the program's CPU %.0f ms; exit status "
                "after SIGTERM %d (0: signed out)\n",
                r.counted, unit, r.seconds, double(r.counted) / r.seconds, r.cpuMs, r.exitStatus);
    std::printf("  the service saw %ld sign-ins, %ld heartbeats, %ld expired sessions, %ld "
                "sign-outs and %ld other events (refusals, unknown sessions)\n",
                service.signins, service.heartbeats, service.expired, service.signouts,
                service.other);
    return met && r.exitStatus == 0 && service.other == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // This process's own census (the protocol cycles) has to see every object.
    if (!zarq::TimerCensus::install())
        std::fprintf(stderr, "this Qt's object hooks cannot be used: no timer figures\n");
    QCoreApplication app(argc, argv);
    long heartbeats = 20000, cycles = 1000, notices = 2000;
    QString only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--heartbeats"))
            heartbeats = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cycles"))
            cycles = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--notices"))
            notices = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--only"))
            only = QString::fromLocal8Bit(argv[i + 1]);
    }
    auto wanted = [&](const char* phase) { return only.isEmpty() || only == QLatin1String(phase); };
    QTemporaryDir dir;
    int status = 0;
    auto worst = [&status](int s) { status = std::max(status, s); };

    if (wanted("headless") || wanted("protocol")) {
        soak::SoakService service;
        if (!service.start(dir.filePath(QStringLiteral("port1")), kAccount))
            return 2;
        const QProcessEnvironment env =
            environment(dir.filePath(QStringLiteral("headless")), service.host());
        if (!bench::setLogin(kZarq, env, QStringLiteral("bench"), "benchpw"))
            return 2;
        if (wanted("headless")) {
            soak::ExternalSoak run;
            run.arguments = {QStringLiteral("--headless")};
            run.env = env;
            run.counter = [&service] { return service.heartbeats; };
            run.warmup = 200;
            run.count = heartbeats;
            worst(report(
                QStringLiteral("zarq --headless, 1 ms heartbeat, %1 heartbeats").arg(heartbeats),
                run.run(service), "heartbeats", service));
        }
        if (wanted("protocol")) {
            soak::ProtocolSoak run;
            run.host = service.host();
            run.cycles = int(cycles);
            const soak::ProtocolSoak::Result r = run.run();
            const QString title =
                QStringLiteral("session protocol in process, %1 sign-in/sign-out cycles")
                    .arg(cycles);
            if (!r.failure.isEmpty()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(r.failure));
                worst(2);
            } else {
                worst(soak::printTable(stdout, title, r.start, r.end, kMemoryGoalKb) ? 0 : 1);
                std::printf("  %d cycles in %.1f s (%.0f per second)\n", r.cycles, r.seconds,
                            double(r.cycles) / r.seconds);
            }
        }
    }

    if (wanted("desktop")) {
        soak::XvfbDisplay display;
        if (const QString why = display.start(); !why.isEmpty()) {
            std::fprintf(stderr, "desktop: %s\n", qPrintable(why));
            return 2;
        }
        soak::SoakService service;
        if (!service.start(dir.filePath(QStringLiteral("port2")), kAccount,
                           {QStringLiteral("--session-timeout"), QStringLiteral("0")}))
            return 2;
        QProcessEnvironment env =
            environment(dir.filePath(QStringLiteral("desktop")), service.host());
        if (!bench::setLogin(kZarq, env, QStringLiteral("bench"), "benchpw"))
            return 2;
        env.insert(QStringLiteral("DISPLAY"), display.name());
        display.startTray(env);
        soak::ExternalSoak run;
        run.env = env;
        // Every accepted sign-in shows three notices in the window.
        run.counter = [&service] { return 3 * service.signins; };
        run.warmup = 200;
        run.count = notices;
        worst(report(QStringLiteral("zarq-desktop on Xvfb%1, %2 notices (sign-ins x 3)")
                         .arg(display.hasTray() ? QStringLiteral(" with trayer") : QString())
                         .arg(notices),
                     run.run(service), "notices", service));
    }
    return status;
}
