// The transport of TAutoUpdate (Connect, TransferFile, CopyLocalFile, DownloadText, the login
// prompt) against the reference update host and the FTP fixture on 127.0.0.1.

#include "UpdateHostFixture.h"

#include "platform/TextCodec.h"
#include "update/CurlRequest.h"
#include "update/UpdateLog.h"

#include <csignal>
#include <curl/curl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace updatetest;
using zarq::TAutoUpdate;

namespace {

class TransferFileTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        target = home.folder("target");
        ASSERT_TRUE(host.start(root));
        update.UpdateUpdate = zarq::auuSilent;
        update.SetUserInterface(&ui);
    }
    bool connect() { return update.Connect() == 0; }
    // Every file in the staging folder and the target folder.
    QStringList leftovers() const {
        return home.stagingFiles() + QDir(target).entryList(QDir::Files | QDir::Hidden);
    }

    TempHome home;
    QString root, target;
    UpdateHost host{home.folder("work")};
    ScriptedUserInterface ui;
    ProbeUpdate update;
};

TEST_F(TransferFileTest, AFileArrivesInBlocksOfAtMost4096BytesAndReplacesNothingElse) {
    const QByteArray data = patternBytes(100000);
    writeFile(root + "pkg/data.bin", data);
    update.Agent = "TErvan ZArq Client 1.0";
    QList<qint64> positions;
    qint64 announced = 0;
    update.OnFileProgress = [&](TAutoUpdate*, const QString& name, qint64 pos, qint64 size) {
        EXPECT_EQ(name, target + "data.bin");
        positions.append(pos);
        announced = size;
    };
    QStringList downloaded;
    update.OnFileDownloaded = [&](TAutoUpdate*, const QString& name) { downloaded.append(name); };
    ASSERT_TRUE(connect());
    ASSERT_TRUE(update.TransferFile(host.url("pkg/data.bin"), target));
    EXPECT_TRUE(readFile(target + "data.bin") == data);
    EXPECT_EQ(downloaded, QStringList{target + "data.bin"});
    EXPECT_EQ(announced, data.size());
    ASSERT_FALSE(positions.isEmpty());
    EXPECT_EQ(positions.last(), data.size());
    for (qsizetype i = 1; i < positions.size(); ++i)
        EXPECT_LE(positions[i] - positions[i - 1], 4096);
    EXPECT_GE(positions.size(), 100000 / 4096);
    EXPECT_EQ(home.stagingFiles(), QStringList());
    EXPECT_EQ(update.numbers(), (QList<int>{918, 921, 915}));
    EXPECT_EQ(update.find(915)->text, host.url("pkg/data.bin"));
    const QJsonObject headers = host.requests().value(0)["headers"].toObject();
    EXPECT_EQ(headers["User-Agent"].toString(), "TErvan ZArq Client 1.0");
    EXPECT_EQ(headers["Pragma"].toString(), "no-cache");
    EXPECT_EQ(headers["Cache-Control"].toString(), "no-cache");
    EXPECT_FALSE(headers.contains("Authorization"));
}

TEST_F(TransferFileTest, HttpStatusOf300OrMoreFailsWith916AndWritesNothing) {
    writeFile(root + "a.txt", "body");
    ASSERT_TRUE(connect());
    for (const int status : {404, 500}) {
        SCOPED_TRACE(status);
        update.messages.clear();
        ASSERT_TRUE(host.control("fault=" + QByteArray::number(status)));
        EXPECT_FALSE(update.TransferFile(host.url("a.txt"), target));
        EXPECT_EQ(update.numbers(), (QList<int>{915, 916}));
        const Message* m = update.find(916);
        EXPECT_EQ(m->text, QString::number(status));
        EXPECT_EQ(m->status, 6);
        EXPECT_EQ(m->error, status);
        EXPECT_EQ(leftovers(), QStringList());
    }
}

