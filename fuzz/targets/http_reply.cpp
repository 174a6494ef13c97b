// The HTTP client's reply processing: status line, header lines, bodies of every kind,
// relocations and the end of the connection, fed by a server inside this process on
// 127.0.0.1.
//
// Input: the first byte is the size of the pieces the server writes, one per turn of the
// event loop (0: each reply at once), so one reply arrives split into several reads. The rest
// holds the replies, one per request, separated by kReplySeparator. The connection closes
// after the last reply.
//
// Relocations are followed only to this server: every relocation asks the harness, which
// allows one to 127.0.0.1 and this server's port only, so no input can make the client look
// up a name or connect anywhere else.
#include "FuzzTarget.h"
#include "http/HttpUrl.h"
#include "http/THttpClient.h"

#include <QBuffer>
#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray kReplySeparator = "\r\n--next-reply--\r\n";

class ReplyServer {
public:
    ReplyServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listen, 16) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            zarq::fuzz::fail("cannot listen on 127.0.0.1");
        m_port = QByteArray::number(ntohs(address.sin_port));
        m_acceptNotifier = std::make_unique<QSocketNotifier>(m_listen, QSocketNotifier::Read);
        QObject::connect(m_acceptNotifier.get(), &QSocketNotifier::activated, [this] { accept(); });
    }

    const QByteArray& port() const { return m_port; }

    void start(QList<QByteArray> replies, int pieceSize) {
        m_replies = std::move(replies);
        m_pieceSize = pieceSize;
    }

    // Closes every connection of the run that ended.
    void finish() {
        m_connections.clear();
        m_replies.clear();
    }

private:
    struct Connection {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> reader;
        QTimer writer;
        QByteArray request, pending;
        bool closeWhenSent = false;
        ~Connection() {
            reader.reset();
            if (fd >= 0)
                ::close(fd);
        }
    };

    void accept() {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto connection = std::make_unique<Connection>();
        Connection* c = connection.get();
        c->fd = fd;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        c->reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(c->reader.get(), &QSocketNotifier::activated, [this, c] { read(c); });
        c->writer.setInterval(0);
        QObject::connect(&c->writer, &QTimer::timeout, [this, c] { writePiece(c); });
        m_connections.push_back(std::move(connection));
    }

    void read(Connection* c) {
        char buffer[4096];
        const ssize_t n = ::recv(c->fd, buffer, sizeof buffer, 0);
        // The client writes its request line by line; a delayed acknowledgement would hold
        // each of its later lines for 40 ms (Nagle), and the run would mostly wait.
        const int on = 1;
        ::setsockopt(c->fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        if (n <= 0) {
            c->reader->setEnabled(false);
            return;
        }
        c->request.append(buffer, n);
        // Each complete request header gets the next reply.
        while (c->request.contains("\r\n\r\n")) {
            c->request.remove(0, c->request.indexOf("\r\n\r\n") + 4);
            if (m_replies.isEmpty()) {
                c->closeWhenSent = true;
            } else {
                c->pending += m_replies.takeFirst();
                c->closeWhenSent = m_replies.isEmpty();
            }
            c->writer.start();
        }
    }

    void writePiece(Connection* c) {
        const qsizetype n = m_pieceSize > 0 ? std::min<qsizetype>(m_pieceSize, c->pending.size())
                                            : c->pending.size();
        if (n > 0) {
            const ssize_t sent = ::send(c->fd, c->pending.constData(), size_t(n), MSG_NOSIGNAL);
            if (sent > 0)
                c->pending.remove(0, sent);
            else if (sent < 0 && errno != EAGAIN)
                c->pending.clear();
        }
        if (!c->pending.isEmpty())
            return;
        c->writer.stop();
        if (c->closeWhenSent)
            ::shutdown(c->fd, SHUT_WR);
    }

    int m_listen = -1;
    QByteArray m_port;
    std::unique_ptr<QSocketNotifier> m_acceptNotifier;
    std::vector<std::unique_ptr<Connection>> m_connections;
    QList<QByteArray> m_replies;
    int m_pieceSize = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    zarq::fuzz::ensureCoreApplication();
    static ReplyServer* server = new ReplyServer; // one listening socket for the whole run
    const QByteArray input = zarq::fuzz::bytesOf(data + 1, size - 1);
    QList<QByteArray> replies;
    for (qsizetype from = 0;;) {
        const qsizetype at = input.indexOf(kReplySeparator, from);
        replies << input.mid(from, at < 0 ? -1 : at - from);
        if (at < 0)
            break;
        from = at + kReplySeparator.size();
    }
    server->start(replies, data[0]);

    QBuffer body;
    body.open(QIODevice::ReadWrite);
    zarq::THttpClient client;
    client.setURL("http://127.0.0.1:" + server->port() + "/start/page.html?x=1");
    client.setReceiveStream(&body);
    // Short, so inputs that leave the client waiting do not slow the search down.
    client.setTimeoutMs(5);
    // The session's client sets a body limit; one that inputs can reach puts its path under
    // the search as well.
    client.setMaxBodyBytes(2048);
    client.setLocationChangeMaxCount(0);
    client.OnLocationChangeExceeded = [&](zarq::THttpClient& c, int count, bool& allow) {
        const zarq::HttpUrlParts target = zarq::SplitHttpUrl(c.RelocationURL(), "/");
        allow = count <= 4 && target.host == "127.0.0.1" && target.port == server->port();
    };
    try {
        client.Get();
    } catch (const zarq::EHttpException&) {
        // A failed request is an answer, not a finding.
    }
    (void)client.StatusCode();
    (void)client.ReplyHeaders();
    server->finish();
    return 0;
}
