// One 64 MiB file from the reference update host (tools/zarq-update-host on 127.0.0.1):
// TAutoUpdate's transfer, with the SHA-256 check a signed run makes, against the curl
// command-line tool in the same run, alternating, several rounds. Reports the rate ratio, CPU
// per MiB, the growth of this process's resident memory during a transfer, the CPU one transfer
// costs while the host stalls, and the time to verify the signature of a 64 KiB control file
// (signed with the minisign tool).
//   update_bench [MiB] [rounds]
#include "support/ProcessProbe.h"
#include "update/TAutoUpdate.h"
#include "update/UpdateSignature.h"

#include <QCryptographicHash>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/time.h>

namespace {

double cpuSeconds(int who) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// TAutoUpdate with its transfer opened up and resident memory sampled while data arrives.
class BenchUpdate : public zarq::TAutoUpdate {
public:
    BenchUpdate() {
        UpdateUpdate = zarq::auuSilent;
        OnFileProgress = [this](TAutoUpdate*, const QString&, qint64 pos, qint64) {
            if (pos - m_lastSample >= 1024 * 1024) {
                m_lastSample = pos;
                peakRss = std::max(
                    peakRss, bench::statusField(QCoreApplication::applicationPid(), "VmRSS:"));
            }
        };
    }
    using TAutoUpdate::Connect;
    using TAutoUpdate::Disconnect;
    using TAutoUpdate::TransferFile;
    using TAutoUpdate::TransferLimited;
    void resetSamples() {
        m_lastSample = 0;
        peakRss = 0;
    }
    long peakRss = 0;

private:
    qint64 m_lastSample = 0;
};

struct Run {
    double seconds = 0;
    double cpu = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int mib = argc > 1 ? std::atoi(argv[1]) : 64;
    const int rounds = std::max(2, argc > 2 ? std::atoi(argv[2]) : 7);
    QTemporaryDir work;
    qputenv("HOME", work.path().toUtf8());
    qputenv("XDG_CACHE_HOME", (work.path() + "/cache").toUtf8());
    const QString root = work.path() + "/root/", target = work.path() + "/target/";
    QDir().mkpath(root);
    QDir().mkpath(target);
    {
        QFile f(root + "big.bin");
        f.open(QIODevice::WriteOnly);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 131) ^ (i >> 9));
        for (int i = 0; i < mib; ++i)
            f.write(block);
    }
    {
        QFile f(root + "small.bin");
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(64 * 1024, 'x'));
    }

    QProcess host;
    host.start(QStringLiteral("python3"),
               {QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-update-host"), "--update-root", root,
                "--port", "0", "--port-file", work.path() + "/port", "--quiet"});
    if (!bench::waitFor([&] { return QFile::exists(work.path() + "/port"); }, 30000)) {
        std::fprintf(stderr, "update host did not start\n");
        return 1;
    }
    QFile portFile(work.path() + "/port");
    portFile.open(QIODevice::ReadOnly);
    const QString base = "http://127.0.0.1:" + QString::fromLatin1(portFile.readAll().trimmed());
    const QString url = base + "/big.bin";

    QByteArray digest;
    {
        QFile f(root + "big.bin");
        f.open(QIODevice::ReadOnly);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&f);
        digest = hash.result();
    }
    BenchUpdate update;
    if (update.Connect() != 0)
        return 1;
    QList<Run> ours, plains, curls;
    QList<long> rssGrowth;
    const qint64 limit = qint64(mib + 1) * 1024 * 1024;
    for (int round = 0; round < rounds; ++round) {
        QFile::remove(target + "big.bin");
        update.resetSamples();
        const long rssBefore = bench::statusField(QCoreApplication::applicationPid(), "VmRSS:");
        double c0 = cpuSeconds(RUSAGE_SELF), t0 = bench::monotonicNow();
        if (!update.TransferLimited(url, target, limit, digest)) {
            std::fprintf(stderr, "the transfer failed\n");
            return 1;
        }
        ours.append({bench::monotonicNow() - t0, cpuSeconds(RUSAGE_SELF) - c0});
        rssGrowth.append(update.peakRss - rssBefore);

        // The same transfer without the check (an unsigned run), for what the hash costs.
        QFile::remove(target + "big.bin");
        c0 = cpuSeconds(RUSAGE_SELF);
        t0 = bench::monotonicNow();
        if (!update.TransferLimited(url, target, limit)) {
            std::fprintf(stderr, "the transfer failed\n");
            return 1;
        }
        plains.append({bench::monotonicNow() - t0, cpuSeconds(RUSAGE_SELF) - c0});

        QFile::remove(target + "curl.bin");
        QProcess curl;
        c0 = cpuSeconds(RUSAGE_CHILDREN);
        t0 = bench::monotonicNow();
        curl.start(QStringLiteral("curl"), {"-s", "-f", "-o", target + "curl.bin", url});
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
            std::fprintf(stderr, "curl failed\n");
            return 1;
        }
        curls.append({bench::monotonicNow() - t0, cpuSeconds(RUSAGE_CHILDREN) - c0});
    }
    const auto median = [](QList<Run> runs, double Run::*field) {
        std::sort(runs.begin(), runs.end(),
                  [field](const Run& a, const Run& b) { return a.*field < b.*field; });
        return runs[runs.size() / 2].*field;
    };
    const double ourRate = mib / median(ours, &Run::seconds);
    const double curlRate = mib / median(curls, &Run::seconds);
    std::printf("%d MiB file, median of %d rounds each\n", mib, rounds);
    const double plainRate = mib / median(plains, &Run::seconds);
    std::printf("TransferFile with SHA-256: %.0f MiB/s, CPU %.2f ms/MiB\n", ourRate,
                1000 * median(ours, &Run::cpu) / mib);
    std::printf("TransferFile unchecked:    %.0f MiB/s, CPU %.2f ms/MiB\n", plainRate,
                1000 * median(plains, &Run::cpu) / mib);
    std::printf("curl tool:    %.0f MiB/s, CPU %.2f ms/MiB (the whole process, start included)\n",
                curlRate, 1000 * median(curls, &Run::cpu) / mib);
    std::printf("rate ratio TransferFile/curl: %.2f with SHA-256, %.2f unchecked (goal: at least "
                "0.8, aim 1.0)\n",
                ourRate / curlRate, plainRate / curlRate);
    // The first transfer also pays for what libcurl and the engine set up once.
    std::printf("resident memory growth during a transfer: first %ld KiB, largest later %ld KiB "
                "(goal: under 1024)\n",
                rssGrowth.first(), *std::max_element(rssGrowth.begin() + 1, rssGrowth.end()));

    // The same small transfer without and with a stall: the host sends the head, then nothing
    // for 5 seconds, then the body. The difference is what the waiting costs.
    const auto smallTransfer = [&] {
        const double c0 = cpuSeconds(RUSAGE_SELF), t0 = bench::monotonicNow();
        const bool ok = update.TransferFile(base + "/small.bin", target);
        return Run{ok ? bench::monotonicNow() - t0 : -1, cpuSeconds(RUSAGE_SELF) - c0};
    };
    const Run plain = smallTransfer();
    QProcess control;
    control.start(QStringLiteral("curl"),
                  {"-s", "-o", "/dev/null", base + "/_control?fault=stall&after=0&delay=5"});
    control.waitForFinished(30000);
    const Run stalled = smallTransfer();
    std::printf(
        "a 64 KiB transfer: %.2f ms CPU; across a 5 s stall (%s after %.1f s): %.2f ms CPU, "
        "so %.2f ms for the stall (goal: none while stalled)\n",
        1000 * plain.cpu, stalled.seconds < 0 ? "FAILED" : "done", stalled.seconds,
        1000 * stalled.cpu, 1000 * (stalled.cpu - plain.cpu));
    update.Disconnect();
    host.terminate();
    host.waitForFinished(10000);

    // The signature check of a 64 KiB control file, as the run makes it before reading it.
    QFile control64(work.path() + "/update1.txt");
    control64.open(QIODevice::WriteOnly);
    for (int i = 0; control64.size() < 64 * 1024; ++i)
        control64.write(QStringLiteral("[file%1]\r\nurl=http://127.0.0.1/f%1\r\n").arg(i).toUtf8());
    control64.close();
    const QString keyDir = work.path() + "/";
    QProcess keygen, signer;
    keygen.start("minisign", {"-G", "-W", "-p", keyDir + "key.pub", "-s", keyDir + "key.sec"});
    keygen.waitForFinished(30000);
    signer.start("minisign", {"-S", "-s", keyDir + "key.sec", "-m", control64.fileName()});
    signer.waitForFinished(30000);
    QFile pub(keyDir + "key.pub"), sig(control64.fileName() + ".minisig");
    control64.open(QIODevice::ReadOnly);
    if (!pub.open(QIODevice::ReadOnly) || !sig.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "minisign (Debian package minisign) could not sign\n");
        return 1;
    }
    const auto key =
        zarq::UpdatePublicKey::parse(pub.readAll().trimmed().split('\n').last(), nullptr);
    const QByteArray content = control64.readAll(), signature = sig.readAll();
    QList<double> times;
    bool valid = key.has_value();
    for (int i = 0; i < 201 && valid; ++i) {
        const double t0 = bench::monotonicNow();
        valid = zarq::UpdateSignature::verify(content, signature, {*key}).valid;
        times.append(bench::monotonicNow() - t0);
    }
    std::sort(times.begin(), times.end());
    std::printf("signature check of a 64 KiB control file: %s, median %.3f ms of %lld "
                "(goal: under 1 ms)\n",
                valid ? "valid" : "FAILED", valid ? 1000 * times[times.size() / 2] : 0.0,
                qint64(times.size()));
    return valid ? 0 : 1;
}
