// URL splitting. The input is the URL, then optionally a line break and the request path that
// relative forms are read against.
#include "FuzzTarget.h"
#include "http/HttpUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = zarq::fuzz::bytesOf(data, size);
    const qsizetype cut = input.indexOf('\n');
    const QByteArray url = cut < 0 ? input : input.left(cut);
    const QByteArray base = cut < 0 ? QByteArray("/") : input.mid(cut + 1);
    const zarq::HttpUrlParts parts = zarq::SplitHttpUrl(url, base);
    // The host the client connects to never takes in user information, a path or a query,
    // and the port never holds another colon: "http://evil@good/" must not reach "evil".
    for (const char c : {'/', '?', '@'}) {
        if (parts.host.contains(c) || parts.port.contains(c))
            zarq::fuzz::fail("the host or port holds a separator");
    }
    if (parts.port.contains(':'))
        zarq::fuzz::fail("the port holds a colon");
    // Splitting is stable: the same input gives the same parts.
    if (!(zarq::SplitHttpUrl(url, base) == parts))
        zarq::fuzz::fail("splitting the same URL twice differs");
    return 0;
}
