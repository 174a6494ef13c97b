// The pure parts under the socket: dotted addresses, error numbers and texts, the counter.
#include "http/DottedAddress.h"
#include "http/TSocketCounter.h"
#include "platform/SocketError.h"
#include "platform/TickSource.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace zarq;

namespace {

struct DottedCase {
    const char* host;
    bool dotted;
};

const DottedCase kDottedCases[] = {
    {"127.0.0.1", true},
    {"  10.1.2.3", true},
    {"10.1.2.3  ", true},
    {"  1.2.3.4  ", true},
    {"255.255.255.255", true},
    {"0.0.0.0", true},
    {"1.2.3", false},
    {"1.2.3.256", false},
    {"1.2.300.4", false},
    {".1.2.3", false},
    {"1.2.3.4.5", false},
    {"1..2.3", false},
    {"1.2.3.", false},
    {"a.b.c.d", false},
    {"1.2.3.4x", false},
    {"1.2.3.4 5", false},
    {"", false},
    {"example.org", false},
    {"0x7f.0.0.1", false},
};

class Dotted : public testing::TestWithParam<DottedCase> {};

TEST_P(Dotted, IsRecognised) {
    EXPECT_EQ(IsDottedAddress(GetParam().host), GetParam().dotted) << GetParam().host;
}

INSTANTIATE_TEST_SUITE_P(http, Dotted, testing::ValuesIn(kDottedCases));

TEST(httpDottedAddress, ConvertsWithBlanksAround) {
    const auto a = InetAddr("  10.1.2.3  ");
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(DottedText(*a), "10.1.2.3");
    EXPECT_EQ(DottedText(*InetAddr("255.255.255.255")), "255.255.255.255");
    EXPECT_FALSE(InetAddr("1.2.3.4x").has_value());
}

struct ErrnoCase {
    int err;
    int code;
    const char* text;
};

const ErrnoCase kErrnoCases[] = {
    {0, 0, "No Error"},
    {ECONNREFUSED, 10061, "Connection refused"},
    {ETIMEDOUT, 10060, "Connection timed out"},
    {ENETUNREACH, 10051, "Network is unreachable"},
    {EHOSTUNREACH, 10065, "No route to host"},
    {ECONNRESET, 10054, "Connection reset by peer"},
    {ENOTCONN, 10057, "Socket is not connected"},
    {EWOULDBLOCK, 10035, "Operation would block"},
    {EAGAIN, 10035, "Operation would block"},
    {EINPROGRESS, 10036, "Operation now in progress"},
    {EINVAL, 10022, "Invalid argument"},
    {EADDRINUSE, 10048, "Address already in use"},
    {EADDRNOTAVAIL, 10049, "Address not available"},
    {ECONNABORTED, 10053, "Connection aborted"},
    {ENOTSOCK, 10038, "Socket operation on non-socket"},
    {EMFILE, 10024, "Too many open files"},
    {EACCES, 10013, "Permission denied"},
    {EMSGSIZE, 10040, "Message too long"},
    {ENOENT, 10022, "Invalid argument"}, // no socket counterpart
};

class ErrnoMapping : public testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMapping, GivesTheWinsockNumberAndText) {
    const int code = WinsockErrorFromErrno(GetParam().err);
    EXPECT_EQ(code, GetParam().code);
    EXPECT_EQ(SocketErrorDesc(code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(http, ErrnoMapping, testing::ValuesIn(kErrnoCases));

TEST(httpSocketErrorDesc, LookupAndUnknownCodes) {
    EXPECT_EQ(SocketErrorDesc(11001), "Host not found");
    EXPECT_EQ(SocketErrorDesc(11004), "No Data");
    EXPECT_EQ(SocketErrorDesc(10093), "WinSock not initialized");
    EXPECT_EQ(SocketErrorDesc(10005), "Not a WinSock error");
    EXPECT_EQ(SocketErrorDesc(42), "Not a WinSock error");
}

struct CounterCase {
    const char* name;
    quint32 start;
    std::optional<quint32> send;
    std::optional<quint32> recv;
    quint32 now;
    quint32 idle;
};

const CounterCase kCounterCases[] = {
    {"StartOnly", 1000, {}, {}, 31000, 30000},
    {"ReceiveIsLatest", 1000, 2000, 5000, 6000, 1000},
    {"SendIsLatest", 1000, 7000, 5000, 7500, 500},
    {"WrapBetweenStartAndNow", 0xFFFFFF00u, {}, {}, 0x00000100u, 0x200},
    {"ReceiveAfterWrapIsLatest", 0xFFFFF000u, {}, 0x00000010u, 0x00000020u, 0x10},
    {"SendBeforeWrapOlderThanReceiveAfter", 0xFFFFF000u, 0xFFFFFFF0u, 0x5u, 0x15u, 0x10},
    {"TickZeroIsARealMoment", 0xFFFFFFF0u, 0u, {}, 0x64u, 0x64},
};

class Counter : public testing::TestWithParam<CounterCase> {
protected:
    void TearDown() override { SetTickSource({}); }
};

TEST_P(Counter, IdleTimeIsExactAcrossTheWrap) {
    const CounterCase& c = GetParam();
    quint32 now = c.start;
    SetTickSource([&now] { return now; });
    TSocketCounter counter;
    counter.Reset();
    EXPECT_EQ(counter.StartTick(), c.start);
    if (c.send)
        counter.SetLastSendTick(*c.send);
    if (c.recv)
        counter.SetLastRecvTick(*c.recv);
    EXPECT_EQ(counter.IdleMs(c.now), c.idle);
}

INSTANTIATE_TEST_SUITE_P(http, Counter, testing::ValuesIn(kCounterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(httpCounter, ResetForgetsEarlierActivity) {
    quint32 now = 100;
    SetTickSource([&now] { return now; });
    TSocketCounter counter;
    counter.Reset();
    counter.SetLastRecvTick(900);
    now = 500;
    counter.Reset();
    EXPECT_EQ(counter.LatestActivity(), 500u);
    SetTickSource({});
}

} // namespace
