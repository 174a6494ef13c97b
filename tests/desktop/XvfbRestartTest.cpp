// The desktop program replacing itself on a real display: a copy of zarq and zarq-desktop in a
// folder of the test (its name holds a blank), the reference update host listing newer builds
// of both as "<name>_NEW". The start's update run fetches them and shows the restart notice;
// Return closes it, the program signs out and ends, and the updater puts the new files in
// place and starts the program again.
#include "XvfbFixture.h"
#include "support/WaitFor.h"
#include "update/UnwritableFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtEndian>
#include <csignal>
#include <sys/stat.h>

using namespace zarq::test;

namespace {

const QString kNoticeTitle = QStringLiteral("TERVAN 蓝杉果动态域名客户端");
const QString kMainTitle = QStringLiteral("TERVAN 蓝杉果动态域名客户端 1.0");
// Name size 5, descriptor size 8, type "VZ", owner "Zarq" padded to eight bytes; the four
// 16-bit version parts follow.
const QByteArray kNoteHead("\x05\0\0\0\x08\0\0\0\x56\x5a\0\0Zarq\0\0\0\0", 20);

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The version in a program's note, "a.b.c.d", or empty.
QString noteVersion(const QString& path) {
    const QByteArray bytes = readAll(path);
    const qsizetype at = bytes.indexOf(kNoteHead);
    if (at < 0)
        return {};
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << QString::number(
            qFromLittleEndian<quint16>(bytes.constData() + at + kNoteHead.size() + 2 * i));
    return parts.join(u'.');
}

// The program with every copy of its version note set to 9.8.7.6.
QByteArray newer(QByteArray program) {
    const quint16 parts[] = {9, 8, 7, 6};
    for (qsizetype at = program.indexOf(kNoteHead); at >= 0;
         at = program.indexOf(kNoteHead, at + 1)) {
        for (int i = 0; i < 4; ++i)
            qToLittleEndian(parts[i], program.data() + at + kNoteHead.size() + 2 * i);
    }
    return program;
}

bool running(qint64 pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

QList<qint64> processesOf(const QString& path) {
    QList<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) == path &&
            running(pid))
            found.append(pid);
    }
    return found;
}

class XvfbRestartTest : public XvfbFixture {
protected:
    void SetUp() override {
        XvfbFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed (Debian package xdotool); the notice "
                            "cannot be answered here";
        app = tmp.filePath(QStringLiteral("my app")) + u'/';
        root = tmp.filePath(QStringLiteral("root")) + u'/';
        ASSERT_TRUE(QDir().mkpath(app) && QDir().mkpath(root));
        const QString programs[][2] = {
            {QStringLiteral(ZARQ_PROGRAM), QStringLiteral("zarq")},
            {QStringLiteral(ZARQ_DESKTOP_PROGRAM), QStringLiteral("zarq-desktop")}};
        for (const auto& [built, name] : programs) {
            ASSERT_TRUE(QFile::copy(built, app + name));
            ASSERT_EQ(::chmod(QFile::encodeName(app + name).constData(), 0755), 0);
            QFile staged(root + name + QStringLiteral("_NEW"));
            ASSERT_TRUE(staged.open(QIODevice::WriteOnly));
            staged.write(newer(readAll(built)));
        }
        host.start(QStringLiteral(ZARQ_PYTHON),
                   {QStringLiteral(ZARQ_UPDATE_HOST), QStringLiteral("--update-root"), root,
                    QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--port-file"),
                    tmp.filePath(QStringLiteral("host.port")), QStringLiteral("--quiet")});
        ASSERT_TRUE(waitFor([&] { return !readAll(tmp.filePath("host.port")).isEmpty(); }));
        const QString base = QStringLiteral("http://127.0.0.1:%1/")
                                 .arg(readAll(tmp.filePath("host.port")).trimmed());
        QFile control(root + QStringLiteral("update1.txt"));
        ASSERT_TRUE(control.open(QIODevice::WriteOnly));
        // Each file is due while the program in the folder is older, so the restarted program
        // finds nothing more to do.
        control.write("[application]\r\nappupdate=1\r\nappname=zarq\r\n"
                      "appcomps=zarq_NEW zarq-desktop_NEW\r\n[files]\r\ncount=2\r\n[file1]\r\n"
                      "newversion=9.8.7.6\r\nlocalversion={APP}\\zarq\r\nurl=" +
                      (base + "zarq_NEW").toUtf8() +
                      "\r\n[file2]\r\nnewversion=9.8.7.6\r\nlocalversion={APP}\\zarq-desktop\r\n"
                      "url=" +
                      (base + "zarq-desktop_NEW").toUtf8() + "\r\n");
        env.insert(QStringLiteral("ZARQ_UPDATE_URL"), base + QStringLiteral("update1.txt"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), tmp.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), tmp.filePath(QStringLiteral("data")));
    }
    void TearDown() override {
        for (const char* name : {"zarq", "zarq-desktop"}) {
            for (qint64 pid : processesOf(app + QLatin1String(name)))
                ::kill(pid_t(pid), SIGKILL);
        }
        host.terminate();
        host.waitForFinished(5000);
        XvfbFixture::TearDown();
    }
    bool shown(const QString& title) {
        const XWindow w = window(title);
        return w.id != XCB_WINDOW_NONE && w.viewable;
    }

    QString app, root;
    QProcess host;
};

