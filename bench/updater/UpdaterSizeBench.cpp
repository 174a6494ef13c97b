// The updater's footprint: its size on disk (goal: under 1 MiB), the size of the packed copy
// that zarq carries, and the peak resident memory of one run that places nothing and restarts
// nothing. The run lives in a throw-away HOME, so no real hand-over file is touched.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString updater = QStringLiteral(ZARQ_UPDATER);
    const QString packed = QStringLiteral(ZARQ_UPDATER_PACKED);
    const qint64 size = QFileInfo(updater).size();
    std::printf("updater on disk:   %lld bytes (%.1f%% of 1 MiB)\n", static_cast<long long>(size),
                100.0 * static_cast<double>(size) / (1024.0 * 1024.0));
    std::printf("packed in zarq:    %lld bytes\n",
                static_cast<long long>(QFileInfo(packed).size()));

    QTemporaryDir home;
    const QByteArray homeVar = "HOME=" + home.path().toLocal8Bit();
    std::vector<char*> env{const_cast<char*>(homeVar.constData())};
    for (char** e = environ; *e; ++e) {
        if (qstrncmp(*e, "HOME=", 5) != 0 && qstrncmp(*e, "XDG_", 4) != 0)
            env.push_back(*e);
    }
    env.push_back(nullptr);
    const QByteArray program = updater.toLocal8Bit();
    const QByteArray staging = home.path().toLocal8Bit();
    // Process id 0: nothing to wait for; "null": no restart.
    const char* args[] = {program.constData(), "0", "X", "null", " ", staging.constData(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, const_cast<char**>(args),
                    env.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", program.constData());
        return 1;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::printf("peak resident:     %ld KiB (one run, nothing to place)\n", usage.ru_maxrss);
    return 0;
}
