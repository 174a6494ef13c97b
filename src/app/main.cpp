#include "app/DiagnosticCommands.h"

#include <cstdio>
#include <cstring>

namespace {

void printUsage(const char* program) {
    std::fprintf(stderr,
                 "Usage: %s OPTION\n"
                 "  --lan-address     print the LAN address sent with the sign-in\n"
                 "  --network-report  print the report of network adapters and DNS servers\n",
                 program);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--lan-address") == 0)
        return zarq::runLanAddressCommand();
    if (argc == 2 && std::strcmp(argv[1], "--network-report") == 0)
        return zarq::runNetworkReportCommand();
    printUsage(argc > 0 ? argv[0] : "zarq");
    return 2;
}
