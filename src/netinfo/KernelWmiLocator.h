#pragma once

#include "netinfo/KernelSnapshot.h"
#include "netinfo/WmiLocator.h"

#include <functional>

namespace zarq {

// The WMI stand-in: connects to this machine's root\CIMV2 only, and every connection
// answers from the snapshot of the kernel's interfaces and routes that its source gives
// (by default a fresh one for each connection).
class KernelWmiLocator : public WmiLocator {
public:
    using SnapshotSource = std::function<KernelSnapshot()>;

    // `source` reads the kernel; tests hand in fixed snapshots.
    explicit KernelWmiLocator(SnapshotSource source = [] { return KernelSnapshot::read(); })
        : m_source(std::move(source)) {}

    // A source that asks `read` at its first use and gives every later connection that same
    // snapshot. A read that fails is not kept: the next connection asks again.
    static SnapshotSource readOnce(SnapshotSource read);

    std::unique_ptr<WmiServices> connectServer(const QString& server, const QString& nameSpace,
                                               const QString& user,
                                               const QString& password) override;

private:
    SnapshotSource m_source;
};

} // namespace zarq