TEST_F(TransferFileTest, NoDataFailedOrCancelledTransfersLeaveTheOldTargetAndNoTemporaryFile) {
    const QByteArray data = patternBytes(300000);
    writeFile(root + "a.bin", data);
    writeFile(root + "empty.bin", "");
    struct Case {
        const char* name;
        QByteArray fault;
        const char* file;
        int cancelAfterBlocks; // 0: never
        QList<int> messages;
    };
    const QList<Case> cases = {
        {"empty body", "fault=none", "empty.bin", 0, {915}},
        // A transfer that breaks off says why (curl's reason), as any failed transfer does.
        {"closed mid-body", "fault=close&after=100000", "a.bin", 0, {915, 976}},
        {"wrong length", "fault=length", "a.bin", 0, {915, 976}},
        {"cancelled", "fault=none", "a.bin", 3, {915, 964}},
    };
    ASSERT_TRUE(connect());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(target + c.file, "the old file");
        update.messages.clear();
        ASSERT_TRUE(host.control(c.fault));
        int blocks = 0;
        update.OnProgressCancel = [&](TAutoUpdate*, bool& cancel) {
            if (c.cancelAfterBlocks && ++blocks >= c.cancelAfterBlocks)
                cancel = true;
        };
        EXPECT_FALSE(update.TransferFile(host.url(c.file), target));
        EXPECT_EQ(readFile(target + c.file), "the old file");
        EXPECT_EQ(home.stagingFiles(), QStringList());
        EXPECT_EQ(update.numbers(), c.messages);
        EXPECT_EQ(update.FCancelled, c.cancelAfterBlocks != 0);
        QFile::remove(target + c.file);
    }
}

TEST_F(TransferFileTest, AReadOnlyTargetIsReplacedAndKeepsItsPermissions) {
    writeFile(root + "tool", "new version");
    writeFile(target + "tool", "old version");
    ASSERT_TRUE(QFile::setPermissions(
        target + "tool", QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup));
    ASSERT_TRUE(connect());
    ASSERT_TRUE(update.TransferFile(host.url("tool"), target));
    EXPECT_EQ(readFile(target + "tool"), "new version");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target + "tool").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0740u); // read-only made writable, still executable
}

TEST_F(TransferFileTest, ATargetThatCannotBeReplacedFailsWith972AndADirectLogLine) {
    writeFile(root + "sub", "a file");
    QDir().mkpath(target + "sub"); // a folder where the file should go
    ASSERT_TRUE(connect());
    EXPECT_FALSE(update.TransferFile(host.url("sub"), target));
    EXPECT_EQ(update.numbers(), (QList<int>{918, 921, 915, 972}));
    EXPECT_EQ(update.find(972)->text, target + "sub");
    EXPECT_EQ(home.stagingFiles(), QStringList());
    EXPECT_TRUE(QFileInfo(target + "sub").isDir());
    // Written although logging is off.
    EXPECT_TRUE(readFile(zarq::UpdateLog::FilePath())
                    .contains("Unable to delete file " + QFile::encodeName(target + "sub")));
}

TEST_F(TransferFileTest, NamesThatWouldLeaveTheFolderFailWith917BeforeAnyRequest) {
    struct Case {
        QString path;    // after the host's address
        QString renamed; // what OnFileNameFromURL makes of the name; empty: not assigned
    };
    const QList<Case> cases = {
        {"dir/", ""},
        {"dir/.", ""},
        {"dir/..", ""},
        {"a?", ""},
        {"a.txt", "../escape.txt"},
        {"a.txt", "sub/a.txt"},
        {"a.txt", ".."},
        {"a.txt", "/"},
        {"a.txt", QStringLiteral("a.txt") + QChar(0) + QStringLiteral(".sh")},
    };
    writeFile(root + "a.txt", "body");
    ASSERT_TRUE(connect());
    for (const Case& c : cases) {
        SCOPED_TRACE((c.path + " -> " + c.renamed).toStdString());
        update.messages.clear();
        update.OnFileNameFromURL = nullptr;
        if (!c.renamed.isEmpty()) {
            update.OnFileNameFromURL = [&](TAutoUpdate*, const QString&, QString& name) {
                name = c.renamed;
            };
        }
        EXPECT_FALSE(update.TransferFile(host.url(c.path), target));
        EXPECT_EQ(update.numbers(), (QList<int>{915, 917}));
        const auto* refused = update.find(917);
        ASSERT_NE(refused, nullptr); // a name let through must fail the test, not crash it
        EXPECT_EQ(refused->text, host.url(c.path));
    }
    EXPECT_EQ(host.requests().size(), 0);
    EXPECT_EQ(leftovers(), QStringList());
    EXPECT_FALSE(QFile::exists(home.path() + "/escape.txt"));
}

