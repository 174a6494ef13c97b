#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <functional>

namespace zarq::test {

// A scripted HTTP server on 127.0.0.1 for the session tests. It runs on the test's own thread:
// the client's Get keeps the event loop running, so both sides make progress.
class ScriptedHttpServer : public QObject {
public:
    struct Reply {
        enum Kind { Body, Close, Stall } kind = Body;
        QByteArray body;
        int status = 200;
        static Reply text(const QByteArray& b) { return Reply{Body, b, 200}; }
        static Reply close() { return Reply{Close, {}, 0}; }
        static Reply stall() { return Reply{Stall, {}, 0}; }
    };
    struct Request {
        QByteArray target; // path and query exactly as sent
        QByteArray head;   // the whole request head
    };

    ScriptedHttpServer();
    QByteArray host() const; // "127.0.0.1:<port>"

    // Decides the reply from the request target ("/", "/auth/?..."...).
    std::function<Reply(const QByteArray& target)> handler;
    QList<Request> requests;

    QList<QByteArray> targets() const;

private:
    void onConnection();
    QTcpServer m_server;
};

} // namespace zarq::test
