// The WQL parser of the WMI stand-in. The input is read as a query; it is also pasted into a
// WHERE clause through quoted(), which must read back as exactly the same text.
#include "FuzzTarget.h"
#include "netinfo/WmiError.h"
#include "netinfo/WqlQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(zarq::fuzz::bytesOf(data, size));
    try {
        const zarq::WqlQuery query = zarq::WqlQuery::parse(text);
        (void)query.columns();
    } catch (const zarq::WmiError&) {
        // An invalid query is an answer, not a finding.
    }
    const QString pasted = "SELECT * FROM Win32_NetworkAdapter WHERE NetConnectionID = " +
                           zarq::WqlQuery::quoted(text);
    try {
        const zarq::WqlQuery query = zarq::WqlQuery::parse(pasted);
        const auto& condition = query.condition();
        if (!condition || condition->literal.toString() != text)
            zarq::fuzz::fail("a quoted value does not read back as itself");
    } catch (const zarq::WmiError&) {
        zarq::fuzz::fail("a quoted value makes the query invalid");
    }
    return 0;
}
