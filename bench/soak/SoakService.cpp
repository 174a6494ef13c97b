#include "soak/SoakService.h"

#include "support/ProcessProbe.h"

#include <QFile>
#include <QTcpSocket>
#include <cstdio>

namespace soak {

SoakService::~SoakService() {
    stop();
}

bool SoakService::start(const QString& portFile, const QString& account, const QStringList& extra) {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readEvents(); });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(ZARQ_PYTHON3),
                    QStringList{QStringLiteral(ZARQ_SOURCE_DIR "/tools/zarq-service"),
                                QStringLiteral("--port"), QStringLiteral("0"),
                                QStringLiteral("--port-file"), portFile, QStringLiteral("--events"),
                                QStringLiteral("--quiet"), QStringLiteral("--account"), account} +
                        extra);
    QFile pf(portFile);
    if (!bench::waitFor([&] { return QFile::exists(portFile); }, 30000) ||
        !pf.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "the service did not start\n");
        return false;
    }
    m_host = QStringLiteral("127.0.0.1:") +
             QString::fromLatin1(pf.readAll().trimmed().split(' ').first());
    return true;
}

void SoakService::stop() {
    bench::stopProcess(m_process);
}

void SoakService::readEvents() {
    char line[512];
    while (m_process.canReadLine()) {
        const qint64 n = m_process.readLine(line, sizeof line);
        if (n <= 0)
            break;
        // "<monotonic seconds> <event> ..."
        const QByteArray text = QByteArray::fromRawData(line, qsizetype(n));
        const qsizetype space = text.indexOf(' ');
        if (space < 0)
            continue;
        const qsizetype end = text.indexOf(' ', space + 1);
        const QByteArray event = text.mid(space + 1, (end < 0 ? n : end) - space - 1).trimmed();
        lastEvent = text.left(space).toDouble();
        if (event == "heartbeat")
            ++heartbeats;
        else if (event == "signin")
            ++signins;
        else if (event == "heartbeat-expired")
            ++expired;
        else if (event == "signout")
            ++signouts;
        else
            ++other;
    }
}

QByteArray SoakService::get(const QByteArray& pathAndQuery) const {
    QTcpSocket socket;
    const qsizetype colon = m_host.lastIndexOf(u':');
    socket.connectToHost(m_host.left(colon), quint16(m_host.mid(colon + 1).toUInt()));
    if (!socket.waitForConnected(10000))
        return {};
    socket.write("GET " + pathAndQuery + " HTTP/1.0\r\nHost: " + m_host.toLatin1() + "\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(10000))
        reply += socket.readAll();
    reply += socket.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : reply.mid(body + 4);
}

} // namespace soak
