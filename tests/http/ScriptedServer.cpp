#include "ScriptedServer.h"

#include <QTimer>

ServerScript Trickle(const QByteArray& bytes, int ms) {
    ServerScript s;
    for (char b : bytes) {
        s.append(ServerStep::send(QByteArray(1, b)));
        s.append(ServerStep::wait(ms));
    }
    return s;
}

ServerScript Reply(const QByteArray& reply) {
    return {ServerStep::read(), ServerStep::send(reply), ServerStep::close()};
}

ScriptedServer::ScriptedServer(QList<ServerScript> scripts) : m_scripts(std::move(scripts)) {
    connect(&m_server, &QTcpServer::newConnection, this, [this] { onNewConnection(); });
    m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
}

ScriptedServer::~ScriptedServer() {
    for (auto& c : m_conns) {
        if (c->socket) {
            c->socket->disconnect();
            c->socket->abort();
            delete c->socket;
        }
    }
}

QByteArray ScriptedServer::url(const QByteArray& pathAndQuery) const {
    return "http://127.0.0.1:" + QByteArray::number(port()) + pathAndQuery;
}

void ScriptedServer::onNewConnection() {
    while (QTcpSocket* s = m_server.nextPendingConnection()) {
        s->setParent(nullptr);
        auto conn = std::make_unique<Conn>();
        conn->socket = s;
        const qsizetype i = std::min<qsizetype>(qsizetype(m_conns.size()), m_scripts.size() - 1);
        conn->script = m_scripts.value(i);
        Conn* c = conn.get();
        m_conns.push_back(std::move(conn));
        connect(s, &QTcpSocket::readyRead, this, [this, c] {
            c->in += c->socket->readAll();
            if (c->waiting)
                run(c);
        });
        run(c);
    }
}

void ScriptedServer::run(Conn* c) {
    c->waiting = false;
    while (c->pos < c->script.size()) {
        const ServerStep& step = c->script[c->pos];
        switch (step.kind) {
        case ServerStep::ReadRequest: {
            const qsizetype end = c->in.indexOf("\r\n\r\n");
            if (end < 0) {
                c->waiting = true;
                return;
            }
            m_requests.append(c->in.left(end + 4));
            c->in.remove(0, end + 4);
            ++c->pos;
            break;
        }
        case ServerStep::Send:
            c->socket->write(step.bytes);
            c->socket->flush();
            ++c->pos;
            break;
        case ServerStep::Wait:
            ++c->pos;
            QTimer::singleShot(step.ms, this, [this, c] { run(c); });
            return;
        case ServerStep::Close:
            ++c->pos;
            c->socket->disconnectFromHost();
            return;
        case ServerStep::Reset:
            ++c->pos;
            c->socket->abort();
            return;
        }
    }
}
