// zarq-fetch: fetches one URL with the same request the program sends, for diagnosing a
// service by hand.
//   zarq-fetch [--agent TEXT] [--no-cache] [--timeout SECONDS] URL
// The reply body goes to standard output (exit 0); a failure is written to standard error as
// "error <code>: <message>" (exit 1).
#include "http/THttpClient.h"

#include <QBuffer>
#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

int usage() {
    std::fputs("usage: zarq-fetch [--agent TEXT] [--no-cache] [--timeout SECONDS] URL\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Arguments are taken as raw bytes: URL and agent go on the wire exactly as typed.
    QByteArray url;
    QByteArray agent = "Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)";
    bool noCache = false;
    unsigned timeout = 30;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--agent") == 0 && i + 1 < argc) {
            agent = argv[++i];
        } else if (std::strcmp(a, "--no-cache") == 0) {
            noCache = true;
        } else if (std::strcmp(a, "--timeout") == 0 && i + 1 < argc) {
            bool ok = false;
            timeout = QByteArray(argv[++i]).toUInt(&ok);
            if (!ok)
                return usage();
        } else if (a[0] == '-' && a[1] == '-') {
            return usage();
        } else if (url.isEmpty()) {
            url = a;
        } else {
            return usage();
        }
    }
    if (url.isEmpty())
        return usage();

    zarq::THttpClient client;
    client.setName("HttpClient1");
    client.setAgent(agent);
    client.setNoCache(noCache);
    client.setTimeout(timeout);
    client.setURL(url);
    QBuffer body;
    body.open(QIODevice::ReadWrite);
    client.setReceiveStream(&body);
    try {
        client.Get();
    } catch (const zarq::EHttpException& e) {
        std::fprintf(stderr, "error %u: %s\n", unsigned(e.ErrCode()), e.what());
        return 1;
    }
    const QByteArray& bytes = body.data();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return 0;
}
