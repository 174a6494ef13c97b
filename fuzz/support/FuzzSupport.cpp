#include "FuzzTarget.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace zarq::fuzz {

void ensureCoreApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "zarq-fuzz";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends; the targets share it.
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

void fail(const char* what) {
    std::fprintf(stderr, "zarq-fuzz: finding: %s\n", what);
    std::abort();
}

} // namespace zarq::fuzz
