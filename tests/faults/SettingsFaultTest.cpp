// The settings file in trouble: corrupt, unreadable, on a full disk, replaced by a link to
// another user's file. Each row runs the real `zarq --headless` and `zarq --set-login`; each
// ends with its message and exit status, keeps what was saved and writes nothing beside it.
// A save traced with strace shows the new file flushed before it replaces the old one.

#include "FaultFixture.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <algorithm>
#include <pwd.h>

using namespace faults;

namespace {

// A run of zarq: its arguments and what goes to its standard input.
struct Command {
    QStringList args;
    QByteArray input;
};

const Command kHeadless{{QStringLiteral("--headless")}, {}};
const Command kNewLogin{
    {QStringLiteral("--set-login"), QStringLiteral("other"), QStringLiteral("--password-stdin")},
    "newpass\n"};

uid_t nobody() {
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : uid_t(65534);
}

gid_t nobodyGroup() {
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_gid : gid_t(65534);
}

// Gives `path` and everything below it to `uid`.
bool giveTo(const QString& path, uid_t uid, gid_t gid) {
    bool ok = ::chown(QFile::encodeName(path).constData(), uid, gid) == 0;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = ::lchown(QFile::encodeName(it.next()).constData(), uid, gid) == 0 && ok;
    return ok;
}

struct stat statOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

class SettingsFault : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QFile::exists(kZarq)) << "build the zarq target first"; }

    // No service listens on port 1: a row that reached the network would fail, not leave.
    QProcessEnvironment env() const {
        QProcessEnvironment e = m_home.environment();
        e.insert(QStringLiteral("ZARQ_ECHO_HOST"), QStringLiteral("127.0.0.1:1"));
        e.insert(QStringLiteral("ZARQ_API_HOST"), QStringLiteral("127.0.0.1:1"));
        e.insert(QStringLiteral("ZARQ_TEST_RETRY_MS"), QStringLiteral("200"));
        return e;
    }

    // Runs zarq, as the user `m_runAs` names (through setpriv) when set.
    Finished run(const Command& c) const {
        if (!m_runAs)
            return runToEnd(kZarq, c.args, env(), c.input);
        return runToEnd(QStringLiteral("setpriv"),
                        QStringList{QStringLiteral("--reuid=%1").arg(*m_runAs),
                                    QStringLiteral("--regid=%1").arg(nobodyGroup()),
                                    QStringLiteral("--clear-groups"), QStringLiteral("--"), kZarq} +
                            c.args,
                        env(), c.input);
    }

    FaultHome m_home;
    std::optional<uid_t> m_runAs;
};

} // namespace

TEST_F(SettingsFault, ACorruptFileIsReportedAndKeptAside) {
    struct Row {
        Command command;
        int exitCode;
        QByteArray says;
        QString listingAfter; // besides the .bad copy
    };
    const Row rows[] = {
        {kHeadless, 1, "no saved setting is used, so nothing is signed in",
         QStringLiteral(".config/tervan/.zarq.reg.lock")},
        {kNewLogin, 0, "saved to ",
         QStringLiteral(".config/tervan/.zarq.reg.lock .config/tervan/zarq.reg")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command.args.join(' ').toStdString());
        QDir(m_home.config() + QStringLiteral("/tervan")).removeRecursively();
        ASSERT_EQ(setLogin(env(), "demo123").exitCode, 0);
        const QByteArray corrupt = testfiles::readFile(m_home.settings()) + "\"broken\n";
        testfiles::writeFile(m_home.settings(), corrupt);

        const Finished f = run(row.command);
        EXPECT_EQ(f.exitCode, row.exitCode) << f.err.constData();
        EXPECT_TRUE(f.err.contains("zarq: The settings file \"" + m_home.settings().toUtf8() +
                                   "\" cannot be read (line 9: "))
            << f.err.constData();
        EXPECT_TRUE(f.err.contains(row.says)) << f.err.constData();
        // The corrupt bytes survive, whole, in the one copy beside the file.
        const QStringList bad = QDir(m_home.config() + QStringLiteral("/tervan"))
                                    .entryList({QStringLiteral("zarq.reg.*.bad")}, QDir::Files);
        ASSERT_EQ(bad.size(), 1);
        EXPECT_EQ(testfiles::readFile(m_home.config() + QStringLiteral("/tervan/") + bad.first()),
                  corrupt);
        QStringList expected = row.listingAfter.split(' ');
        expected << QStringLiteral(".config/tervan/") + bad.first();
        expected.sort();
        EXPECT_EQ(m_home.listing(), expected.join(' '));
    }
}

