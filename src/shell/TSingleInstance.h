#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace zarq {

// Keeps one copy of the program per user. The first copy holds a lock file and a local
// server; a later copy finds the lock, asks the first copy (through the server) to show its
// main window, waits for the acknowledgement and ends.
//
// How the program entry uses it, before creating anything else (no main window, no login
// dialog, no settings dialog: a second copy must start no sign-in and no update check):
//
//   QApplication app(argc, argv);
//   TSingleInstance guard(applicationTitle());
//   if (!guard.isFirst())
//       return 0;                       // the running copy has been asked to come forward
//   TForm1 window;
//   QObject::connect(&guard, &TSingleInstance::showRequested, &window,
//                    [&window] { showAndRaise(&window); });
//   ...
//   return app.exec();                  // `guard` outlives the loop and so keeps the lock
//
// A request that arrives before anything is connected to showRequested() (for instance while
// the main window is still being created) is kept and delivered when the first receiver
// connects.
//
// Files: "<dir>/<name>.lock" and the socket "<dir>/<name>.sock", where <dir> is
// $XDG_RUNTIME_DIR (when unset, a private folder under the user's cache folder, never the
// shared temp dir) and <name> is derived from the application title and the user id. With no
// usable folder the copy runs unguarded and says so. The socket is reachable by its owner only. A
// lock left by a copy that crashed is recognised (its process is gone) and taken over, and so is
// its socket.
//
// Protocol: the later copy sends one line "ZARQ-SHOW 1\n"; the first copy answers "OK\n" and
// closes. Anything else, or more than kMaxMessage bytes, is dropped without an answer.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxMessage = 64;
    static constexpr int kDefaultAckTimeoutMs = 5000;

    explicit TSingleInstance(const QString& title, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Where the lock and socket live; set before isFirst(). Tests use a temporary folder.
    void setRuntimeDir(const QString& dir);
    QString runtimeDir() const { return m_dir; }
    // $XDG_RUNTIME_DIR; without it the private folder $XDG_CACHE_HOME/tervan/run (see
    // PrivateFolder). Empty when that folder is refused; `problem` then says why.
    static QString defaultRuntimeDir(QString* problem = nullptr);

    // "zarq-<12 hex digits of the title's SHA-1>-<uid>"
    static QString derivedName(const QString& title);
    QString lockFilePath() const;
    QString serverPath() const;

    // Whether a later copy asks the first one to come forward (default true). Off, it only
    // ends.
    bool SwitchToPrevious() const { return m_switchToPrevious; }
    void setSwitchToPrevious(bool on) { m_switchToPrevious = on; }

    // How long a later copy tries to reach the first one and waits for its answer.
    void setAckTimeout(int ms) { m_ackTimeoutMs = ms; }

    // Runs the check on the first call and returns its result afterwards. True: this is the
    // first copy; it now holds the lock and serves requests. False: another copy runs; when
    // SwitchToPrevious is on it has been asked to show its main window (the answer was awaited
    // for at most the ack timeout). When the lock cannot be created at all (an unusable
    // runtime folder), a copy that answers the request counts as running; otherwise this copy
    // runs, unguarded, rather than refusing to start. So does a copy without a folder.
    bool isFirst();

    // Whether the running copy acknowledged this copy's request (after isFirst() == false).
    bool acknowledged() const { return m_acknowledged; }

signals:
    // A later copy asked this one to show its main window.
    void showRequested();

protected:
    void connectNotify(const QMetaMethod& signal) override;

private:
    void startServer();
    void onNewConnection();
    bool askRunningCopy();
    void requestShow();

    QString m_name;
    QString m_dir;
    QString m_dirProblem; // why there is no folder, when m_dir is empty
    bool m_switchToPrevious = true;
    int m_ackTimeoutMs = kDefaultAckTimeoutMs;
    bool m_checked = false;
    bool m_first = false;
    bool m_acknowledged = false;
    bool m_pendingShow = false;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace zarq
