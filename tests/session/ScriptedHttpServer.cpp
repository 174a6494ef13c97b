#include "ScriptedHttpServer.h"

#include <QTcpSocket>

namespace zarq::test {

ScriptedHttpServer::ScriptedHttpServer() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::onConnection);
    handler = [](const QByteArray&) { return Reply::text("0"); };
}

QByteArray ScriptedHttpServer::host() const {
    return "127.0.0.1:" + QByteArray::number(m_server.serverPort());
}

QList<QByteArray> ScriptedHttpServer::targets() const {
    QList<QByteArray> out;
    for (const Request& r : requests)
        out.append(r.target);
    return out;
}

void ScriptedHttpServer::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = buffer->left(end);
            buffer->clear();
            const QByteArray line = head.left(head.indexOf("\r\n"));
            // The target may hold blanks (the client escapes nothing): it runs from the first
            // blank to the last " HTTP/".
            const qsizetype first = line.indexOf(' ');
            const qsizetype last = line.lastIndexOf(" HTTP/");
            const QByteArray target =
                first >= 0 && last > first ? line.mid(first + 1, last - first - 1) : QByteArray();
            requests.append(Request{target, head});
            const Reply reply = handler(target);
            switch (reply.kind) {
            case Reply::Close:
                socket->abort();
                break;
            case Reply::Stall:
                break;
            case Reply::Body:
                socket->write("HTTP/1.0 " + QByteArray::number(reply.status) +
                              " X\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                              "\r\n\r\n" + reply.body);
                socket->disconnectFromHost();
                break;
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

} // namespace zarq::test
