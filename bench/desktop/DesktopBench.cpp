// zarq_desktop_bench [RUNS]
// Measures the desktop program (a real window on Xvfb, with trayer as the tray host) against
// tools/zarq-service on 127.0.0.1:
//  - time from process start to the service seeing the sign-in (the 100 ms auto-login tick
//    included), median of RUNS runs (default 7);
//  - total RSS (VmRSS) and private memory (RssAnon) of the signed-in program.
// Every run has its own temporary HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR.
#include "support/ProcessProbe.h"
#include "support/ReferenceService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

const QString kZarq = QStringLiteral(ZARQ_BINARY_DIR "/src/app/zarq");

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (xvfb.isEmpty() || trayer.isEmpty()) {
        std::fprintf(stderr, "needs Xvfb and trayer (Debian packages xvfb, trayer)\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString portFile = dir.filePath(QStringLiteral("port"));

    bench::ReferenceService service;
    if (!service.start(portFile, QStringLiteral("bench.dyn.tervan.com=benchpw")))
        return 1;
    const QString host = service.host();
    QList<double>& signins = service.signins;

    int n = 95;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
           QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
        ++n;
    const QString display = QStringLiteral(":%1").arg(n);
    QProcess x;
    x.start(xvfb,
            {display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
             QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!bench::waitFor([&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); },
                        30000)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("ZARQ_ECHO_HOST"), host);
    env.insert(QStringLiteral("ZARQ_API_HOST"), host);
    env.insert(QStringLiteral("ZARQ_UPDATE_URL"), "http://" + host + "/update1.txt");
    QProcess tray;
    tray.setProcessEnvironment(env);
    tray.start(trayer, {});
    tray.waitForStarted(10000);
    bench::waitFor([] { return false; }, 500); // the tray host takes its place

    QList<double> startMs;
    long rssAnonKb = 0, rssKb = 0;
    for (int i = 0; i < runs; ++i) {
        const QString base = dir.filePath(QStringLiteral("run%1").arg(i));
        for (const char* sub : {"home", "config", "runtime"})
            QDir().mkpath(base + u'/' + QLatin1String(sub));
        QFile::setPermissions(base + QStringLiteral("/runtime"), QFileDevice::ReadOwner |
                                                                     QFileDevice::WriteOwner |
                                                                     QFileDevice::ExeOwner);
        QProcessEnvironment runEnv = env;
        runEnv.insert(QStringLiteral("HOME"), base + QStringLiteral("/home"));
        runEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), base + QStringLiteral("/config"));
        runEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), base + QStringLiteral("/runtime"));
        if (!bench::setLogin(kZarq, runEnv, QStringLiteral("bench"), "benchpw"))
            return 1;

        QProcess zarq;
        zarq.setProcessEnvironment(runEnv);
        zarq.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qsizetype before = signins.size();
        const double t0 = bench::monotonicNow();
        zarq.start(kZarq, {});
        if (!bench::waitFor([&] { return signins.size() > before; }, 30000)) {
            std::fprintf(stderr, "no sign-in seen\n");
            return 1;
        }
        startMs.append((signins.last() - t0) * 1000.0);
        bench::waitFor([] { return false; }, 500); // the reply arrives, the window settles
        rssAnonKb = std::max(rssAnonKb, bench::statusField(zarq.processId(), "RssAnon:"));
        rssKb = std::max(rssKb, bench::statusField(zarq.processId(), "VmRSS:"));
        ::kill(pid_t(zarq.processId()), SIGTERM);
        zarq.waitForFinished(30000);
    }
    std::sort(startMs.begin(), startMs.end());
    bench::stopProcess(tray);
    bench::stopProcess(x);
    service.stop();

    std::printf("desktop start to signed-in (service sees /auth/), %d runs: median %.1f ms, "
                "min %.1f ms, max %.1f ms (goal < 300 ms; includes the 100 ms auto-login tick)\n",
                runs, startMs[runs / 2], startMs.first(), startMs.last());
    std::printf("signed-in memory: VmRSS %ld KiB = %.1f MiB (goal < 45 MiB), RssAnon %ld KiB = "
                "%.1f MiB\n",
                rssKb, rssKb / 1024.0, rssAnonKb, rssAnonKb / 1024.0);
    return 0;
}
