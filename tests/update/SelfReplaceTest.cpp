// The whole self-replacement with real processes: a copy of the built zarq installed in a
// folder of a temporary home (its name holds a blank), the reference update host listing a
// newer build of it as "zarq_NEW", `zarq --update` started there; the old process ends, the
// updater it started puts the new file in place and starts it again. The newer build is the
// same program with another version in its version note.

#include "MinisignFixture.h"
#include "UnwritableFolder.h"
#include "UpdateHostFixture.h"

#include "update/FileVersion.h"

#include <QProcessEnvironment>
#include <QtEndian>
#include <csignal>
#include <sys/stat.h>

using namespace updatetest;

namespace {

const QString kRestartLine = QStringLiteral(
    "zarq: update restart: 温馨提示：本软件已升级至最新版本，需要重新运行后才能继续使用!");

// The program's bytes with its version note set to `parts` (also in the copy of the note that
// the debugging information holds).
QByteArray withVersion(QByteArray program, const quint16 (&parts)[4]) {
    // Name size 5, descriptor size 8, type "VZ", owner "Zarq" padded to eight bytes.
    static const QByteArray head("\x05\0\0\0\x08\0\0\0\x56\x5a\0\0Zarq\0\0\0\0", 20);
    qsizetype at = program.indexOf(head);
    if (at < 0)
        return {};
    for (; at >= 0; at = program.indexOf(head, at + 1)) {
        for (int i = 0; i < 4; ++i)
            qToLittleEndian(parts[i], program.data() + at + head.size() + 2 * i);
    }
    return program;
}

QString exeOf(pid_t pid) {
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
}

// A process that has ended but was not yet reaped (its parent is gone) counts as ended.
bool running(pid_t pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

// The processes, other than `except`, that run the program file `path`.
QList<pid_t> processesOf(const QString& path, pid_t except) {
    QList<pid_t> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (number && pid != except && exeOf(pid) == path && running(pid))
            found.append(pid);
    }
    return found;
}

class SelfReplaceTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        app = home.folder("my apps");
        ASSERT_TRUE(host.start(root));
        const QByteArray program = readFile(ZARQ_BINARY_DIR "/src/app/zarq");
        ASSERT_TRUE(QFile::copy(ZARQ_BINARY_DIR "/src/app/zarq", app + "zarq"));
        ASSERT_EQ(::chmod(QFile::encodeName(app + "zarq").constData(), 0755), 0);
        const QByteArray newer = withVersion(program, {9, 8, 7, 6});
        ASSERT_FALSE(newer.isEmpty()) << "no version note in zarq";
        writeFile(root + "zarq_NEW", newer);
        writeFile(root + "update1.txt",
                  "[application]\r\nappupdate=1\r\nappname=zarq\r\nappparam=--headless\r\n"
                  "appcomps=zarq_NEW\r\n[files]\r\ncount=1\r\n[file1]\r\nurl=" +
                      host.url("zarq_NEW").toUtf8() + "\r\n");
        // Released as a vendor releases: hashed and signed, with a key the program trusts.
        key = makeKey(home.folder("keys"));
        ASSERT_FALSE(key.publicLine.isEmpty()) << "minisign (Debian package minisign) is needed";
        ASSERT_TRUE(release(key, root));
        ASSERT_TRUE(readFile(root + "update1.txt").contains("sha256="));
        // The restarted program signs in by itself and keeps trying against a port where
        // nothing listens, so it stays up until the test ends it.
        QProcess login;
        login.setProcessEnvironment(environment());
        login.start(app + "zarq", {"--set-login", "demo", "--autologin", "--password-stdin"});
        login.write("secret\n");
        login.closeWriteChannel();
        ASSERT_TRUE(login.waitForFinished(30000));
        ASSERT_EQ(login.exitCode(), 0) << login.readAllStandardError().toStdString();
    }
    void TearDown() override {
        for (pid_t pid : processesOf(app + "zarq", 0))
            ::kill(pid, SIGKILL);
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            env.insert(name, qEnvironmentVariable(name));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("ZARQ_UPDATE_URL", host.url("update1.txt"));
        env.insert("ZARQ_UPDATE_PUBLIC_KEY", key.publicLine);
        env.remove("ZARQ_UPDATE_ALLOW_UNSIGNED");
        env.insert("ZARQ_ECHO_HOST", "127.0.0.1:1");
        env.insert("ZARQ_API_HOST", "127.0.0.1:1");
        return env;
    }

    // `zarq --update` in the application folder; its exit status and standard error.
    int update(QStringList* lines, pid_t* pid) {
        QProcess zarq;
        zarq.setProcessEnvironment(environment());
        zarq.setWorkingDirectory(app);
        zarq.start(app + "zarq", {"--update"});
        if (!zarq.waitForStarted(30000))
            return -1;
        *pid = pid_t(zarq.processId());
        if (!zarq.waitForFinished(60000)) {
            zarq.kill();
            zarq.waitForFinished();
            return -1;
        }
        *lines = QString::fromUtf8(zarq.readAllStandardError()).split('\n');
        return zarq.exitStatus() == QProcess::NormalExit ? zarq.exitCode() : -1;
    }

    TempHome home;
    QString root, app;
    UpdateHost host{home.folder("work")};
    MinisignKey key;
};

