#include "shell/TSingleInstance.h"

#include "platform/PrivateFolder.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMetaMethod>
#include <QThread>
#include <QTimer>
#include <unistd.h>

namespace zarq {

namespace {
const QByteArray kRequest = QByteArrayLiteral("ZARQ-SHOW 1\n");
const QByteArray kAck = QByteArrayLiteral("OK\n");
// A client that says nothing useful is dropped after this long.
constexpr int kIdleClientMs = 5000;
} // namespace

TSingleInstance::TSingleInstance(const QString& title, QObject* parent)
    : QObject(parent), m_name(derivedName(title)) {
    m_dir = defaultRuntimeDir(&m_dirProblem);
}

TSingleInstance::~TSingleInstance() {
    if (m_server)
        m_server->close(); // removes the socket file
}

QString TSingleInstance::defaultRuntimeDir(QString* problem) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    // Never the shared temporary folder: another user could create the lock or the socket
    // there first, under the predictable names, and every start would end at once.
    const QString own = PrivateFolder::underCache(QStringLiteral("run"));
    const QString why = PrivateFolder::ensure(own);
    if (why.isEmpty())
        return own;
    if (problem)
        *problem = why;
    return QString();
}

void TSingleInstance::setRuntimeDir(const QString& dir) {
    m_dir = dir;
    m_dirProblem.clear();
}

QString TSingleInstance::derivedName(const QString& title) {
    const QByteArray hash = QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("zarq-%1-%2")
        .arg(QString::fromLatin1(hash.toHex().left(12)))
        .arg(static_cast<qulonglong>(::getuid()));
}

QString TSingleInstance::lockFilePath() const {
    return m_dir + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString TSingleInstance::serverPath() const {
    return m_dir + QLatin1Char('/') + m_name + QStringLiteral(".sock");
}

bool TSingleInstance::isFirst() {
    if (m_checked)
        return m_first;
    m_checked = true;

    if (m_dir.isEmpty()) {
        // No folder to keep the lock in safely: start rather than refuse, as below when the
        // lock cannot be created.
        qWarning("no private folder for the single-instance lock (%s); running unguarded",
                 qPrintable(m_dirProblem));
        m_first = true;
        return true;
    }
    m_lock = std::make_unique<QLockFile>(lockFilePath());
    // A live owner keeps its lock however old; a lock whose process is gone is stale and
    // taken over (QLockFile checks the recorded process id).
    if (m_lock->tryLock(0)) {
        m_first = true;
        startServer();
        return true;
    }
    if (m_lock->error() == QLockFile::LockFailedError) {
        if (m_switchToPrevious)
            m_acknowledged = askRunningCopy();
        return false;
    }
    // The folder is unusable (no rights, no space): a copy that answers still counts, but an
    // unanswered start must not be refused.
    qWarning("single-instance lock %s cannot be created; running unguarded",
             qPrintable(lockFilePath()));
    m_lock.reset();
    if (askRunningCopy()) {
        m_acknowledged = true;
        return false;
    }
    m_first = true;
    return true;
}

void TSingleInstance::startServer() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TSingleInstance::onNewConnection);
    if (m_server->listen(serverPath()))
        return;
    // We hold the lock, so a socket file left behind belongs to a copy that crashed.
    QLocalServer::removeServer(serverPath());
    if (!m_server->listen(serverPath()))
        qWarning("single-instance server %s: %s", qPrintable(serverPath()),
                 qPrintable(m_server->errorString()));
}

void TSingleInstance::onNewConnection() {
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        QTimer::singleShot(kIdleClientMs, client, [client] { client->abort(); });
        auto buffer = std::make_shared<QByteArray>();
        connect(client, &QLocalSocket::readyRead, this, [this, client, buffer] {
            buffer->append(client->read(kMaxMessage + 1 - buffer->size()));
            const qsizetype end = buffer->indexOf('\n');
            if (end < 0 && buffer->size() <= kMaxMessage)
                return; // wait for the rest of the line
            if (end < 0 || buffer->left(end + 1) != kRequest) {
                client->abort();
                return;
            }
            client->write(kAck);
            client->flush();
            client->disconnectFromServer();
            requestShow();
        });
    }
}

void TSingleInstance::requestShow() {
    if (isSignalConnected(QMetaMethod::fromSignal(&TSingleInstance::showRequested)))
        emit showRequested();
    else
        m_pendingShow = true;
}

void TSingleInstance::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&TSingleInstance::showRequested) && m_pendingShow) {
        m_pendingShow = false;
        QMetaObject::invokeMethod(this, &TSingleInstance::showRequested, Qt::QueuedConnection);
    }
}

bool TSingleInstance::askRunningCopy() {
    const QDeadlineTimer deadline(m_ackTimeoutMs);
    QLocalSocket socket;
    // The running copy may hold the lock but not listen yet (it is starting): retry.
    for (;;) {
        socket.connectToServer(serverPath());
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        socket.abort();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() <= kMaxMessage) {
        if (!socket.bytesAvailable() &&
            !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        answer += socket.read(kMaxMessage + 1);
    }
    return answer.startsWith(kAck);
}

} // namespace zarq