TEST_F(TransferFileTest, AHostThatDripsFailsOnTheRateFloorOrTheDeadline) {
    // Each byte keeps the stall rule quiet; the floor and the deadline end it all the same.
    struct Row {
        const char* name;
        long window, deadline;
        const char* rate; // the host's bytes a second
        const char* says;
    };
    const Row rows[] = {
        {"under the rate floor", 1, 0, "300", "Transfer too slow: "},
        {"past the deadline", 0, 1, "40000",
         "Transfer not finished within its deadline of 1 "
         "seconds"},
    };
    writeFile(root + "slow.bin", patternBytes(200000));
    writeFile(target + "slow.bin", "old");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        update.FMinimumRate = 1024;
        update.FRateWindowSeconds = row.window;
        update.FDeadlineSeconds = row.deadline;
        update.FDeadlineBytesPerSecond = 1024 * 1024 * 1024; // no time for the length
        ASSERT_TRUE(host.control(QByteArray("fault=trickle&path=/slow.bin&rate=") + row.rate));
        ASSERT_TRUE(connect());
        update.messages.clear();
        EXPECT_FALSE(update.TransferFile(host.url("slow.bin"), target));
        ASSERT_NE(update.find(976), nullptr);
        EXPECT_TRUE(update.find(976)->text.startsWith(row.says))
            << update.find(976)->text.toStdString();
        EXPECT_EQ(update.find(976)->error, CURLE_OPERATION_TIMEDOUT);
        EXPECT_EQ(readFile(target + "slow.bin"), "old");
        EXPECT_EQ(home.stagingFiles(), QStringList());
    }
    // With time for its length, the same slow transfer arrives.
    update.FRateWindowSeconds = 0;
    update.FDeadlineSeconds = 1;
    update.FDeadlineBytesPerSecond = 50000; // 4 s more for 200000 bytes
    ASSERT_TRUE(host.control("fault=trickle&path=/slow.bin&rate=100000"));
    ASSERT_TRUE(connect());
    EXPECT_TRUE(update.TransferFile(host.url("slow.bin"), target));
}

