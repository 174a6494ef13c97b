#include "soak/Figures.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <dirent.h>

namespace soak {

namespace {

// "Name:   1234 kB" lines of a /proc file, the number of the line starting with `field`.
long field(const QByteArray& text, const char* name) {
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QByteArray slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

long countFds(const QString& pid) {
    DIR* dir = ::opendir(QStringLiteral("/proc/%1/fd").arg(pid).toLocal8Bit().constData());
    if (!dir)
        return -1;
    long n = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++n;
    }
    ::closedir(dir);
    // Reading our own folder holds one descriptor open for the listing itself.
    return pid == QLatin1String("self") ? n - 1 : n;
}

} // namespace

Figures Figures::read(const QString& pid) {
    Figures f;
    const QString base = QStringLiteral("/proc/%1/").arg(pid);
    f.vmRssKb = field(slurp(base + QStringLiteral("status")), "VmRSS");
    f.anonymousKb = field(slurp(base + QStringLiteral("smaps_rollup")), "Anonymous");
    f.fds = countFds(pid);
    return f;
}

bool printTable(FILE* out, const QString& title, const Figures& start, const Figures& end,
                long memoryGoalKb) {
    struct Row {
        const char* what;
        long start, end;
        long limit; // the largest growth allowed; -1: no goal
    };
    const Row rows[] = {
        {"VmRSS (KiB)", start.vmRssKb, end.vmRssKb, -1},
        {"anonymous (KiB)", start.anonymousKb, end.anonymousKb, memoryGoalKb},
        {"descriptors", start.fds, end.fds, 0},
        {"timers", long(start.timers), long(end.timers), 0},
        {"QObjects", long(start.objects), long(end.objects), 0},
    };
    bool met = true;
    std::fprintf(out, "\n%s\n", qPrintable(title));
    std::fprintf(out, "  %-16s %10s %10s %8s  %s\n", "figure", "start", "end", "growth", "goal");
    for (const Row& r : rows) {
        if (r.start < 0 || r.end < 0) {
            std::fprintf(out, "  %-16s %10s %10s %8s  %s\n", r.what, "n/a", "n/a", "", "");
            continue;
        }
        const long growth = r.end - r.start;
        QByteArray goal;
        if (r.limit >= 0) {
            const bool ok = growth <= r.limit;
            met = met && ok;
            goal = (r.limit == 0 ? QByteArray("no growth") : "<= " + QByteArray::number(r.limit)) +
                   (ok ? ": met" : ": MISSED");
        }
        std::fprintf(out, "  %-16s %10ld %10ld %+8ld  %s\n", r.what, r.start, r.end, growth,
                     goal.constData());
    }
    std::fflush(out);
    return met;
}

} // namespace soak
