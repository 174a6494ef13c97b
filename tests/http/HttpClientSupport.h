#pragma once

#include "http/THttpClient.h"

#include <QBuffer>
#include <QTcpServer>

// A client set up as the program's session client: design-time agent, no-cache, a fresh
// memory stream for the body.
struct SessionClient {
    zarq::THttpClient client;
    QBuffer body;

    SessionClient() {
        client.setName("HttpClient1");
        client.setAgent("Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)");
        client.setNoCache(true);
        body.open(QIODevice::ReadWrite);
        client.setReceiveStream(&body);
    }
    QByteArray bodyBytes() const { return body.data(); }
};

// A port on 127.0.0.1 that nothing listens on.
inline quint16 RefusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
