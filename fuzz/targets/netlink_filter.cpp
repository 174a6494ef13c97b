// The rtnetlink filter over one datagram as the kernel would hand it over. The first byte
// picks the index of the interface holding the default route.
#include "FuzzTarget.h"
#include "netinfo/NetlinkFilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    zarq::NetlinkFilter filter;
    const unsigned defaultIndex = data[0];
    filter.defaultInterface = [defaultIndex] { return defaultIndex; };
    // A copy, so the datagram is aligned as the kernel's buffer is and ends where it ends.
    const QByteArray datagram(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    (void)filter.matters(datagram);
    // The same datagram a second time, now against the link states the first one left.
    (void)filter.matters(datagram);
    return 0;
}
