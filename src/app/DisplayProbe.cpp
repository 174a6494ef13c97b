#include "app/DisplayProbe.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarq {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Connects a Unix socket to `path` (a leading NUL byte: the abstract name space). Empty text
// on success, else the system's reason.
QString connectUnix(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof(address.sun_path))
        return QStringLiteral("the socket name is too long");
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errnoText(errno);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    const int error = errno;
    ::close(fd);
    return rc == 0 ? QString() : errnoText(error);
}

// Connects to host:port over TCP within `timeoutMs`, trying every address of the host.
QString connectTcp(const QByteArray& host, int port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int lookup = ::getaddrinfo(host.constData(), service.constData(), &hints, &found);
    if (lookup != 0)
        return QString::fromLocal8Bit(::gai_strerror(lookup));
    QString why;
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            why = errnoText(errno);
            continue;
        }
        int error = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                const int ready = ::poll(&p, 1, timeoutMs);
                socklen_t size = sizeof(error);
                if (ready == 1)
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
                else
                    error = ready == 0 ? ETIMEDOUT : errno;
            }
        }
        ::close(fd);
        if (error == 0) {
            ::freeaddrinfo(found);
            return QString();
        }
        why = errnoText(error);
    }
    ::freeaddrinfo(found);
    return why;
}

} // namespace

DisplayProbe::Environment DisplayProbe::Environment::current() {
    Environment env;
    env.display = qgetenv("DISPLAY");
    env.waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    env.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    env.qpaPlatform = qgetenv("QT_QPA_PLATFORM");
    return env;
}

QString DisplayProbe::unreachableReason(const Environment& env) {
    // A platform chosen by hand that is neither X11 nor Wayland (offscreen, vnc, eglfs) needs
    // no display server: nothing to check.
    if (!env.qpaPlatform.isEmpty() && !env.qpaPlatform.contains("xcb") &&
        !env.qpaPlatform.contains("wayland"))
        return QString();
    QStringList reasons;
    if (!env.waylandDisplay.isEmpty()) {
        const QString why = probeWayland(env.waylandDisplay, env.runtimeDir);
        if (why.isEmpty())
            return why;
        reasons << why;
    }
    if (!env.display.isEmpty()) {
        const QString why = probeX11(env.display, env.x11SocketDir, env.tcpTimeoutMs);
        if (why.isEmpty())
            return why;
        reasons << why;
    }
    if (reasons.isEmpty())
        return QStringLiteral("no display is set (DISPLAY and WAYLAND_DISPLAY are empty)");
    return reasons.join(QStringLiteral("; "));
}

QString DisplayProbe::probeWayland(const QByteArray& waylandDisplay, const QString& runtimeDir) {
    QByteArray path = waylandDisplay;
    if (!path.startsWith('/')) {
        if (runtimeDir.isEmpty())
            return QStringLiteral("the Wayland display %1 cannot be found: XDG_RUNTIME_DIR is "
                                  "not set")
                .arg(QString::fromLocal8Bit(waylandDisplay));
        path = QFile::encodeName(runtimeDir) + '/' + path;
    }
    const QString why = connectUnix(path);
    if (why.isEmpty())
        return why;
    return QStringLiteral("the Wayland display %1 does not answer (%2: %3)")
        .arg(QString::fromLocal8Bit(waylandDisplay), QString::fromLocal8Bit(path), why);
}

QString DisplayProbe::probeX11(const QByteArray& display, const QString& socketDir,
                               int tcpTimeoutMs) {
    const QString shown = QString::fromLocal8Bit(display);
    // [protocol/][host]:number[.screen]
    QByteArray rest = display;
    QByteArray protocol;
    const qsizetype slash = rest.indexOf('/');
    const qsizetype colon = rest.lastIndexOf(':');
    if (slash >= 0 && slash < colon) {
        protocol = rest.left(slash);
        rest = rest.mid(slash + 1);
    }
    const qsizetype at = rest.lastIndexOf(':');
    bool ok = at >= 0;
    QByteArray host = ok ? rest.left(at) : QByteArray();
    QByteArray number = ok ? rest.mid(at + 1) : QByteArray();
    if (const qsizetype dot = number.indexOf('.'); dot >= 0)
        number.truncate(dot);
    const int n = number.toInt(&ok);
    if (!ok || n < 0 || host.endsWith(':'))
        return QStringLiteral("the display %1 is not a name this program can reach").arg(shown);

    if (host.isEmpty() || host == "unix" || protocol == "unix") {
        const QByteArray path = QFile::encodeName(socketDir) + "/X" + QByteArray::number(n);
        // X servers listen on an abstract socket of the same name and on the file; either
        // one answering is enough.
        if (connectUnix('\0' + path).isEmpty())
            return QString();
        const QString why = connectUnix(path);
        if (why.isEmpty())
            return why;
        if (host.isEmpty() && protocol.isEmpty()) {
            // Like the X library, a display without a host also tries TCP on this machine.
            if (connectTcp("localhost", 6000 + n, tcpTimeoutMs).isEmpty())
                return QString();
        }
        return QStringLiteral("the display %1 does not answer (%2: %3)")
            .arg(shown, QString::fromLocal8Bit(path), why);
    }
    const QString why = connectTcp(host, 6000 + n, tcpTimeoutMs);
    if (why.isEmpty())
        return why;
    return QStringLiteral("the display %1 does not answer (%2 port %3: %4)")
        .arg(shown, QString::fromLocal8Bit(host))
        .arg(6000 + n)
        .arg(why);
}

} // namespace zarq
