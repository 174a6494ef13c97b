// The control file's instructions, the finishing instructions, the remembered URL and date,
// and the report post, over the file-share transport (no network) with a recording user
// interface; the report goes to a server of the test on 127.0.0.1.

#include "CoreTestHome.h"
#include "RecordingUserInterface.h"
#include "TestableAutoUpdate.h"
#include "support/WaitFor.h"

#include "platform/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace zarq;

namespace {

class ActionsTest : public testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(host());
        QDir().mkpath(target());
        update.UpdateType = fileUpdate;
        update.ForceUpdate = true;
        update.UpdateUpdate = auuSilent;
        update.URL = host() + "/update1.txt";
        update.SetUserInterface(&ui);
        put("x", "data");
    }
    QString host() const { return home.path("host"); }
    QString target() const { return home.path("target"); }
    void put(const QString& name, const QByteArray& bytes) {
        QFile file(host() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // One file entry, placed in the target folder.
    QByteArray entry(const QString& name = "x") {
        return "[files]\ncount=1\n[file1]\nurl=" + (host() + "/" + name).toUtf8() +
               "\ntargetdir=" + target().toUtf8() + "\n";
    }
    QString registryValue(const QString& key, const QString& name) {
        RegistryStore store;
        if (!store.OpenKey(key, false) || !store.ValueExists(name))
            return "(none)";
        return store.ReadString(name);
    }

    CoreTestHome home;
    TestableAutoUpdate update;
    RecordingUserInterface ui;
};

// The probe program notes its arguments, one block per start, in ZARQ_PROBE_OUT.
QList<QStringList> probeStarts(const QString& file) {
    QFile f(file);
    QList<QStringList> starts;
    if (!f.open(QIODevice::ReadOnly))
        return starts;
    QStringList args;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("arg="))
            args.append(QString::fromUtf8(line.mid(4)));
        else if (line == "end") {
            starts.append(args);
            args.clear();
        }
    }
    return starts;
}

} // namespace

TEST_F(ActionsTest, ProgramsStartWithTheirArgumentsAndNeverThroughAShell) {
    const QString out = home.path("probe.txt");
    setenv("ZARQ_PROBE_OUT", out.toLocal8Bit().constData(), 1);
    const QString pwned = home.path("pwned");
    put("update1.txt", "[action]\nrunbefore=\"" ZARQ_PROBE "\" \"one two\" $(touch " +
                           pwned.toUtf8() + ") ;x>" + home.path("y").toUtf8() +
                           "\nrunafter=" ZARQ_PROBE " after\n" + entry());
    update.RunUpdate(false);
    ASSERT_TRUE(waitFor([&] { return probeStarts(out).size() == 2; }));
    unsetenv("ZARQ_PROBE_OUT");
    QList<QStringList> starts = probeStarts(out);
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts[0], QStringList({"after"}));
    EXPECT_EQ(starts[1], QStringList({"one two", "$(touch", pwned + ")", ";x>" + home.path("y")}));
    EXPECT_FALSE(QFile::exists(pwned));
    EXPECT_FALSE(QFile::exists(home.path("y")));
    EXPECT_TRUE(ui.asked.isEmpty()) << ui.asked.join('\n').toStdString();
}

TEST_F(ActionsTest, PagesAndDocumentsOpenWithTheDesktopWithoutProxyCredentials) {
    QFile document(home.path("notes.txt"));
    ASSERT_TRUE(document.open(QIODevice::WriteOnly));
    document.close();
    update.ProxyUserID = "me";
    update.ProxyPassword = "secret";
    put("update1.txt", "[action]\nhtmldlg=http://127.0.0.1/dialog.html\n"
                       "runbefore=https://127.0.0.1/before.html\n"
                       "showURL=http://127.0.0.1/show.html\n"
                       "runafter=" +
                           home.path("notes.txt").toUtf8() + "\n" + entry());
    update.RunUpdate(false);
    EXPECT_EQ(ui.asked,
              QStringList(
                  {"open: http://127.0.0.1/dialog.html", "open: https://127.0.0.1/before.html",
                   "open: http://127.0.0.1/show.html", "open: file://" + home.path("notes.txt")}));
    const QVector<int> numbers = update.numbers();
    EXPECT_TRUE(numbers.contains(935));
    EXPECT_LT(numbers.indexOf(935), numbers.indexOf(942));
    EXPECT_LT(numbers.indexOf(942), numbers.indexOf(943));
}

