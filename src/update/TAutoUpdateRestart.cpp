#include "update/TAutoUpdate.h"

#include <cstdio>

// The restart through the updater program.

namespace zarq {

void TAutoUpdate::RestartApplication() {
    // The updater program that puts the fetched components in place does not exist yet; the
    // components stay in the staging folder and the program goes on unchanged.
    std::fprintf(stderr, "zarq: update: restart after an update is not available yet\n");
}

bool TAutoUpdate::ExtractUpdater() {
    return false; // seam: the updater program is not carried yet
}

} // namespace zarq
