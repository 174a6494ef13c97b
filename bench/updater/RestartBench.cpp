// The restart's cost: from the end of the last download (zarq prints message 962 right after
// the transfer of the program's new file) to the new program running, through the program's
// end, the updater's wait, its 500 ms pause, the placing of the file and the start. Also the
// peak resident memory of the updater while it works. Real processes in a throw-away HOME: a
// copy of zarq in a folder, the reference update host listing a newer build of it.
//
//   zarq_restart_bench [rounds]     (default 5; the median and the spread are printed)

#include "support/ProcessProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The program with the build part of its version note set to `build`.
QByteArray withBuild(QByteArray program, quint16 build) {
    static const QByteArray head("\x05\0\0\0\x08\0\0\0\x56\x5a\0\0Zarq\0\0\0\0", 20);
    qsizetype at = program.indexOf(head);
    if (at < 0)
        return {};
    for (; at >= 0; at = program.indexOf(head, at + 1))
        qToLittleEndian(build, program.data() + at + head.size() + 6);
    return program;
}

bool alive(qint64 pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

QList<qint64> processesOf(const QString& path, qint64 except) {
    QList<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && pid != except &&
            QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) == path && alive(pid))
            found.append(pid);
    }
    return found;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

struct Round {
    double toExit = 0;    // last download -> old process gone
    double toRunning = 0; // last download -> new process running
    long updaterPeakKiB = -1;
    long updaterAnonKiB = -1;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir home;
    const QString root = home.path() + "/root/";
    const QString folder = home.path() + "/app/";
    const QString staging = home.path() + "/cache/tervan/tmp/";
    QDir().mkpath(root);
    QDir().mkpath(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CACHE_HOME", home.path() + "/cache");
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("ZARQ_ECHO_HOST", "127.0.0.1:1");
    env.insert("ZARQ_API_HOST", "127.0.0.1:1");

    QProcess host;
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(ZARQ_PYTHON),
               {QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-update-host"), "--update-root", root,
                "--port", "0", "--port-file", home.path() + "/port", "--quiet"});
    if (!bench::waitFor([&] { return QFile::exists(home.path() + "/port"); }, 30000)) {
        std::fprintf(stderr, "the update host did not start\n");
        return 1;
    }
    const QString base =
        QStringLiteral("http://127.0.0.1:%1/").arg(readAll(home.path() + "/port").trimmed());
    env.insert("ZARQ_UPDATE_URL", base + "update1.txt");
    // What is measured is the restart, not the signature check: the control file is unsigned.
    env.insert("ZARQ_UPDATE_ALLOW_UNSIGNED", "1");
    writeAll(root + "update1.txt", "[application]\r\nappupdate=1\r\nappname=zarq\r\n"
                                   "appparam=--headless\r\nappcomps=zarq_NEW\r\n[files]\r\n"
                                   "count=1\r\n[file1]\r\nurl=" +
                                       (base + "zarq_NEW").toUtf8() + "\r\n");
    const QByteArray program = readAll(QStringLiteral(ZARQ_PROGRAM));
    const QString installed = folder + "zarq";

    // A saved login, so the restarted program stays up (signing in against nothing).
    writeAll(installed, program);
    ::chmod(QFile::encodeName(installed).constData(), 0755);
    QProcess login;
    login.setProcessEnvironment(env);
    login.start(installed, {"--set-login", "bench", "--autologin", "--password-stdin"});
    login.write("secret\n");
    login.closeWriteChannel();
    login.waitForFinished(30000);

    QList<Round> results;
    for (int r = 0; r < rounds; ++r) {
        writeAll(installed, program);
        writeAll(root + "zarq_NEW", withBuild(program, quint16(1000 + r)));
        QProcess zarq;
        zarq.setProcessEnvironment(env);
        zarq.setWorkingDirectory(folder);
        double downloaded = 0;
        QByteArray err;
        QObject::connect(&zarq, &QProcess::readyReadStandardError, [&] {
            err += zarq.readAllStandardError();
            if (downloaded == 0 && err.contains("[962]"))
                downloaded = bench::monotonicNow();
        });
        zarq.start(installed, {"--update"});
        zarq.waitForStarted(30000);
        const qint64 oldPid = zarq.processId();
        Round round;
        qint64 updater = 0;
        bench::waitFor(
            [&] {
                if (updater == 0) {
                    const QList<qint64> u = processesOf(staging + "updater.exe", 0);
                    updater = u.isEmpty() ? 0 : u.first();
                }
                if (updater != 0 && alive(updater)) {
                    round.updaterPeakKiB =
                        std::max(round.updaterPeakKiB, bench::statusField(updater, "VmHWM:"));
                    round.updaterAnonKiB =
                        std::max(round.updaterAnonKiB, bench::statusField(updater, "RssAnon:"));
                }
                return zarq.state() == QProcess::NotRunning;
            },
            60000);
        round.toExit = bench::monotonicNow() - downloaded;
        QList<qint64> restarted;
        bench::waitFor(
            [&] {
                if (updater != 0 && alive(updater)) {
                    round.updaterPeakKiB =
                        std::max(round.updaterPeakKiB, bench::statusField(updater, "VmHWM:"));
                    round.updaterAnonKiB =
                        std::max(round.updaterAnonKiB, bench::statusField(updater, "RssAnon:"));
                }
                restarted = processesOf(installed, oldPid);
                return !restarted.isEmpty();
            },
            60000);
        round.toRunning = bench::monotonicNow() - downloaded;
        if (downloaded == 0 || restarted.isEmpty()) {
            std::fprintf(stderr, "round %d: no restart\n%s\n", r + 1, err.constData());
            return 1;
        }
        for (qint64 pid : restarted)
            ::kill(pid_t(pid), SIGTERM);
        bench::waitFor(
            [&] {
                return std::none_of(restarted.begin(), restarted.end(),
                                    [](qint64 p) { return alive(p); });
            },
            30000);
        results.append(round);
        std::printf("round %d: old program gone after %.0f ms, new one running after %.0f ms; "
                    "updater peak %ld KiB (private %ld KiB)\n",
                    r + 1, round.toExit * 1000, round.toRunning * 1000, round.updaterPeakKiB,
                    round.updaterAnonKiB);
    }
    QList<double> running, exits;
    for (const Round& r : results) {
        running.append(r.toRunning * 1000);
        exits.append(r.toExit * 1000);
    }
    std::printf("median of %d: last download -> old program gone %.0f ms, -> new program "
                "running %.0f ms (min %.0f, max %.0f; goal under 1500 ms)\n",
                rounds, median(exits), median(running),
                *std::min_element(running.begin(), running.end()),
                *std::max_element(running.begin(), running.end()));
    std::printf("updater on disk: %lld bytes\n",
                static_cast<long long>(QFileInfo(staging + "updater.exe").size()));
    host.terminate();
    host.waitForFinished(10000);
    return 0;
}
