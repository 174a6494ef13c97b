// Cost of the network probes the session makes at every sign-in and heartbeat, on this
// machine. The reference is the least any answer needs: one getifaddrs call and one read
// of /proc/net/route.
#include "netinfo/FileText.h"
#include "netinfo/KernelSnapshot.h"
#include "netinfo/KernelWmiLocator.h"
#include "netinfo/LanAddress.h"
#include "netinfo/NetworkReport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <ifaddrs.h>
#include <map>
#include <string>
#include <sys/resource.h>

namespace {

void KernelReference(benchmark::State& state) {
    for (auto _ : state) {
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) == 0)
            ::freeifaddrs(list);
        benchmark::DoNotOptimize(zarq::readWholeFile(QStringLiteral("/proc/net/route")));
    }
}
BENCHMARK(KernelReference);

void KernelSnapshotRead(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zarq::KernelSnapshot::read());
}
BENCHMARK(KernelSnapshotRead);

void GetLanAddress(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zarq::GetLanAddress());
}
BENCHMARK(GetLanAddress);

// The same resolution with a kernel reading for every query instead of one per call.
void GetLanAddressReadPerQuery(benchmark::State& state) {
    for (auto _ : state) {
        zarq::KernelWmiLocator locator;
        benchmark::DoNotOptimize(zarq::GetLanAddress(locator));
    }
}
BENCHMARK(GetLanAddressReadPerQuery);

void NetworkReport(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(zarq::NetworkReport::getipinfo());
}
BENCHMARK(NetworkReport);

// Keeps the mean time of every run so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("GetLanAddress: %s\n", zarq::GetLanAddress().constData());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double reference = reporter.times["KernelReference"];
    if (reference > 0) {
        for (const char* name : {"KernelSnapshotRead", "GetLanAddress", "GetLanAddressReadPerQuery",
                                 "NetworkReport"}) {
            if (reporter.times.count(name))
                std::printf("%-26s %6.1f x reference\n", name, reporter.times[name] / reference);
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %ld KiB\n", usage.ru_maxrss);
    return 0;
}
