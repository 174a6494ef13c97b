#include "platform/CommandLine.h"
#include "platform/ReplacingFile.h"

#include <QDirIterator>
#include <QProcess>
#include <gtest/gtest.h>

#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"
#include "updater/UpdaterLogLines.h"

using testfiles::readFile;
using testfiles::writeFile;

namespace {

// The built updater, run as the program runs it: in the application folder, with the command
// line the program writes, while a stand-in for the program (a child of this test that ends when
// told) is still running. The program it restarts is the probe, which writes down how it was
// started.
class UpdaterProgramTest : public testing::Test {
protected:
    void SetUp() override {
        // Blanks and shell characters in the folder: a shell anywhere would trip over them.
        app = home.path() + QStringLiteral("/my apps; touch pwned $(touch pwned2)");
        staging = home.path() + QStringLiteral("/.cache/tervan/tmp/");
        QDir().mkpath(app);
        QDir().mkpath(staging);
        // As the program makes it: the user's alone.
        ::chmod(QFile::encodeName(staging).constData(), 0700);
        probe = readFile(QStringLiteral(ZARQ_PROCESS_PROBE));
        writeFile(app + QStringLiteral("/zarq"), probe);
        ::chmod(QFile::encodeName(app + QStringLiteral("/zarq")).constData(), 0755);
        newBuild = probe + QByteArray("\nnew build");
        writeFile(staging + QStringLiteral("zarq_NEW"), newBuild);
        writeFile(staging + QStringLiteral("readme.txt_NEW"), "read me");
        writeFile(home.path() + QStringLiteral("/UPDATER.INI"),
                  "[CONFIG]\r\nLOGFILENAME=UPDATE.LOG\r\n");
        probeOut = home.path() + QStringLiteral("/probe.out");
        parent.start(QStringLiteral("cat"), {});
        ASSERT_TRUE(parent.waitForStarted(10000));
    }
    void TearDown() override {
        parent.closeWriteChannel();
        parent.waitForFinished(10000);
        if (updater.state() != QProcess::NotRunning) {
            updater.kill();
            updater.waitForFinished(10000);
        }
    }

    QString commandLine(const char* logging, const QString& program, const QString& param,
                        const QString& components) const {
        return QStringLiteral("%1 %2 %3 %4 \"%5\" %6")
            .arg(parent.processId())
            .arg(QLatin1String(logging), program, param, staging, components);
    }

    void startUpdater(const QString& text) {
        QProcessEnvironment env = home.environment();
        env.insert(QStringLiteral("ZARQ_PROBE_OUT"), probeOut);
        updater.setProcessEnvironment(env);
        updater.setWorkingDirectory(app);
        updater.start(QStringLiteral(ZARQ_UPDATER), zarq::CommandLine::split(text));
        ASSERT_TRUE(updater.waitForStarted(10000));
    }

    void endParentAndUpdater() {
        parent.closeWriteChannel();
        ASSERT_TRUE(parent.waitForFinished(10000));
        ASSERT_TRUE(updater.waitForFinished(30000));
        EXPECT_EQ(updater.exitCode(), 0);
    }

