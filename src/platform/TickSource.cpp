#include "platform/TickSource.h"

#include <ctime>

namespace zarq {

namespace {

std::function<quint32()>& source() {
    static std::function<quint32()> s;
    return s;
}

quint32 monotonicTicks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const quint64 ms = quint64(ts.tv_sec) * 1000u + quint64(ts.tv_nsec) / 1000000u;
    return quint32(ms);
}

} // namespace

quint32 TickCount() {
    const auto& s = source();
    return s ? s() : monotonicTicks();
}

void SetTickSource(std::function<quint32()> s) {
    source() = std::move(s);
}

} // namespace zarq
