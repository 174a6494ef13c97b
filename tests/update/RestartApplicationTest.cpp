// The restart through the updater, inside the test process: the updater written out, the
// hand-over file, the command line as the updater takes it apart, the refusals, and the end of
// the program through its event loop. Starting the updater is recorded, not done (it would
// wait for this test process to end).

#include "UnwritableFolder.h"
#include "UpdateHostFixture.h"

#include "update/RestartMessage.h"
#include "updater/UpdaterParameters.h"

#include "platform/CommandLine.h"

#include <QCoreApplication>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

using namespace updatetest;

namespace {

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class RestartProbe : public zarq::TAutoUpdate {
public:
    using TAutoUpdate::FAppComps;
    using TAutoUpdate::FAppName;
    using TAutoUpdate::FAppParam;
    using TAutoUpdate::FSilentRestart;
    using TAutoUpdate::RestartApplication;
    using TAutoUpdate::UpdaterCommandLine;

    QList<Message> messages;
    QList<QStringList> starts; // program, parameters
    bool startSucceeds = true;
    int closes = 0;

    RestartProbe() {
        SetLogFileName(QStringLiteral("UPDATE.LOG"));
        OnAppDoClose = [this](TAutoUpdate*) { ++closes; };
    }
    QList<int> numbers() const {
        QList<int> n;
        for (const Message& m : messages)
            n.append(m.number);
        return n;
    }
    QString textOf(int number) const {
        for (const Message& m : messages) {
            if (m.number == number)
                return m.text;
        }
        return QStringLiteral("<none>");
    }

protected:
    void LogStatus(int Number, const QString& Text, int StatusCode, int ErrCode) override {
        messages.append({Number, Text, StatusCode, ErrCode});
        TAutoUpdate::LogStatus(Number, Text, StatusCode, ErrCode);
    }
    bool StartUpdater(const QString& program, const QString& parameters) override {
        starts.append({program, parameters});
        if (!startSucceeds)
            NoteTransportError(ENOEXEC, QStringLiteral("refused by the test"));
        return startSucceeds;
    }
};

class RestartApplicationTest : public testing::Test {
protected:
    void SetUp() override {
        m_previous = QDir::currentPath();
        useApplicationFolder("app");
        QDir().mkpath(home.staging());
        writeFile(home.staging() + "zarq_NEW", "new program");
        update.FAppName = "zarq";
        update.FAppParam = " ";
        update.FAppComps = "zarq_NEW";
        update.OnAppRestart = [](zarq::TAutoUpdate*, bool&) {};
    }
    void TearDown() override { QDir::setCurrent(m_previous); }

    void useApplicationFolder(const QString& name) {
        app = home.folder(name);
        ASSERT_TRUE(QDir::setCurrent(app));
    }
    QString handOver() const { return home.path() + "/UPDATER.INI"; }
    // Nothing of a restart happened: no updater written or started, no hand-over, no end.
    void expectNoRestart() const {
        EXPECT_TRUE(update.starts.isEmpty());
        EXPECT_EQ(update.closes, 0);
        EXPECT_FALSE(QFile::exists(handOver()));
        EXPECT_FALSE(QFile::exists(home.staging() + "updater.exe"));
        EXPECT_FALSE(QFile::exists(home.staging() + "updater.ex_"));
    }