TEST_F(ActionsTest, AQueryAnsweredNoFetchesNothingAndRestartsNothing) {
    put("update1.txt", "[application]\nappupdate=1\nappname=zarq\nappcomps=x\n"
                       "[action]\nmsg=first\\nsecond\nquery=Update now?\\nReally?\n" +
                           entry());
    ui.answer = false;
    update.RunUpdate(false);
    EXPECT_EQ(ui.asked, QStringList({"message: first\rsecond", "query: Update now?\rReally?"}));
    EXPECT_FALSE(update.numbers().contains(943));
    EXPECT_FALSE(update.numbers().contains(948));
    EXPECT_FALSE(update.FAppUpdate);
    EXPECT_EQ(update.restarts, 0);
    EXPECT_EQ(QDir(target()).entryList(QDir::Files), QStringList());
    EXPECT_EQ(QDir(home.home() + "/.cache/tervan/tmp").entryList(QDir::Files), QStringList());

    ui.answer = true;
    update.RunUpdate(false);
    EXPECT_TRUE(QFile::exists(home.home() + "/.cache/tervan/tmp/x")); // the component
    EXPECT_EQ(update.restarts, 1);
}

TEST_F(ActionsTest, TheNewURLIsRememberedOnlyUnderAConfiguredEntry) {
    put("second.txt", "[files]\ncount=1\n[file1]\nurl=" + (host() + "/y").toUtf8() +
                          "\ntargetdir=" + target().toUtf8() + "\n");
    put("y", "from the second control file");
    put("update1.txt", "[action]\nupdateURL=" + (host() + "/second.txt").toUtf8() + "\n" + entry());
    const QString key = "software\\tervan\\zarq\\update";

    // Without LastURLEntry: logged, nothing stored, the next run reads the same file.
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(941));
    EXPECT_FALSE(QFile::exists(RegistryStore::defaultFilePath()));
    update.RunUpdate(false);
    EXPECT_FALSE(QFile::exists(target() + "/y"));

    update.LastURLEntry = {true, "software\\tervan\\zarq", "update", lurLOCALUSER};
    update.RunUpdate(false);
    EXPECT_EQ(registryValue(key, "LastURL"), host() + "/second.txt");
    update.RunUpdate(false);
    EXPECT_TRUE(QFile::exists(target() + "/y"));

    // Without Save the stored URL is neither used nor replaced.
    QFile::remove(target() + "/y");
    update.LastURLEntry.Save = false;
    update.RunUpdate(false);
    EXPECT_FALSE(QFile::exists(target() + "/y"));
}

TEST_F(ActionsTest, TheReleaseDateIsRememberedAndEndsTheNextRun) {
    update.ForceUpdate = false;
    put("update1.txt", "[update]\ndate=05/06/2026\ntime=12:30\n" + entry());
    update.LastURLEntry = {true, "software\\tervan\\zarq", "update", lurLOCALUSER};
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(929));
    EXPECT_TRUE(update.numbers().contains(943));
    const QString key = "software\\tervan\\zarq\\update";
    EXPECT_EQ(registryValue(key, "LastDate"), "05/06/2026");
    EXPECT_EQ(registryValue(key, "LastTime"), "12:30:00");

    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(930));
    EXPECT_FALSE(update.numbers().contains(943));

    // A later release is due again.
    put("update1.txt", "[update]\ndate=06/06/2026\n" + entry());
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_TRUE(update.numbers().contains(943));
    EXPECT_EQ(registryValue(key, "LastDate"), "06/06/2026");
}