TEST_F(TransferFileTest, TheDiskBoundsEndATransferCleanly) {
    writeFile(root + "a.bin", patternBytes(100000));
    writeFile(root + "b.bin", patternBytes(100000, 9));
    struct Row {
        const char* name;
        std::function<void(ProbeUpdate&)> arrange;
        const char* says;
    };
    const Row rows[] = {
        {"the free space kept", [](ProbeUpdate& u) { u.FFreeSpaceReserve = qint64(1) << 60; },
         "The disk would be left with less than 1152921504606846976 bytes free for b.bin"},
        {"the bytes of one run", [](ProbeUpdate& u) { u.FRunByteLimit = 150000; },
         "Too much for one run: more than 150000 bytes with b.bin"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        update.FFreeSpaceReserve = -1;
        update.FRunByteLimit = qint64(1024) * 1024 * 1024;
        update.FRunBytes = 0;
        ASSERT_TRUE(connect());
        ASSERT_TRUE(update.TransferFile(host.url("a.bin"), target));
        row.arrange(update);
        writeFile(target + "b.bin", "old");
        update.messages.clear();
        EXPECT_FALSE(update.TransferFile(host.url("b.bin"), target));
        ASSERT_NE(update.find(976), nullptr);
        EXPECT_EQ(update.find(976)->text, row.says);
        EXPECT_EQ(readFile(target + "b.bin"), "old");
        EXPECT_EQ(home.stagingFiles(), QStringList());
    }
}

TEST_F(TransferFileTest, AFullDiskFailsCleanlyAndKeepsTheOldTarget) {
    writeFile(root + "big.bin", patternBytes(1024 * 1024));
    writeFile(target + "big.bin", "the old file");
    ASSERT_TRUE(connect());
    // A file-size limit makes writes fail like a full disk, for this process only.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 200 * 1024;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool ok = update.TransferFile(host.url("big.bin"), target);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(ok);
    EXPECT_EQ(update.numbers(), (QList<int>{918, 921, 915, 976}));
    EXPECT_EQ(update.find(976)->error, EFBIG);
    EXPECT_EQ(readFile(target + "big.bin"), "the old file");
    EXPECT_EQ(home.stagingFiles(), QStringList());
}

TEST_F(TransferFileTest, AnUnreachableHostLogsCurlsErrorAnd917) {
    host.stop();
    ASSERT_TRUE(connect());
    update.messages.clear();
    EXPECT_FALSE(update.TransferFile(host.url("a.txt"), target));
    EXPECT_EQ(update.numbers(), (QList<int>{915, 976, 917}));
    const Message* m = update.find(976);
    EXPECT_EQ(m->error, CURLE_COULDNT_CONNECT);
    EXPECT_EQ(m->status, 1);
    EXPECT_FALSE(m->text.isEmpty());
    EXPECT_TRUE(ui.asked.isEmpty()); // silent: no error box
}

TEST_F(TransferFileTest, TheSystemErrorBoxAppearsOnlyWhenNotSilentAndNoStatusHandler) {
    host.stop();
    update.UpdateUpdate = zarq::auuPromptOnce;
    ASSERT_TRUE(connect());
    EXPECT_FALSE(update.TransferFile(host.url("a.txt"), target));
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_TRUE(ui.asked[0].startsWith("error:"));
    ui.asked.clear();
    update.OnStatus = [](TAutoUpdate*, const QString&, int, int) {};
    EXPECT_FALSE(update.TransferFile(host.url("a.txt"), target));
    EXPECT_TRUE(ui.asked.isEmpty());
}

TEST_F(TransferFileTest, HttpsWithAnUntrustedCertificateIsRefused) {
    writeFile(root + "a.txt", "body");
    UpdateHost tls(home.folder("tls"));
    ASSERT_TRUE(tls.startTls(root));
    ASSERT_TRUE(connect());
    update.messages.clear();
    EXPECT_FALSE(update.TransferFile(tls.url("a.txt", "https"), target));
    EXPECT_EQ(update.numbers(), (QList<int>{915, 976, 917}));
    EXPECT_EQ(update.find(976)->error, CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_EQ(leftovers(), QStringList());
    // Trusted explicitly, the same host delivers.
    update.FCertificateFile = tls.certificate().toUtf8();
    ASSERT_TRUE(connect());
    EXPECT_TRUE(update.TransferFile(tls.url("a.txt", "https"), target));
    EXPECT_EQ(readFile(target + "a.txt"), "body");
}

TEST_F(TransferFileTest, ARedirectionFromHttpsToHttpIsRefused) {
    writeFile(root + "a.txt", "body");
    UpdateHost tls(home.folder("tls"));
    ASSERT_TRUE(tls.startTls(root));
    ASSERT_TRUE(tls.control("fault=redirect&path=/a.txt&to=" + host.url("a.txt").toUtf8()));
    update.FCertificateFile = tls.certificate().toUtf8();
    ASSERT_TRUE(connect());
    update.messages.clear();
    EXPECT_FALSE(update.TransferFile(tls.url("a.txt", "https"), target));
    EXPECT_EQ(update.numbers(), (QList<int>{915, 976, 917}));
    EXPECT_TRUE(
        update.find(976)->text.startsWith("redirection from https to another protocol refused"))
        << update.find(976)->text.toStdString();
    EXPECT_FALSE(host.requestedPaths().contains("/a.txt")); // the plain host was never asked
    EXPECT_EQ(leftovers(), QStringList());
}

TEST_F(TransferFileTest, AProxyCarriesTheRequestAndGetsTheProxyCredentials) {
    writeFile(root + "a.txt", "through the proxy");
    update.Proxy = host.url("").mid(7).chopped(1); // "127.0.0.1:PORT"
    update.ProxyUserID = "proxyuser";
    update.ProxyPassword = "proxypass";
    ASSERT_TRUE(connect());
    // The name is never looked up: the proxy gets the whole URL.
    ASSERT_TRUE(update.TransferFile("http://update.invalid/a.txt", target));
    EXPECT_EQ(readFile(target + "a.txt"), "through the proxy");
    const QJsonObject request = host.requests().value(0);
    EXPECT_EQ(request["path"].toString(), "http://update.invalid/a.txt");
    const QJsonObject headers = request["headers"].toObject();
    EXPECT_EQ(headers["Proxy-Authorization"].toString(), "Basic cHJveHl1c2VyOnByb3h5cGFzcw==");
    // The proxy's credentials are the proxy's: the update host never sees them.
    EXPECT_FALSE(headers.contains("Authorization"));
}

TEST_F(TransferFileTest, ABlankInTheUrlIsSentEscapedAndTheLocalNameKeepsIt) {
    writeFile(root + "my file.txt", "with a blank");
    ASSERT_TRUE(connect());
    update.messages.clear();
    ASSERT_TRUE(update.TransferFile(host.url("my file.txt"), target)) << update.numbers().size();
    EXPECT_EQ(readFile(target + "my file.txt"), "with a blank");
    EXPECT_EQ(host.requestedPaths(), QStringList{"/my%20file.txt"});
    EXPECT_EQ(zarq::CurlRequest::escapedUrl("http://h/a b\"<>|^`{}\x7f\xc4\xe3%41?q=1 2"),
              "http://h/a%20b%22%3C%3E%7C%5E%60%7B%7D%7F%C4%E3%41?q=1%202");
}

TEST_F(TransferFileTest, DownloadTextReturnsTheLinesAndLeavesNothing) {
    writeFile(root + "news.txt", "first line\r\nsecond line\r\n\r\nlast");
    ASSERT_TRUE(connect());
    const auto lines = update.DownloadText(host.url("news.txt"));
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, (QStringList{"first line", "second line", "", "last"}));
    EXPECT_EQ(home.stagingFiles(), QStringList());
    EXPECT_FALSE(update.DownloadText(host.url("missing.txt")).has_value());
    // Written here in UTF-8 (with its byte order mark) or by the Windows tools in code page 936,
    // the same text.
    const QString chinese = QString::fromUtf8("新版本说明");
    writeFile(root + "utf8.txt", "\xEF\xBB\xBF" + chinese.toUtf8() + "\r\n");
    writeFile(root + "cp936.txt", zarq::TextCodec::toCp936(chinese) + "\r\n");
    EXPECT_EQ(update.DownloadText(host.url("utf8.txt")), QStringList{chinese});
    EXPECT_EQ(update.DownloadText(host.url("cp936.txt")), QStringList{chinese});
}

TEST_F(TransferFileTest, NameAndHostOfAUrl) {
    const QList<std::pair<QString, QString>> names = {
        {"http://h/update1.txt", "update1.txt"},
        {"http://h/a/b\\c.exe", "c.exe"},
        {"http://h/get.php?file=x.bin", "file=x.bin"},
        {"http://h/dir/", ""},
        {"plain.txt", "plain.txt"},
    };
    for (const auto& [url, name] : names)
        EXPECT_EQ(update.FileNameFromURL(url), name) << url.toStdString();
    QStringList seen;
    update.OnFileNameFromURL = [&](TAutoUpdate*, const QString& url, QString& name) {
        seen.append(url + "|" + name);
        name = "renamed.txt";
    };
    EXPECT_EQ(update.FileNameFromURL("http://h/x/a.txt"), "renamed.txt");
    EXPECT_EQ(seen, QStringList{"a.txt|a.txt"});

    const QList<std::pair<QString, QString>> hosts = {
        {"http://update.example:8080/zarq/update1.txt", "update.example:8080"},
        {"ftp://files.example\\dir\\a", "files.example"},
        {"host.example/path", "host.example"},
        {"https://only.example", "only.example"},
    };
    for (const auto& [url, host] : hosts)
        EXPECT_EQ(update.HostFromURL(url), host) << url.toStdString();
}

class AuthenticationTest : public TransferFileTest {
protected:
    void SetUp() override {
        root = home.folder("root");
        target = home.folder("target");
        ASSERT_TRUE(host.start(root, {"--auth", "anna:geheim"}));
        writeFile(root + "a.txt", "protected body");
        update.UpdateUpdate = zarq::auuSilent;
        update.SetUserInterface(&ui);
        ASSERT_TRUE(connect());
        update.messages.clear();
    }
    QStringList authorizations() const {
        QStringList list;
        for (const QJsonObject& r : host.requests())
            list.append(r["headers"].toObject()["Authorization"].toString());
        return list;
    }
};

TEST_F(AuthenticationTest, AutoAsksAfter401AndSendsBasicAuthentication) {
    update.Authenticate = zarq::waAuto;
    ui.loginAnswer = true;
    ui.loginUser = "anna";
    ui.loginPassword = "geheim";
    ASSERT_TRUE(update.TransferFile(host.url("a.txt"), target));
    EXPECT_EQ(readFile(target + "a.txt"), "protected body");
    EXPECT_EQ(ui.asked, QStringList{"login:Connect to " + host.url("").mid(7).chopped(1)});
    EXPECT_EQ(authorizations(), (QStringList{"", "Basic YW5uYTpnZWhlaW0="}));
    EXPECT_EQ(update.UserID, "anna");
    // Known now: the next transfer sends them at once.
    ASSERT_TRUE(update.TransferFile(host.url("a.txt"), target));
    EXPECT_EQ(authorizations().size(), 3);
    EXPECT_EQ(ui.asked.size(), 1);
}

TEST_F(AuthenticationTest, ACancelledPromptEndsTheTransferWith956) {
    for (const auto mode : {zarq::waAuto, zarq::waAlways}) {
        SCOPED_TRACE(int(mode));
        update.messages.clear();
        update.Authenticate = mode;
        EXPECT_FALSE(update.TransferFile(host.url("a.txt"), target));
        EXPECT_EQ(update.numbers(), (QList<int>{915, 956}));
        EXPECT_EQ(leftovers(), QStringList());
    }
    // waAlways asks before the request, so only waAuto reached the host.
    EXPECT_EQ(host.requests().size(), 1);
}

TEST_F(AuthenticationTest, NeverAsksAndA401Is916) {
    update.Authenticate = zarq::waNever;
    EXPECT_FALSE(update.TransferFile(host.url("a.txt"), target));
    EXPECT_EQ(update.numbers(), (QList<int>{915, 916}));
    EXPECT_EQ(update.find(916)->error, 401);
    EXPECT_TRUE(ui.asked.isEmpty());
    update.UserID = "anna";
    update.Password = "geheim";
    EXPECT_TRUE(update.TransferFile(host.url("a.txt"), target));
}

class FtpTransferTest : public TransferFileTest {
protected:
    void SetUp() override {
        root = home.folder("root");
        target = home.folder("target");
        writeFile(root + "pub/a.bin", patternBytes(50000));
        writeFile(root + "top.txt", "at the top");
        ASSERT_TRUE(ftp.start(root, home.folder("ftp"), {"anna", "geheim"}));
        update.UpdateType = zarq::ftpUpdate;
        update.UpdateUpdate = zarq::auuSilent;
        update.Host = "127.0.0.1";
        update.Port = ftp.port();
        update.UserID = "anna";
        update.Password = "geheim";
    }
    FtpServer ftp;
};

TEST_F(FtpTransferTest, PassiveAndActiveFetchFromTheFtpDirectory) {
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        update.FTPPassive = passive;
        update.FTPDirectory = "pub";
        update.messages.clear();
        qint64 announced = -1;
        update.OnFileProgress = [&](TAutoUpdate*, const QString&, qint64, qint64 size) {
            announced = size;
        };
        ASSERT_EQ(update.Connect(), 0);
        ASSERT_EQ(update.ConnectFTP(), 0);
        ASSERT_TRUE(update.TransferFile("a.bin", target));
        EXPECT_EQ(announced, 50000); // the size the server reported
        EXPECT_TRUE(readFile(target + "a.bin") == patternBytes(50000));
        EXPECT_EQ(update.numbers(), (QList<int>{918, 921, 923, 915, 974}));
        EXPECT_EQ(update.find(923)->text, "127.0.0.1");
        update.Disconnect();
        EXPECT_EQ(update.numbers().mid(5), (QList<int>{954, 949, 949}));
        QFile::remove(target + "a.bin");
    }
}

