#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

// A loopback server (127.0.0.1 only) that plays a script per connection: read a request,
// send bytes, wait, close, reset. A script that ends without closing leaves the connection
// open and silent (a stalled server).
struct ServerStep {
    enum Kind { ReadRequest, Send, Wait, Close, Reset } kind;
    QByteArray bytes;
    int ms = 0;

    static ServerStep read() { return {ReadRequest, {}, 0}; }
    static ServerStep send(const QByteArray& b) { return {Send, b, 0}; }
    static ServerStep wait(int ms) { return {Wait, {}, ms}; }
    static ServerStep close() { return {Close, {}, 0}; }
    static ServerStep reset() { return {Reset, {}, 0}; }
};
using ServerScript = QList<ServerStep>;

// Sends `bytes` one at a time with `ms` between them.
ServerScript Trickle(const QByteArray& bytes, int ms);
// Reads the request, sends `reply`, closes.
ServerScript Reply(const QByteArray& reply);

class ScriptedServer : public QObject {
public:
    // Script i plays on connection i; the last one on every later connection.
    explicit ScriptedServer(QList<ServerScript> scripts);
    ~ScriptedServer() override;

    quint16 port() const { return m_server.serverPort(); }
    QByteArray url(const QByteArray& pathAndQuery = "/") const;
    QList<QByteArray> requests() const { return m_requests; }
    int connectionCount() const { return int(m_conns.size()); }

private:
    struct Conn {
        QTcpSocket* socket = nullptr;
        ServerScript script;
        qsizetype pos = 0;
        QByteArray in;
        bool waiting = false;
    };
    void onNewConnection();
    void run(Conn* c);

    QTcpServer m_server;
    QList<ServerScript> m_scripts;
    std::vector<std::unique_ptr<Conn>> m_conns;
    QList<QByteArray> m_requests;
};