TEST_F(SettingsFault, AnUnreadableFileIsReportedAndLeftAsItIs) {
    if (isRoot()) {
        // chmod stops no reader that is root: the rows run as nobody, in a home of nobody's.
        if (QProcess::execute(QStringLiteral("setpriv"), {QStringLiteral("--version")}) != 0)
            GTEST_SKIP() << "setpriv (util-linux) is needed to run as an unprivileged user";
        ASSERT_TRUE(giveTo(m_home.root(), nobody(), nobodyGroup()));
        m_runAs = nobody();
    }
    const Finished saved = run({{QStringLiteral("--set-login"), QStringLiteral("demo"),
                                 QStringLiteral("--password-stdin"), QStringLiteral("--autologin")},
                                "demo123\n"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.constData();
    const QByteArray before = testfiles::readFile(m_home.settings());
    const QString listing = m_home.listing();
    ASSERT_EQ(::chmod(QFile::encodeName(m_home.settings()).constData(), 0), 0);

    struct Row {
        Command command;
        QByteArray says;
    };
    const QByteArray file = m_home.settings().toUtf8();
    const Row rows[] = {
        {kHeadless, "zarq: the settings file " + file +
                        " cannot be read (Permission denied); nothing is signed in\n"},
        {kNewLogin, "zarq: Failed to set data for 'loginname' (Permission denied)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command.args.join(' ').toStdString());
        const Finished f = run(row.command);
        EXPECT_EQ(f.exitCode, 1) << f.err.constData();
        EXPECT_TRUE(f.err.contains(row.says)) << f.err.constData();
        EXPECT_EQ(statOf(m_home.settings()).st_mode & 07777, 0u);
        EXPECT_EQ(m_home.listing(), listing);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(m_home.settings()).constData(), 0600), 0);
    EXPECT_EQ(testfiles::readFile(m_home.settings()), before);
}

TEST_F(SettingsFault, OnAFullDiskSavingFailsAndKeepsTheOldFile) {
    if (!isRoot())
        GTEST_SKIP() << "a full disk is a small tmpfs in a mount namespace, which needs root";
    // Inside the namespace the tmpfs covers the config folder: the first login fits, a filler
    // takes the rest, the second login has no room. What happened is copied out to `out`.
    const QString out = m_home.work();
    const QString script = QStringLiteral(
        "cfg=\"$XDG_CONFIG_HOME\"; out=\"$1\"; zarq=\"$2\"\n"
        "mount -t tmpfs -o size=64k,mode=0700 zarqfull \"$cfg\" || exit 90\n"
        "printf 'demo123\\n' | \"$zarq\" --set-login demo --password-stdin --autologin "
        "2>\"$out/first.err\" || exit 91\n"
        "cp \"$cfg/tervan/zarq.reg\" \"$out/before.reg\"\n"
        "dd if=/dev/zero of=\"$cfg/filler\" bs=1024 2>/dev/null\n"
        "printf 'newpass\\n' | \"$zarq\" --set-login other --password-stdin 2>\"$out/full.err\"\n"
        "echo $? >\"$out/full.status\"\n"
        "\"$zarq\" --headless 2>\"$out/headless.err\"\n"
        "echo $? >\"$out/headless.status\"\n"
        "cp \"$cfg/tervan/zarq.reg\" \"$out/after.reg\"\n"
        "ls -A \"$cfg\" \"$cfg/tervan\" >\"$out/listing\"\n");
    const QString listing = m_home.listing();
    QProcess sh;
    sh.setProcessEnvironment(env());
    sh.start(QStringLiteral("unshare"),
             {QStringLiteral("-m"), QStringLiteral("--"), QStringLiteral("/bin/sh"),
              QStringLiteral("-c"), script, QStringLiteral("sh"), out, kZarq});
    ASSERT_TRUE(sh.waitForFinished(60000));
    if (sh.exitCode() != 0 && !QFile::exists(out + QStringLiteral("/first.err")))
        GTEST_SKIP() << "no mount namespace with a tmpfs here: "
                     << sh.readAllStandardError().toStdString();
    ASSERT_EQ(sh.exitCode(), 0) << testfiles::readFile(out + "/first.err").constData();

    EXPECT_EQ(testfiles::readFile(out + "/full.status"), "1\n");
    EXPECT_EQ(testfiles::readFile(out + "/full.err"),
              "zarq: Failed to set data for 'loginname' (cannot write: No space left on device)\n");
    // The headless program saves the login before it signs in, as the login dialog does; with
    // no room for that it ends instead.
    EXPECT_EQ(testfiles::readFile(out + "/headless.status"), "1\n");
    EXPECT_EQ(testfiles::readFile(out + "/headless.err"),
              "zarq: Failed to set data for 'loginname' (cannot write: No space left on device)\n");
    const QByteArray before = testfiles::readFile(out + "/before.reg");
    EXPECT_TRUE(before.contains("\"loginname\"=\"demo\"")) << before.constData();
    EXPECT_EQ(testfiles::readFile(out + "/after.reg"), before);
    // No temporary file was left behind on the full disk.
    EXPECT_EQ(testfiles::readFile(out + "/listing"),
              m_home.config().toUtf8() + ":\nfiller\ntervan\n\n" + m_home.config().toUtf8() +
                  "/tervan:\n.zarq.reg.lock\nzarq.reg\n");
    // The tmpfs went with the namespace; the real home never saw any of it.
    EXPECT_EQ(m_home.listing(), listing);
}

TEST_F(SettingsFault, ALinkToAnotherUsersFileIsNeitherReadNorWritten) {
    if (!isRoot())
        GTEST_SKIP() << "another user's file is made with chown, which needs root";
    // nobody's own settings, readable by anyone: only the refusal keeps them from being used.
    const QString theirs = m_home.work() + QStringLiteral("/theirs/zarq.reg");
    QProcessEnvironment other = env();
    other.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.work() + QStringLiteral("/theirs"));
    ASSERT_EQ(setLogin(other, "victim-password", QStringLiteral("victim")).exitCode, 0);
    ASSERT_TRUE(QFile::rename(m_home.work() + QStringLiteral("/theirs/tervan/zarq.reg"), theirs));
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), nobody(), nobodyGroup()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(theirs).constData(), 0644), 0);
    const QByteArray theirBytes = testfiles::readFile(theirs);

    ASSERT_EQ(setLogin(env(), "demo123").exitCode, 0);
    ASSERT_TRUE(QFile::remove(m_home.settings()));
    ASSERT_TRUE(QFile::link(theirs, m_home.settings()));
    const QString listing = m_home.listing();

    const QByteArray why = "it is a symbolic link to \"" + theirs.toUtf8() +
                           "\", a file of another user (uid " + QByteArray::number(nobody()) +
                           "), which is neither read nor written";
    struct Row {
        Command command;
        QByteArray says;
    };
    const Row rows[] = {
        {kHeadless, "zarq: the settings file " + m_home.settings().toUtf8() + " cannot be read (" +
                        why + "); nothing is signed in\n"},
        {kNewLogin, "zarq: Failed to set data for 'loginname' (" + why + ")\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command.args.join(' ').toStdString());
        const Finished f = run(row.command);
        EXPECT_EQ(f.exitCode, 1) << f.err.constData();
        EXPECT_TRUE(f.err.contains(row.says)) << f.err.constData();
        EXPECT_FALSE(f.err.contains("victim")) << f.err.constData();
        // The link and the file it leads to are as they were.
        EXPECT_EQ(QFileInfo(m_home.settings()).symLinkTarget(), theirs);
        EXPECT_EQ(testfiles::readFile(theirs), theirBytes);
        EXPECT_EQ(statOf(theirs).st_uid, nobody());
        EXPECT_EQ(m_home.listing(), listing);
    }
}