TEST_F(FtpTransferTest, AFolderThatCannotBeEnteredIsLoggedOnceAndTheLoginFolderServes) {
    update.FTPPassive = true;
    update.FTPDirectory = "missing";
    ASSERT_EQ(update.Connect(), 0);
    ASSERT_EQ(update.ConnectFTP(), 0);
    EXPECT_TRUE(update.TransferFile("top.txt", target));
    EXPECT_TRUE(update.TransferFile("ftp://127.0.0.1/top.txt", target));
    EXPECT_EQ(update.numbers(), (QList<int>{918, 921, 923, 915, 974, 975, 915}));
    EXPECT_EQ(update.find(975)->text, "missing");
    EXPECT_EQ(update.find(975)->error, 8);
    EXPECT_EQ(readFile(target + "top.txt"), "at the top");
}

TEST_F(FtpTransferTest, AWrongLoginFailsTheConnectionAndAMissingFileIs917) {
    update.Password = "falsch";
    ASSERT_EQ(update.Connect(), 0);
    EXPECT_EQ(update.ConnectFTP(), -1);
    update.Password = "geheim";
    ASSERT_EQ(update.ConnectFTP(), 0);
    update.messages.clear();
    EXPECT_FALSE(update.TransferFile("nothing.bin", target));
    EXPECT_EQ(update.numbers(), (QList<int>{915, 976, 917}));
    EXPECT_EQ(update.find(976)->error, CURLE_REMOTE_FILE_NOT_FOUND);
    EXPECT_EQ(leftovers(), QStringList());
}