    QStringList probeReport() const {
        return QString::fromUtf8(readFile(probeOut)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    TempHome home;
    QString app;
    QString staging;
    QString probeOut;
    QByteArray probe;
    QByteArray newBuild;
    QProcess parent;
    QProcess updater;
};

TEST_F(UpdaterProgramTest, WaitsForTheProgramPlacesItsFilesAndStartsItAgain) {
    const QString program = app + QStringLiteral("/zarq");
    startUpdater(commandLine("L", "\"" + program + "\"", QStringLiteral("\" \""),
                             QStringLiteral("zarq_NEW readme.txt_NEW")));
    // While the program runs, the updater waits: nothing is read, nothing replaced.
    EXPECT_FALSE(updater.waitForFinished(300));
    EXPECT_TRUE(QFile::exists(home.path() + QStringLiteral("/UPDATER.INI")));
    EXPECT_EQ(readFile(program), probe);

    endParentAndUpdater();
    EXPECT_FALSE(QFile::exists(home.path() + QStringLiteral("/UPDATER.INI")));
    EXPECT_TRUE(readFile(program) == newBuild);
    EXPECT_EQ(zarq::ReplacingFile::modeOf(program), 0755);
    EXPECT_EQ(readFile(app + QStringLiteral("/readme.txt")), QByteArray("read me"));
    // What was put in place is gone from the staging folder.
    EXPECT_EQ(QDir(staging).entryList(QDir::Files), QStringList());
    EXPECT_EQ(
        updaterLogTexts(home.path() + QStringLiteral("/UPDATE.LOG")),
        (QStringList{"upd v2.0.3.4", "Upd cur dir : " + app,
                     "Upd copying file : " + staging + "zarq_NEW to " + app + "/zarq",
                     "Upd copying file : " + staging + "readme.txt_NEW to " + app + "/readme.txt",
                     "Upd restart " + program + "  "}));

    // The new program runs: no argument, in the application folder, on its own, no shell.
    ASSERT_TRUE(waitFor([&] { return probeReport().contains(QStringLiteral("end")); }));
    EXPECT_EQ(probeReport().join(QLatin1Char('\n')),
              QStringList({"cwd=" + app, "session=own", "fd0=/dev/null", "fd1=/dev/null",
                           "fd2=/dev/null", "end"})
                  .join(QLatin1Char('\n')));
    for (QDirIterator it(home.path(), QDir::AllEntries | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        EXPECT_FALSE(it.next().endsWith(QLatin1String("pwned"))) << it.filePath().toStdString();
    EXPECT_FALSE(QFile::exists(app + QStringLiteral("/pwned2")));
}

TEST_F(UpdaterProgramTest, AStagingFolderOthersCouldHaveSwappedIsRefusedAndTheOldProgramReturns) {
    // A folder open to others, or any folder above it that others may write, or a link on the
    // way: another user could have put their files in its place after the program checked it.
    struct Row {
        const char* name;
        std::function<QString(const QString& home)> arrange; // the staging folder to pass
        const char* why;
    };
    const Row rows[] = {
        {"open to others",
         [](const QString&) {
             return QString(); // the fixture's folder, opened below
         },
         "is open to other users (mode 0755, not 0700)"},
        {"a parent others may write",
         [](const QString& h) {
             QDir().mkpath(h + "/shared/tmp");
             ::chmod(QFile::encodeName(h + "/shared").constData(), 0777);
             ::chmod(QFile::encodeName(h + "/shared/tmp").constData(), 0700);
             return h + "/shared/tmp/";
         },
         "/shared can be written by other users (mode 0777)"},
        {"a link on the way",
         [](const QString& h) {
             QDir().mkpath(h + "/real/tmp");
             ::chmod(QFile::encodeName(h + "/real/tmp").constData(), 0700);
             QFile::link(h + "/real", h + "/linked");
             return h + "/linked/tmp/";
         },
         "/linked is a symbolic link or not a folder"},
    };
    const QString program = app + QStringLiteral("/zarq");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QString folder = row.arrange(home.path());
        if (folder.isEmpty()) {
            folder = staging;
            ::chmod(QFile::encodeName(staging).constData(), 0755);
        } else {
            writeFile(folder + QStringLiteral("zarq_NEW"), "foreign program");
        }
        QFile::remove(home.path() + QStringLiteral("/UPDATE.LOG"));
        QFile::remove(probeOut);
        writeFile(home.path() + QStringLiteral("/UPDATER.INI"),
                  "[CONFIG]\r\nLOGFILENAME=UPDATE.LOG\r\n");
        if (parent.state() == QProcess::NotRunning) {
            parent.start(QStringLiteral("cat"), {});
            ASSERT_TRUE(parent.waitForStarted(10000));
        }
        startUpdater(QStringLiteral("%1 L \"%2\" \" \" \"%3\" zarq_NEW")
                         .arg(parent.processId())
                         .arg(program, folder));
        endParentAndUpdater();
        EXPECT_EQ(readFile(program), probe); // nothing copied
        const QStringList log = updaterLogTexts(home.path() + QStringLiteral("/UPDATE.LOG"));
        ASSERT_GE(log.size(), 3);
        EXPECT_TRUE(log[2].startsWith("Upd refused folder : " + folder + " ("))
            << log[2].toStdString();
        EXPECT_TRUE(log[2].contains(QLatin1String(row.why))) << log[2].toStdString();
        // The old program comes back.
        ASSERT_TRUE(waitFor([&] { return probeReport().contains(QStringLiteral("end")); }));
    }
}

TEST_F(UpdaterProgramTest, AParameterTravelsAsOneArgumentAndXWritesNoLog) {
    const QString program = app + QStringLiteral("/zarq");
    startUpdater(commandLine("X", "\"" + program + "\"", QStringLiteral("\"--from update\""),
                             QStringLiteral("zarq_NEW")));
    endParentAndUpdater();
    EXPECT_TRUE(readFile(program) == newBuild);
    EXPECT_FALSE(QFile::exists(home.path() + QStringLiteral("/UPDATE.LOG")));
    EXPECT_FALSE(QFile::exists(home.path() + QStringLiteral("/UPDATER.INI")));
    ASSERT_TRUE(waitFor([&] { return probeReport().contains(QStringLiteral("end")); }));
    EXPECT_EQ(probeReport().filter(QStringLiteral("arg=")),
              QStringList{QStringLiteral("arg=--from update")});
}

TEST_F(UpdaterProgramTest, NullPlacesTheFilesAndStartsNothing) {
    writeFile(staging + QStringLiteral("setup.EXE"), probe);
    startUpdater(commandLine("L", QStringLiteral("null"), QStringLiteral("\" \""),
                             QStringLiteral("setup.EXE zarq_NEW")));
    endParentAndUpdater();
    EXPECT_TRUE(readFile(app + QStringLiteral("/zarq")) == newBuild);
    const QStringList log = updaterLogTexts(home.path() + QStringLiteral("/UPDATE.LOG"));
    EXPECT_EQ(log.mid(2).join(QLatin1Char('\n')),
              QStringList({"Upd execute setup.EXE " + app + "/",
                           "Upd copying file : " + staging + "zarq_NEW to " + app + "/zarq"})
                  .join(QLatin1Char('\n')));
    // Only the program component ran (in the application folder), and it was waited for.
    EXPECT_EQ(probeReport().filter(QStringLiteral("end")).size(), 1);
    EXPECT_TRUE(probeReport().contains("cwd=" + app));
}

TEST_F(UpdaterProgramTest, AFirstParameterThatIsNoNumberEndsAtOnce) {
    startUpdater(QStringLiteral("pid L \"%1/zarq\" \" \" \"%2\" zarq_NEW").arg(app, staging));
    // The program still runs, yet the updater ends: it did not wait, read or place anything.
    ASSERT_TRUE(updater.waitForFinished(30000));
    EXPECT_TRUE(QFile::exists(home.path() + QStringLiteral("/UPDATER.INI")));
    EXPECT_EQ(readFile(app + QStringLiteral("/zarq")), probe);
    EXPECT_FALSE(QFile::exists(home.path() + QStringLiteral("/UPDATE.LOG")));
}

} // namespace
