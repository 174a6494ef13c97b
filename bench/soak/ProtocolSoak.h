#pragma once

#include "soak/Figures.h"

#include <QString>

namespace soak {

// Sign-in and sign-out cycles through the session protocol object in this process, against
// the service at `host`: a warm-up, the figures, `cycles` cycles, the figures again. Every
// cycle must be accepted (a sign-in notice "signed in", a sign-out that does not throw).
struct ProtocolSoak {
    QString host; // "127.0.0.1:<port>"
    int warmup = 20;
    int cycles = 1000;

    struct Result {
        Figures start, end;
        int cycles = 0;
        double seconds = 0;
        QString failure;
    };
    Result run() const;
};

} // namespace soak