class FileShareTest : public testing::Test {
protected:
    void SetUp() override {
        update.UpdateType = zarq::fileUpdate;
        update.UpdateUpdate = zarq::auuSilent;
        share = home.folder("share");
        target = home.folder("target");
    }
    TempHome home;
    QString share, target;
    ProbeUpdate update;
};

TEST_F(FileShareTest, ACopyGoesThroughTheStagingFolderIn16KiBBlocks) {
    const QByteArray data = patternBytes(100000);
    writeFile(share + "a.bin", data);
    writeFile(target + "a.bin", "old");
    QList<qint64> positions;
    update.OnFileProgress = [&](TAutoUpdate*, const QString&, qint64 pos, qint64 size) {
        EXPECT_EQ(size, data.size());
        positions.append(pos);
    };
    ASSERT_EQ(update.Connect(), 0);
    EXPECT_TRUE(update.numbers().isEmpty()); // no connection step for the file share
    ASSERT_TRUE(update.TransferFile(share + "a.bin", target));
    EXPECT_TRUE(readFile(target + "a.bin") == data);
    EXPECT_EQ(positions, (QList<qint64>{16384, 32768, 49152, 65536, 81920, 98304, 100000, 100000}));
    EXPECT_EQ(home.stagingFiles(), QStringList());
    // A directory with a file-name part is the target itself.
    ASSERT_TRUE(update.TransferFile(share + "a.bin", target + "renamed.bin"));
    EXPECT_TRUE(readFile(target + "renamed.bin") == data);
}

TEST_F(FileShareTest, SameMissingAndEmptySourcesFail) {
    writeFile(share + "a.bin", "data");
    writeFile(share + "empty.bin", "");
    struct Case {
        QString source, directory;
        int message;
    };
    const QList<Case> cases = {
        {share + "a.bin", share, 912},
        {share + "missing.bin", target, 913},
        {share + "empty.bin", target, 914},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        update.messages.clear();
        EXPECT_FALSE(update.TransferFile(c.source, c.directory));
        EXPECT_EQ(update.numbers(), (QList<int>{915, c.message}));
        EXPECT_EQ(update.find(c.message)->text, c.source);
    }
    EXPECT_EQ(readFile(share + "a.bin"), "data");
    EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList());
    EXPECT_EQ(home.stagingFiles(), QStringList());
}

} // namespace
