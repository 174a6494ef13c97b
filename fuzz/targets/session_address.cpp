// The address checks of the session and the HTTP client: the dotted-address test, the
// inet_addr conversion and the test the service's reply must pass.
#include "FuzzTarget.h"
#include "http/DottedAddress.h"
#include "session/SessionProtocol.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)zarq::IsDottedAddress(text);
    (void)zarq::SessionProtocol::passesInetAddr(text);
    if (const auto address = zarq::InetAddr(text)) {
        // Whatever form was read, its dotted text must read back as the same address.
        if (zarq::InetAddr(zarq::DottedText(*address)) != address)
            zarq::fuzz::fail("dotted text of an address reads back differently");
    }
    if (size >= 4) {
        quint32 raw;
        std::memcpy(&raw, data, 4);
        const QByteArray dotted = zarq::DottedText(raw);
        if (!zarq::IsDottedAddress(dotted) || zarq::InetAddr(dotted) != raw)
            zarq::fuzz::fail("an address's dotted text is not read back as itself");
    }
    return 0;
}