namespace {

// Takes one HTTP request and answers it with `reply`.
class PostServer {
public:
    explicit PostServer(QByteArray reply) : m_reply(std::move(reply)) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                request += socket->readAll();
                const qsizetype head = request.indexOf("\r\n\r\n");
                if (head < 0)
                    return;
                qsizetype length = 0;
                for (const QByteArray& line : request.left(head).split('\n')) {
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                }
                if (request.size() < head + 4 + length)
                    return;
                socket->write(m_reply);
                socket->disconnectFromHost();
            });
        });
    }
    QString server() const { return QString("127.0.0.1:%1").arg(m_server.serverPort()); }
    QByteArray request;

private:
    QTcpServer m_server;
    QByteArray m_reply;
};

} // namespace

TEST_F(ActionsTest, TheReportIsPostedAndItsReplyKept) {
    PostServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nthanks\n");
    put("update1.txt", entry());
    update.Agent = "Report Agent";
    update.PostUpdateInfo = {server.server(), "/report.cgi", "a=1&b=two", true, {}};
    update.RunUpdate(false);
    EXPECT_TRUE(server.request.startsWith("POST /report.cgi HTTP/1.1\r\n"))
        << server.request.toStdString();
    EXPECT_TRUE(server.request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_TRUE(server.request.contains("\r\nUser-Agent: Report Agent\r\n"));
    EXPECT_TRUE(server.request.endsWith("\r\n\r\na=1&b=two"));
    EXPECT_EQ(update.PostUpdateInfo.PostResult, "thanks\n");
    EXPECT_TRUE(update.numbers().contains(948));

    // The host program may keep the post from happening, or stop at its result.
    server.request.clear();
    update.OnBeforePost = [](TAutoUpdate*, bool& allow) { allow = false; };
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_TRUE(server.request.isEmpty());
    EXPECT_TRUE(update.numbers().contains(948));

    update.OnBeforePost = nullptr;
    update.OnProcessPostResult = [](TAutoUpdate*, bool& allow) { allow = false; };
    update.messages.clear();
    update.RunUpdate(false);
    EXPECT_FALSE(server.request.isEmpty());
    EXPECT_FALSE(update.numbers().contains(948));
}

TEST_F(ActionsTest, AServerThatCannotBeReachedIsLoggedAndTheRunGoesOn) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    put("update1.txt", entry());
    update.PostUpdateInfo = {QString("127.0.0.1:%1").arg(port), "/report.cgi", "a=1", true, "old"};
    update.RunUpdate(false);
    const auto* failure = update.find(951);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->text, "Cannot connect to server for post");
    EXPECT_EQ(failure->status, 16);
    EXPECT_EQ(failure->error, 5);
    EXPECT_TRUE(update.numbers().contains(948));
    EXPECT_TRUE(QFile::exists(target() + "/x"));
}

TEST_F(ActionsTest, TheMachineRootKeepsItsOwnValuesAndAStoredURLIsExpanded) {
    put("second.txt", "[files]\ncount=1\n[file1]\nurl=" + (host() + "/y").toUtf8() +
                          "\ntargetdir=" + target().toUtf8() + "\n");
    put("y", "from the second control file");
    put("update1.txt", entry());
    update.OnConvertPrefix = [this](TAutoUpdate*, QString& path) {
        path.replace("{HOST}", host());
    };
    {
        RegistryStore machine(RegistryStore::defaultFilePath(), "HKEY_LOCAL_MACHINE");
        ASSERT_TRUE(machine.OpenKey("software\\tervan\\zarq\\update", true));
        machine.WriteString("LastURL", "{HOST}\\second.txt");
        RegistryStore user;
        ASSERT_TRUE(user.OpenKey("software\\tervan\\zarq\\update", true));
        user.WriteInteger("LastURL", 7); // another type reads as no value
    }
    update.LastURLEntry = {true, "software\\tervan\\zarq", "update", lurLOCALUSER};
    update.RunUpdate(false);
    EXPECT_FALSE(QFile::exists(target() + "/y"));
    EXPECT_TRUE(QFile::exists(target() + "/x"));

    update.LastURLEntry.RegRoot = lurLOCALMACHINE;
    update.RunUpdate(false);
    EXPECT_TRUE(QFile::exists(target() + "/y"));
}