TEST_F(SettingsFault, ALinkToAFileOfTheUsersOwnIsReadAndWrittenThrough) {
    // As a dotfile manager keeps it: the settings live elsewhere, the usual path is a link.
    const QString kept = m_home.work() + QStringLiteral("/dotfiles/zarq.reg");
    ASSERT_EQ(setLogin(env(), "demo123").exitCode, 0);
    QDir().mkpath(QFileInfo(kept).path());
    ASSERT_TRUE(QFile::rename(m_home.settings(), kept));
    ASSERT_TRUE(QFile::link(kept, m_home.settings()));

    // Without --password-stdin the key saved before is read and kept.
    const Finished f = run({{QStringLiteral("--set-login"), QStringLiteral("renamed")}, {}});
    EXPECT_EQ(f.exitCode, 0) << f.err.constData();
    EXPECT_TRUE(f.err.contains("note: the saved key was made for demo.dyn.tervan.com"))
        << f.err.constData();
    EXPECT_TRUE(f.err.contains("key saved")) << f.err.constData();
    EXPECT_EQ(QFileInfo(m_home.settings()).symLinkTarget(), kept);
    const QByteArray now = testfiles::readFile(kept);
    EXPECT_TRUE(now.contains("\"loginname\"=\"renamed\"")) << now.constData();
    EXPECT_FALSE(now.contains("\"password\"=\"\"")) << now.constData();
    EXPECT_EQ(statOf(kept).st_mode & 0777, 0600u);
    // The temporary file of the write went beside the file it replaced, and is gone.
    EXPECT_EQ(QDir(QFileInfo(kept).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("zarq.reg")});
}

