#pragma once

namespace zarq {

// States of an HTTP transaction, numbered in this order.
enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpBodyReceived,
    httpWaitingProxyConnect,
    httpClosing,
    httpAborting
};

enum THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };

enum THttpAuthType { httpAuthNone, httpAuthBasic, httpAuthNtlm, httpAuthDigest };

enum THttpClientOption {
    httpoNoBasicAuth = 1,
    httpoNoNTLMAuth = 2,
    httpoBandwidthControl = 4,
    httpoEnableContentCoding = 8,
    httpoUseQuality = 16,
    httpoNoDigestAuth = 32
};
using THttpClientOptions = unsigned; // a set of THttpClientOption bits

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };

} // namespace zarq
