#include "platform/ProcessStart.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace zarq {

namespace {

QString reason(const QString& program, int err) {
    return QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(std::strerror(err)));
}

// Owns the spawn attributes and the encoded argument vector of one start.
class Spawn {
public:
    explicit Spawn(const QStringList& argv) {
        for (const QString& a : argv)
            m_bytes.push_back(QFile::encodeName(a));
        for (QByteArray& b : m_bytes)
            m_argv.push_back(b.data());
        m_argv.push_back(nullptr);
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attr);
    }
    ~Spawn() {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attr);
    }
    Spawn(const Spawn&) = delete;
    Spawn& operator=(const Spawn&) = delete;

    void silenceStreams() {
        for (int fd = 0; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&m_actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }

    void ownSession() { posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSID); }

    // Returns 0 and the process id, or the errno value of the failed start.
    int start(pid_t* pid) {
        if (m_bytes.empty() || m_bytes.front().isEmpty())
            return ENOENT;
        const char* program = m_argv.front();
        // A name with a "/" is a path (relative to the current directory); a bare name is looked
        // up on PATH, never in the current directory.
        if (std::strchr(program, '/'))
            return posix_spawn(pid, program, &m_actions, &m_attr, m_argv.data(), environ);
        return posix_spawnp(pid, program, &m_actions, &m_attr, m_argv.data(), environ);
    }

private:
    std::vector<QByteArray> m_bytes;
    std::vector<char*> m_argv;
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attr;
};

int waitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

pid_t ProcessStart::detached(const QStringList& argv, QString* error) {
    Spawn spawn(argv);
    spawn.silenceStreams();
    spawn.ownSession();
    pid_t pid = -1;
    if (const int err = spawn.start(&pid); err != 0) {
        if (error)
            *error = reason(argv.value(0), err);
        errno = err;
        return -1;
    }
    // Nobody waits for the program, but it is still our child until we end: reap it when it
    // ends, so a long-running caller keeps no zombie.
    std::thread([pid] { waitForChild(pid); }).detach();
    return pid;
}

int ProcessStart::runAndWait(const QStringList& argv, bool quiet, QString* error) {
    Spawn spawn(argv);
    if (quiet)
        spawn.silenceStreams();
    pid_t pid = -1;
    if (const int err = spawn.start(&pid); err != 0) {
        if (error)
            *error = reason(argv.value(0), err);
        errno = err;
        return -1;
    }
    const int code = waitForChild(pid);
    if (code < 0 && error)
        *error = reason(argv.value(0), ECHILD);
    return code;
}

} // namespace zarq