// No login is saved, so no sign-in races the update run; the way out is still the exit
// command's, which signs out even without a sign-in (with an empty token).
TEST_F(XvfbRestartTest, TheNoticeIsAnsweredTheProgramSignsOutAndComesBackNewer) {
    zarq.setProcessEnvironment(env);
    zarq.setWorkingDirectory(app);
    zarq.setStandardErrorFile(tmp.filePath(QStringLiteral("zarq.log")));
    zarq.start(app + QStringLiteral("zarq"), {});
    ASSERT_TRUE(zarq.waitForStarted(10000));
    const qint64 oldPid = zarq.processId();

    ASSERT_TRUE(waitFor([&] { return shown(kNoticeTitle); }, 60000))
        << "zarq.log: " << fileText("zarq.log").constData();
    const QString notice = QString::number(window(kNoticeTitle).id);
    ASSERT_TRUE(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), notice}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    ASSERT_TRUE(zarq.waitForFinished(60000));
    EXPECT_EQ(zarq.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(zarq.exitCode(), 0);
    EXPECT_EQ(events().count("signout-unknown -"), 1) << events().constData();

    // The launcher comes back and becomes the desktop companion, both the new builds.
    QList<qint64> back;
    ASSERT_TRUE(waitFor(
        [&] {
            back = processesOf(app + QStringLiteral("zarq-desktop"));
            back.removeAll(oldPid);
            return !back.isEmpty();
        },
        60000))
        << "zarq.log: " << fileText("zarq.log").constData();
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(noteVersion(app + QStringLiteral("zarq")), QStringLiteral("9.8.7.6"));
    EXPECT_EQ(noteVersion(QStringLiteral("/proc/%1/exe").arg(back[0])), QStringLiteral("9.8.7.6"));
    EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(back[0])), app.chopped(1));

    // Up once its main window shows (the signal watch is set before, the tray icon earlier);
    // SIGTERM then signs out.
    ASSERT_TRUE(
        waitFor([&] { return topLevelTitled(display, back[0], kMainTitle).viewable; }, 60000));
    ::kill(pid_t(back[0]), SIGTERM);
    EXPECT_TRUE(waitFor([&] { return !running(back[0]); }, 30000));
    EXPECT_EQ(events().count("signout-unknown -"), 2) << events().constData();
}

// A folder the user cannot write (a system-wide install): no notice, no updater, the program
// keeps running with its old files, and the update log says why.
TEST_F(XvfbRestartTest, AFolderTheUserCannotWriteKeepsTheOldProgramRunning) {
    const QString old = noteVersion(app + QStringLiteral("zarq"));
    UnwritableFolder locked(app);
    if (!locked.ok())
        GTEST_SKIP() << "cannot make a folder unwritable here: " << locked.why().toStdString();
    zarq.setProcessEnvironment(env);
    zarq.setWorkingDirectory(app);
    zarq.setStandardErrorFile(tmp.filePath(QStringLiteral("zarq.log")));
    zarq.start(app + QStringLiteral("zarq"), {});
    ASSERT_TRUE(zarq.waitForStarted(10000));

    const QString log = tmp.filePath(QStringLiteral("home/UPDATE.LOG"));
    ASSERT_TRUE(waitFor(
        [&] { return readAll(log).contains("Unable to replace application files : "); }, 60000))
        << "zarq.log: " << fileText("zarq.log").constData();
    EXPECT_TRUE(readAll(log).contains("the folder " + QFile::encodeName(app.chopped(1)) +
                                      " cannot be written"))
        << readAll(log).constData();
    EXPECT_FALSE(shown(kNoticeTitle));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("cache/tervan/tmp/updater.exe"))));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("home/UPDATER.INI"))));
    EXPECT_EQ(noteVersion(app + QStringLiteral("zarq")), old);

    // Still the same program, still answering: its window is up and SIGTERM signs it out.
    ASSERT_TRUE(waitFor([&] { return shown(kMainTitle); }, 60000));
    EXPECT_EQ(zarq.state(), QProcess::Running);
    ::kill(pid_t(zarq.processId()), SIGTERM);
    ASSERT_TRUE(zarq.waitForFinished(30000));
    EXPECT_EQ(zarq.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(zarq.exitCode(), 0);
    EXPECT_EQ(events().count("signout-unknown -"), 1) << events().constData();
}

} // namespace
