// The report post of the finishing instructions (PostUpdateInfo).

#include "update/CurlRequest.h"
#include "update/CurlSession.h"
#include "update/TAutoUpdate.h"

#include "platform/TextCodec.h"

#include <QUrl>

namespace zarq {

namespace {

// Failures of reaching the server, as opposed to failures of the exchange once connected.
bool connectFailure(int code) {
    return code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
           code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT;
}

} // namespace

void TAutoUpdate::SendUpdateInfo() {
    if (PostUpdateInfo.Server.isEmpty() || PostUpdateInfo.Action.isEmpty())
        return;
    // A separate engine of its own, as the report is no part of the run's transfers. The
    // server is reached over HTTP on port 80 unless it names its port ("host:port").
    CurlSession::Options options;
    options.agent = TextCodec::toCp936(Agent);
    options.proxy = TextCodec::toCp936(Proxy);
    options.proxyUser = TextCodec::toCp936(ProxyUserID);
    options.proxyPassword = TextCodec::toCp936(ProxyPassword);
    options.connectTimeoutMs = TimeOut > 0 ? TimeOut : 0;
    options.stallTimeoutSeconds = FStallTimeoutSeconds;
    CurlSession session(options);
    const QString server = PostUpdateInfo.Server.contains(QLatin1Char(':'))
                               ? PostUpdateInfo.Server
                               : PostUpdateInfo.Server + QStringLiteral(":80");
    QString path = PostUpdateInfo.Action;
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    const QUrl url(QStringLiteral("http://") + server + path, QUrl::StrictMode);
    if (!session.valid()) {
        Log(951);
        return;
    }
    if (!url.isValid() || url.host().isEmpty() || url.userInfo().size() > 0) {
        Log(952);
        return;
    }
    PostUpdateInfo.PostResult.clear();
    CurlRequest::Setup setup;
    setup.url = url.toEncoded();
    setup.post = true;
    setup.postData = TextCodec::toCp936(PostUpdateInfo.Data);
    // "Expect:" keeps curl from waiting for a "100 Continue" before a larger body.
    setup.headers = {QByteArrayLiteral("Content-Type: application/x-www-form-urlencoded"),
                     QByteArrayLiteral("Expect:")};
    CurlRequest request(session, setup);
    if (!request.open()) {
        if (connectFailure(request.errorCode()))
            Log(951);
        // Any other failure of the send leaves the result empty and is not reported, as the
        // report is a courtesy to the host that must not disturb the update.
        return;
    }
    QByteArray reply;
    char block[4096];
    qint64 count = 0;
    while ((count = request.read(block, sizeof block)) > 0)
        reply.append(block, count);
    PostUpdateInfo.PostResult = TextCodec::fromCp936(reply);
}

} // namespace zarq