    TempHome home;
    QString app;
    RestartProbe update;

private:
    QString m_previous;
};

TEST_F(RestartApplicationTest, WritesTheUpdaterAndTheHandOverStartsItAndEndsTheProgram) {
    int asked = 0;
    update.OnAppRestart = [&](zarq::TAutoUpdate*, bool& allow) {
        ++asked;
        EXPECT_TRUE(allow);
    };
    update.RestartApplication();

    EXPECT_EQ(asked, 1);
    EXPECT_EQ(update.numbers(), (QList<int>{959, 958}));
    EXPECT_EQ(update.textOf(959), QDir::currentPath());
    const QString expected = QString::number(::getpid()) + " X " + app + "zarq " + "\" \"" + " \"" +
                             home.staging() + "\" zarq_NEW";
    EXPECT_EQ(update.textOf(958), expected);
    ASSERT_EQ(update.starts.size(), 1);
    EXPECT_EQ(update.starts[0], (QStringList{home.staging() + "updater.exe", expected}));

    // The updater as built, expanded from the packed copy, which is gone; only its owner runs it.
    EXPECT_EQ(readFile(home.staging() + "updater.exe"), readFile(ZARQ_UPDATER_PROGRAM));
    EXPECT_EQ(modeOf(home.staging() + "updater.exe"), 0700u);
    EXPECT_FALSE(QFile::exists(home.staging() + "updater.ex_"));

    EXPECT_EQ(readFile(handOver()), "[CONFIG]\r\nLOGFILENAME=UPDATE.LOG\r\n");
    EXPECT_EQ(modeOf(handOver()), 0600u);
    EXPECT_EQ(update.closes, 1);
}

// The text is built here by hand from its parts and then taken apart the way the updater
// takes its arguments apart.
TEST_F(RestartApplicationTest, TheCommandLineCarriesEachParameterIntact) {
    struct Case {
        const char* folder;
        const char* name;
        const char* param;
        bool logging;
        const char* comps;
        // expected: parameter 3 and 4 as written in the text
        const char* param3Written; // "%A" stands for the application folder
        const char* param4Written;
        const char* param4Taken;
    };
    const Case cases[] = {
        {"plain", "zarq", " ", false, "zarq_NEW readme.txt_NEW", "%Azarq", "\" \"", " "},
        {"with blank", "zarq", " ", true, "zarq_NEW", "\"%Azarq\"", "\" \"", " "},
        {"plain", "zarq", "--headless", false, "zarq_NEW", "%Azarq", "--headless", "--headless"},
        {"plain", "zarq", "-a b", true, "zarq_NEW", "%Azarq", "\"-a b\"", "-a b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " / " + c.param);
        useApplicationFolder(c.folder);
        update.FAppName = c.name;
        update.FAppParam = c.param;
        update.FAppComps = c.comps;
        update.Logging = c.logging;
        const QString param3 = QString(c.param3Written).replace("%A", app);
        const QString line = update.UpdaterCommandLine();
        EXPECT_EQ(line, QString::number(::getpid()) + (c.logging ? " L " : " X ") + param3 + " " +
                            c.param4Written + " \"" + home.staging() + "\" " + c.comps);
        // Quoting the parameter changes the component's own value.
        EXPECT_EQ(update.FAppParam, QString(c.param4Written));

        const auto taken = zarq::UpdaterParameters::parse(zarq::CommandLine::split(line));
        ASSERT_TRUE(taken.has_value());
        EXPECT_EQ(taken->processId, ::getpid());
        EXPECT_EQ(taken->logging, c.logging);
        EXPECT_EQ(taken->application, app + c.name);
        EXPECT_EQ(taken->applicationParameter, QString(c.param4Taken));
        EXPECT_EQ(taken->stagingFolder, home.staging());
        EXPECT_EQ(taken->components, QString(c.comps).split(' '));
    }
}

TEST_F(RestartApplicationTest, EveryPrintableCharacterOfTheParameterTravelsIntact) {
    QString all;
    for (char16_t c = 0x20; c < 0x7f; ++c) {
        if (c != u'"')
            all += QChar(c);
    }
    all += QStringLiteral("\t中文 \\ end\\");
    for (const QString& param : {all, QStringLiteral("a\\"), QStringLiteral("\\\\x y\\")}) {
        SCOPED_TRACE(param.toStdString());
        update.FAppParam = param;
        const auto taken =
            zarq::UpdaterParameters::parse(zarq::CommandLine::split(update.UpdaterCommandLine()));
        ASSERT_TRUE(taken.has_value());
        EXPECT_EQ(taken->applicationParameter, param);
        EXPECT_EQ(taken->stagingFolder, home.staging());
        EXPECT_EQ(taken->components, QStringList{"zarq_NEW"});
    }
}

TEST_F(RestartApplicationTest, AParameterTheCommandLineCannotCarryRefusesTheRestart) {
    for (const QString& param :
         {QStringLiteral("x\" \"/tmp/evil/"), QStringLiteral("a\"b"), QStringLiteral("line\nbreak"),
          QStringLiteral("cr\r"), QStringLiteral("nul") + QChar(0) + QStringLiteral("x")}) {
        SCOPED_TRACE(param.toStdString());
        update.messages.clear();
        update.FAppParam = param;
        update.RestartApplication();
        EXPECT_EQ(update.numbers(), (QList<int>{959, 950}));
        EXPECT_TRUE(update.textOf(950).startsWith("the program's parameter"))
            << update.textOf(950).toStdString();
        expectNoRestart();
    }
}

TEST_F(RestartApplicationTest, ARefusedOrCancelledRestartLeavesEverythingAsItWas) {
    struct Case {
        const char* what;
        std::function<void(RestartProbe&, ScriptedUserInterface&)> arrange;
        QList<int> messages;
        QStringList asked;
    };
    const QString prompt = "confirm:Shutdown application to update executable files ?";
    const Case cases[] = {
        {"the host says no",
         [](RestartProbe& u, ScriptedUserInterface&) {
             u.OnAppRestart = [](zarq::TAutoUpdate*, bool& allow) { allow = false; };
         },
         {959},
         {}},
        {"no host handler, the box answered No",
         [](RestartProbe&, ScriptedUserInterface& ui) { ui.confirmAnswers = {false}; },
         {959},
         {prompt}},
        {"cancelled before the restart",
         [](RestartProbe& u, ScriptedUserInterface&) {
             u.OnProgressCancel = [](zarq::TAutoUpdate*, bool& cancel) { cancel = true; };
             u.OnAppRestart = [](zarq::TAutoUpdate*, bool&) { ADD_FAILURE() << "asked"; };
         },
         {959, 964},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RestartProbe probe;
        probe.FAppName = "zarq";
        probe.FAppParam = " ";
        probe.FAppComps = "zarq_NEW";
        ScriptedUserInterface ui;
        probe.SetUserInterface(&ui);
        c.arrange(probe, ui);
        probe.RestartApplication();
        EXPECT_EQ(probe.numbers(), c.messages);
        EXPECT_EQ(ui.asked, c.asked);
        EXPECT_TRUE(probe.starts.isEmpty());
        EXPECT_EQ(probe.closes, 0);
        EXPECT_FALSE(QFile::exists(handOver()));
        EXPECT_FALSE(QFile::exists(home.staging() + "updater.exe"));
    }
}

TEST_F(RestartApplicationTest, ASilentRestartAsksNobody) {
    ScriptedUserInterface ui;
    update.SetUserInterface(&ui);
    update.OnAppRestart = nullptr;
    update.FSilentRestart = true;
    update.RestartApplication();
    EXPECT_EQ(ui.asked, QStringList());
    EXPECT_EQ(update.starts.size(), 1);
    EXPECT_EQ(update.closes, 1);
}

TEST_F(RestartApplicationTest, AnApplicationFolderThatCannotBeWrittenRefusesTheRestart) {
    UnwritableFolder locked(app);
    if (!locked.ok())
        GTEST_SKIP() << "cannot make a folder unwritable here: " << locked.why().toStdString();
    update.OnAppRestart = [](zarq::TAutoUpdate*, bool&) { ADD_FAILURE() << "asked"; };
    update.OnAppDoClose = nullptr;
    update.RestartApplication();
    // The program keeps running: no request to end it is waiting in the event loop, so the
    // loop ends only when told to afterwards.
    QTimer::singleShot(0, [] { QCoreApplication::exit(3); });
    EXPECT_EQ(QCoreApplication::exec(), 3);
    EXPECT_EQ(update.numbers(), (QList<int>{959, 950}));
    EXPECT_TRUE(
        update.textOf(950).startsWith("the folder " + app.chopped(1) + " cannot be written"))
        << update.textOf(950).toStdString();
    EXPECT_EQ(update.messages.last().error, EACCES);
    // The direct line of the log, written with logging off too.
    EXPECT_TRUE(readFile(home.path() + "/UPDATE.LOG")
                    .startsWith("Unable to replace application files : the folder " +
                                app.chopped(1).toUtf8() + " cannot be written"));
    expectNoRestart();
}

TEST_F(RestartApplicationTest, CopyTargetsThatCannotBeReplacedRefuseTheRestart) {
    struct Case {
        const char* what;
        const char* comps;
        std::function<void(const QString& app, const QString& staging)> arrange;
        const char* reasonStart; // "%A": the application folder
    };
    const Case cases[] = {
        {"the target is a folder", "data_NEW",
         [](const QString& a, const QString& s) {
             QDir().mkpath(a + "data");
             writeFile(s + "data_NEW", "x");
         },
         "%Adata is a folder"},
        {"the target's folder cannot be written", "ZARQ_NEW",
         [](const QString&, const QString& s) { writeFile(s + "ZARQ_NEW", "x"); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RestartProbe probe;
        probe.FAppName = "zarq";
        probe.FAppParam = " ";
        probe.FAppComps = c.comps;
        c.arrange(app, home.staging());
        std::unique_ptr<UnwritableFolder> locked;
        if (c.reasonStart == nullptr) {
            // Only the target's own folder is locked: a subfolder holding the copy target.
            QDir().mkpath(app + "bin");
            probe.FAppComps = "bin/ZARQ_NEW";
            writeFile(home.staging() + "bin/ZARQ_NEW", "x");
            locked = std::make_unique<UnwritableFolder>(app + "bin");
            if (!locked->ok())
                GTEST_SKIP() << locked->why().toStdString();
        }
        probe.RestartApplication();
        EXPECT_EQ(probe.numbers(), (QList<int>{959, 950}));
        const QString reason = probe.textOf(950);
        if (c.reasonStart != nullptr)
            EXPECT_TRUE(reason.startsWith(QString(c.reasonStart).replace("%A", app)))
                << reason.toStdString();
        else
            EXPECT_TRUE(reason.startsWith("the folder " + app + "bin cannot be written"))
                << reason.toStdString();
        EXPECT_TRUE(probe.starts.isEmpty());
        EXPECT_EQ(probe.closes, 0);
    }
}

TEST_F(RestartApplicationTest, APathHoldingADoubleQuoteRefusesTheRestart) {
    // The updater takes its command line apart at blanks and double quotes: a quote inside a
    // path would regroup the parameters, and the updater would restart another program or copy
    // from another folder.
    struct Case {
        const char* what;
        const char* appFolder;
        const char* stagingFolder; // null: the private staging folder
        const char* path;          // the one refused; "%A": the application folder, "%S": staging
    };
    const Case cases[] = {
        {"in the application folder", "say \"hi\"", nullptr, "%Azarq"},
        {"in the staging folder", "app", "staged \"here\"", "%S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useApplicationFolder(c.appFolder);
        RestartProbe probe;
        probe.FAppName = "zarq";
        probe.FAppParam = " ";
        probe.FAppComps = "zarq_NEW";
        probe.OnAppRestart = [](zarq::TAutoUpdate*, bool&) { ADD_FAILURE() << "asked"; };
        QString staging = home.staging();
        if (c.stagingFolder != nullptr) {
            staging = home.folder(c.stagingFolder);
            writeFile(staging + "zarq_NEW", "new program");
            probe.UseWinTempDir = false;
            probe.TempDirectory = staging;
        }
        probe.RestartApplication();
        EXPECT_EQ(probe.numbers(), (QList<int>{959, 950}));
        EXPECT_EQ(probe.textOf(950), "the path " +
                                         QString(c.path).replace("%A", app).replace("%S", staging) +
                                         " holds a double quote, a NUL or a line break, which the "
                                         "updater's command line cannot "
                                         "carry");
        EXPECT_TRUE(probe.starts.isEmpty());
        EXPECT_EQ(probe.closes, 0);
        EXPECT_FALSE(QFile::exists(handOver()));
    }
}

TEST_F(RestartApplicationTest, StagedInTempDirectoryTheCopyTargetsAreCheckedToo) {
    // Without the private folder the files are staged in TempDirectory, written without "/".
    const QString staged = home.folder("staged");
    writeFile(staged + "data_NEW", "x");
    QDir().mkpath(app + "data");
    update.UseWinTempDir = false;
    update.TempDirectory = staged.chopped(1);
    update.FAppComps = "data_NEW";
    update.RestartApplication();
    EXPECT_EQ(update.textOf(950), app + "data is a folder, not a file");
    EXPECT_TRUE(update.starts.isEmpty());
}

TEST_F(RestartApplicationTest, AnUpdaterThatDoesNotStartKeepsTheProgramRunning) {
    update.startSucceeds = false;
    update.RestartApplication();
    EXPECT_EQ(update.numbers(), (QList<int>{959, 958, 950}));
    EXPECT_EQ(update.textOf(950), "refused by the test");
    EXPECT_EQ(update.closes, 0);
    // The updater will never read it.
    EXPECT_FALSE(QFile::exists(handOver()));
}

TEST_F(RestartApplicationTest, WithoutOnAppDoCloseTheEventLoopEnds) {
    update.OnAppDoClose = nullptr;
    QTimer::singleShot(0, [&] { update.RestartApplication(); });
    // The guard only keeps a broken test from hanging; a sound one never reaches it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(30000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(update.starts.size(), 1);
}

TEST(RestartMessageTest, TheNewVersionStandsBetweenTheTwoHalves) {
    struct Case {
        const char* version;
        const char* text;
    };
    const Case cases[] = {
        {"", "温馨提示：本软件已升级至最新版本，需要重新运行后才能继续使用!"},
        {"2.0.12.3", "温馨提示：本软件已升级至最新2.0.12.3版本，需要重新运行后才能继续使用!"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zarq::RestartMessage::text(QString::fromUtf8(c.version)),
                  QString::fromUtf8(c.text));
}

} // namespace