TEST_F(SettingsFault, ASaveFlushesTheNewFileBeforeItReplacesTheOldOne) {
    // A power cut right after the rename must find the new settings on disk, not an empty
    // file under the old name: the new file is flushed before it takes the old one's place.
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        GTEST_SKIP() << "strace (Debian package strace) is needed to see the save's system calls";
    ASSERT_EQ(setLogin(env(), "demo123").exitCode, 0); // an old file to replace
    const QString trace = m_home.work() + QStringLiteral("/save.trace");
    // LeakSanitizer cannot run under ptrace: in the sanitizer build the traced program checks
    // everything else, but not its leaks (every untraced run of it still does).
    QProcessEnvironment traced = env();
    const QString asan = traced.value(QStringLiteral("ASAN_OPTIONS"));
    traced.insert(QStringLiteral("ASAN_OPTIONS"),
                  asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("detect_leaks=0"));
    // -y names the file behind each descriptor: fsync(3</path/.zarq.reg.AbC123>).
    const Finished f = runToEnd(
        strace,
        QStringList{QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-o"), trace,
                    QStringLiteral("-e"),
                    QStringLiteral("trace=fsync,fdatasync,rename,renameat,renameat2"), kZarq} +
            kNewLogin.args,
        traced, kNewLogin.input);
    if (f.exitCode != 0 && f.err.contains("ptrace"))
        GTEST_SKIP() << "strace may not trace here: " << f.err.constData();
    ASSERT_EQ(f.exitCode, 0) << f.err.constData();
    EXPECT_TRUE(testfiles::readFile(m_home.settings()).contains("\"loginname\"=\"other\""));

    const QList<QByteArray> lines = testfiles::readFile(trace).split('\n');
    const QByteArray into = "\", \"" + m_home.settings().toUtf8() + "\"";
    QStringList flushed; // the files flushed so far, by name
    QString replacedFrom;
    for (const QByteArray& line : lines) {
        const qsizetype call = std::max(line.indexOf("fsync("), line.indexOf("fdatasync("));
        if (call >= 0 && line.contains("= 0")) {
            const qsizetype open = line.indexOf('<', call), close = line.indexOf('>', open);
            if (open > 0 && close > open)
                flushed << QFileInfo(QString::fromUtf8(line.mid(open + 1, close - open - 1)))
                               .fileName();
        }
        const qsizetype rename = line.indexOf("rename");
        if (rename >= 0 && line.contains(into) && line.contains("= 0")) {
            const qsizetype from = line.indexOf('"', rename) + 1;
            replacedFrom =
                QFileInfo(QString::fromUtf8(line.mid(from, line.indexOf('"', from) - from)))
                    .fileName();
            break;
        }
    }
    ASSERT_TRUE(replacedFrom.startsWith(QStringLiteral(".zarq.reg.")))
        << "no rename onto the settings file:\n"
        << testfiles::readFile(trace).constData();
    EXPECT_TRUE(flushed.contains(replacedFrom))
        << replacedFrom.toStdString() << " was renamed into place without an fsync before; "
        << "flushed: " << flushed.join(' ').toStdString();
}