TEST_F(SelfReplaceTest, TheProgramIsReplacedAndComesBackWithTheNewVersion) {
    const QString old = zarq::FileVersion::read(app + "zarq").toString();
    ASSERT_EQ(old, zarq::VersionValue::parse(ZARQ_TEST_PROJECT_VERSION).toString());

    QStringList lines;
    pid_t oldPid = 0;
    EXPECT_EQ(update(&lines, &oldPid), 0) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(kRestartLine)) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("zarq: update [962] Found application component : zarq_NEW "
                               "(Status:0) (Error:0)"));
    EXPECT_TRUE(lines.contains("zarq: update [959] Restart app in directory : " + app.chopped(1) +
                               " (Status:0) (Error:0)"));
    // The old process is gone (reaped by waitForFinished).
    EXPECT_FALSE(running(oldPid));

    // A process caught inside its exec already shows the new program file but no arguments
    // yet: it counts once its command line is there.
    QList<pid_t> restarted;
    ASSERT_TRUE(waitFor(
        [&] {
            restarted = processesOf(app + "zarq", oldPid);
            return !restarted.isEmpty() &&
                   !readFile(QStringLiteral("/proc/%1/cmdline").arg(restarted.first())).isEmpty();
        },
        60000))
        << "the program did not come back";
    ASSERT_EQ(restarted.size(), 1);
    const pid_t pid = restarted.first();
    EXPECT_EQ(zarq::FileVersion::read(app + "zarq").toString(), "9.8.7.6");
    // The running program is the new file, not the old one unlinked by the replacement.
    EXPECT_EQ(zarq::FileVersion::read(QStringLiteral("/proc/%1/exe").arg(pid)).toString(),
              "9.8.7.6");
    EXPECT_EQ(readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)),
              QFile::encodeName(app + "zarq") + '\0' + "--headless" + '\0');
    EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)), app.chopped(1));
    struct stat st {};
    ::stat(QFile::encodeName(app + "zarq").constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_FALSE(QFile::exists(home.path() + "/UPDATER.INI"));

    ::kill(pid, SIGTERM);
    EXPECT_TRUE(waitFor([&] { return !running(pid); }, 60000));
}

TEST_F(SelfReplaceTest, AFolderTheUserCannotWriteGetsNoRestart) {
    const QString old = zarq::FileVersion::read(app + "zarq").toString();
    UnwritableFolder locked(app);
    if (!locked.ok())
        GTEST_SKIP() << "cannot make a folder unwritable here: " << locked.why().toStdString();

    QStringList lines;
    pid_t oldPid = 0;
    EXPECT_EQ(update(&lines, &oldPid), 1) << lines.join('\n').toStdString();
    const QString expected = "zarq: update [950] Failed to spawn updater process : the folder " +
                             app.chopped(1) + " cannot be written (";
    EXPECT_EQ(lines.filter(expected).size(), 1) << lines.join('\n').toStdString();
    // Nobody was asked, nothing was written out or started.
    EXPECT_FALSE(lines.contains(kRestartLine));
    EXPECT_EQ(lines.filter("[958]").size(), 0);
    EXPECT_FALSE(QFile::exists(home.staging() + "updater.exe"));
    EXPECT_FALSE(QFile::exists(home.path() + "/UPDATER.INI"));
    EXPECT_TRUE(readFile(home.path() + "/UPDATE.LOG")
                    .contains("Unable to replace application files : the folder " +
                              QFile::encodeName(app.chopped(1)) + " cannot be written"));
    // The staged new program waits for a later run; the old one is untouched.
    EXPECT_TRUE(QFile::exists(home.staging() + "zarq_NEW"));
    EXPECT_EQ(zarq::FileVersion::read(app + "zarq").toString(), old);
    EXPECT_EQ(processesOf(app + "zarq", oldPid), QList<pid_t>());
}

} // namespace
