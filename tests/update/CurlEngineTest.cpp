// The transfer engine (CurlSession, CurlRequest) and the private temporary folder, against the
// reference update host, the FTP fixture and a TLS host on 127.0.0.1.

#include "UpdateHostFixture.h"
#include "update/CurlRequest.h"
#include "update/CurlSession.h"
#include "update/UpdateTempFolder.h"

#include <QTimer>

#include <QFileInfo>
#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace updatetest;
using zarq::CurlRequest;
using zarq::CurlSession;
using zarq::UpdateTempFolder;

namespace {

CurlRequest::Setup at(const QString& url) {
    CurlRequest::Setup setup;
    setup.url = url.toUtf8();
    return setup;
}

// Reads a whole body in blocks of `block` bytes; -1 in `*end` when the transfer failed.
QByteArray readAll(CurlRequest& request, qint64 block, qint64* end = nullptr) {
    QByteArray body, buffer(block, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = request.read(buffer.data(), block)) > 0) {
        EXPECT_LE(n, block);
        body.append(buffer.constData(), n);
    }
    if (end)
        *end = n;
    return body;
}

class CurlEngineTest : public testing::Test {
protected:
    void SetUp() override {
        root = home.folder("root");
        ASSERT_TRUE(host.start(root));
    }
    CurlSession::Options options() const {
        CurlSession::Options o;
        o.agent = "probe agent 1.0";
        o.stallTimeoutSeconds = 5;
        return o;
    }
    TempHome home;
    QString root;
    UpdateHost host{home.folder("work")};
};

TEST_F(CurlEngineTest, BodyArrivesWholeThroughTheSmallBufferWithTheRequestHeaders) {
    // Larger than the buffer many times over, read in small blocks: curl is paused and resumed.
    const QByteArray data = patternBytes(3 * 1024 * 1024 + 123);
    writeFile(root + "big.bin", data);
    CurlSession session(options());
    CurlRequest::Setup setup;
    setup.url = host.url("big.bin").toUtf8();
    setup.headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
    CurlRequest request(session, setup);
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.status(), 200);
    EXPECT_EQ(request.contentLength(), data.size());
    qint64 end = 1;
    EXPECT_TRUE(readAll(request, 4096, &end) == data);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(request.errorCode(), 0);
    const QJsonObject headers = host.requests().value(0)["headers"].toObject();
    EXPECT_EQ(headers["User-Agent"].toString(), "probe agent 1.0");
    EXPECT_EQ(headers["Pragma"].toString(), "no-cache");
    EXPECT_EQ(headers["Cache-Control"].toString(), "no-cache");
}

TEST_F(CurlEngineTest, PeekedBytesStayInPlaceUntilTheNextPeekAcrossPauses) {
    const QByteArray data = patternBytes(2 * 1024 * 1024 + 7);
    writeFile(root + "big.bin", data);
    CurlSession session(options());
    CurlRequest request(session, at(host.url("big.bin")));
    ASSERT_TRUE(request.open());
    QByteArray body;
    const char* at = nullptr;
    qint64 n = 0, step = 0;
    while ((n = request.peek(&at)) > 0) {
        const qint64 take = qMin(n, 1000 + 997 * (step++ % 7)); // uneven amounts
        const QByteArray copy(at, take);
        request.consume(take);
        EXPECT_EQ(QByteArray(at, take), copy); // still readable after consume()
        body.append(copy);
    }
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(body == data);
}

TEST_F(CurlEngineTest, StatusOfAFailedRequestAndAnEmptyBody) {
    writeFile(root + "empty.txt", "");
    CurlSession session(options());
    CurlRequest missing(session, at(host.url("missing.txt")));
    ASSERT_TRUE(missing.open());
    EXPECT_EQ(missing.status(), 404);
    CurlRequest empty(session, at(host.url("empty.txt")));
    ASSERT_TRUE(empty.open());
    EXPECT_EQ(empty.status(), 200);
    char c;
    EXPECT_EQ(empty.read(&c, 1), 0);
}

TEST_F(CurlEngineTest, ABodyCutShortFailsTheRead) {
    const QByteArray data = patternBytes(200000);
    writeFile(root + "a.bin", data);
    CurlSession session(options());
    for (const QByteArray fault : {"fault=close&after=50000", "fault=length"}) {
        SCOPED_TRACE(fault.constData());
        ASSERT_TRUE(host.control(fault));
        CurlRequest request(session, at(host.url("a.bin")));
        ASSERT_TRUE(request.open());
        qint64 end = 0;
        const QByteArray got = readAll(request, 4096, &end);
        EXPECT_EQ(end, -1);
        EXPECT_TRUE(data.startsWith(got));
        EXPECT_EQ(request.errorCode(), CURLE_PARTIAL_FILE);
        EXPECT_FALSE(request.errorText().isEmpty());
    }
}

TEST_F(CurlEngineTest, NothingListeningFailsTheOpenWithCurlsReason) {
    host.stop(); // its port is free now, nobody listens there
    CurlSession session(options());
    CurlRequest request(session, at(host.url("a.bin")));
    EXPECT_FALSE(request.open());
    EXPECT_EQ(request.errorCode(), CURLE_COULDNT_CONNECT);
    EXPECT_FALSE(request.errorText().isEmpty());
}

TEST_F(CurlEngineTest, TheConnectTimeOutEndsAConnectionThatIsNeverAccepted) {
    // A listening socket whose queue is full: the kernel drops further connection requests,
    // so a connect waits until its time-out.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    QList<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.append(fd);
    }
    CurlSession::Options o = options();
    o.connectTimeoutMs = 300;
    CurlSession session(o);
    CurlRequest request(
        session, at(QStringLiteral("http://127.0.0.1:%1/a.bin").arg(ntohs(address.sin_port))));
    EXPECT_FALSE(request.open());
    EXPECT_EQ(request.errorCode(), CURLE_OPERATION_TIMEDOUT);
    for (const int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST_F(CurlEngineTest, AStalledServerEndsTheTransferAfterTheStallLimit) {
    writeFile(root + "a.bin", patternBytes(10000));
    ASSERT_TRUE(host.control("fault=stall&after=0"));
    CurlSession::Options o = options();
    o.stallTimeoutSeconds = 1;
    CurlSession session(o);
    CurlRequest request(session, at(host.url("a.bin")));
    ASSERT_TRUE(request.open());
    qint64 end = 0;
    EXPECT_EQ(readAll(request, 4096, &end).size(), 0);
    EXPECT_EQ(end, -1);
    EXPECT_EQ(request.errorCode(), CURLE_OPERATION_TIMEDOUT);
}

TEST_F(CurlEngineTest, OtherEventsRunWhileARequestWaits) {
    writeFile(root + "a.bin", patternBytes(5000));
    ASSERT_TRUE(host.control("fault=trickle&rate=10000"));
    CurlSession session(options());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    CurlRequest request(session, at(host.url("a.bin")));
    ASSERT_TRUE(request.open());
    EXPECT_EQ(readAll(request, 4096).size(), 5000);
    EXPECT_GT(ticks, 0); // half a second of trickle: the timer ran meanwhile
}

TEST_F(CurlEngineTest, HttpsWithASelfSignedCertificateIsRefusedAndWorksWhenTrusted) {
    writeFile(root + "a.txt", "secret body");
    UpdateHost tls(home.folder("tls"));
    ASSERT_TRUE(tls.startTls(root));
    {
        CurlSession session(options());
        CurlRequest request(session, at(tls.url("a.txt", "https")));
        EXPECT_FALSE(request.open());
        EXPECT_EQ(request.errorCode(), CURLE_PEER_FAILED_VERIFICATION);
    }
    // Trusted as its own authority, the same host works: the refusal was the certificate's.
    CurlSession::Options o = options();
    o.caInfo = tls.certificate().toUtf8();
    CurlSession session(o);
    CurlRequest request(session, at(tls.url("a.txt", "https")));
    ASSERT_TRUE(request.open());
    EXPECT_EQ(readAll(request, 4096), "secret body");
}

TEST_F(CurlEngineTest, FtpPassiveAndActiveWithALogin) {
    const QByteArray data = patternBytes(300000);
    writeFile(root + "dir/file.bin", data);
    FtpServer ftp;
    ASSERT_TRUE(ftp.start(root, home.folder("ftp"), {"anna", "geheim"}));
    CurlSession session(options());
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        CurlRequest request(
            session, CurlRequest::Setup::ftp(
                         QStringLiteral("ftp://127.0.0.1:%1/dir/file.bin").arg(ftp.port()).toUtf8(),
                         "anna", "geheim", passive));
        ASSERT_TRUE(request.open()) << request.errorText().toStdString();
        qint64 end = 1;
        EXPECT_TRUE(readAll(request, 4096, &end) == data);
        EXPECT_EQ(end, 0);
    }
    CurlRequest wrong(
        session, CurlRequest::Setup::ftp(
                     QStringLiteral("ftp://127.0.0.1:%1/dir/file.bin").arg(ftp.port()).toUtf8(),
                     "anna", "falsch", true));
    EXPECT_FALSE(wrong.open());
    EXPECT_EQ(wrong.errorCode(), CURLE_LOGIN_DENIED);
}

TEST(UpdateTempFolderTest, IsMadePrivateUnderTheCacheFolder) {
    TempHome home;
    QString error;
    const QString folder = UpdateTempFolder::ensure(&error);
    ASSERT_EQ(folder, home.staging()) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An existing folder open to others or only to its group is closed again.
    for (const mode_t open : {0755, 0770, 0750, 0707}) {
        SCOPED_TRACE(open);
        ::chmod(QFile::encodeName(folder).constData(), open);
        EXPECT_EQ(UpdateTempFolder::ensure(&error), folder);
        ::stat(QFile::encodeName(folder).constData(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
}

TEST(UpdateTempFolderTest, WithoutXdgCacheHomeTheHomesCacheIsUsed) {
    TempHome home;
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(UpdateTempFolder::path(), home.path() + "/.cache/tervan/tmp/");
    qputenv("XDG_CACHE_HOME", "relative/cache"); // not absolute: ignored
    EXPECT_EQ(UpdateTempFolder::path(), home.path() + "/.cache/tervan/tmp/");
}

TEST(UpdateTempFolderTest, ASymbolicLinkOrAFileInItsPlaceIsRefused) {
    TempHome home;
    const QString elsewhere = home.folder("elsewhere");
    QDir().mkpath(home.path() + "/cache/tervan");
    ASSERT_TRUE(QFile::link(elsewhere, home.path() + "/cache/tervan/tmp"));
    QString error;
    EXPECT_EQ(UpdateTempFolder::ensure(&error), QString());
    EXPECT_TRUE(error.contains("symbolic link")) << error.toStdString();
    QFile::remove(home.path() + "/cache/tervan/tmp");
    writeFile(home.path() + "/cache/tervan/tmp", "a file");
    EXPECT_EQ(UpdateTempFolder::ensure(&error), QString());
    EXPECT_TRUE(error.contains("not a folder")) << error.toStdString();
}

TEST(UpdateTempFolderTest, EveryFolderOnTheWayFromTheRootIsChecked) {
    // Whoever may write a folder above the staging folder can swap the staging folder.
    struct Row {
        const char* name;
        std::function<void(const QString& home)> arrange;
        const char* why;
    };
    const Row rows[] = {
        {"a parent others may write",
         [](const QString& h) {
             QDir().mkpath(h + "/cache");
             ::chmod(QFile::encodeName(h + "/cache").constData(), 0777);
         },
         "/cache can be written by other users (mode 0777)"},
        {"a parent its group may write",
         [](const QString& h) {
             QDir().mkpath(h + "/cache/tervan");
             ::chmod(QFile::encodeName(h + "/cache/tervan").constData(), 0775);
         },
         "/cache/tervan can be written by other users (mode 0775)"},
        {"a linked cache folder",
         [](const QString& h) {
             QDir().mkpath(h + "/real-cache");
             QFile::link(h + "/real-cache", h + "/cache");
         },
         "/cache is a symbolic link or not a folder"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempHome home;
        row.arrange(home.path());
        QString error;
        EXPECT_EQ(UpdateTempFolder::ensure(&error), QString());
        EXPECT_TRUE(error.contains(home.path() + row.why)) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(home.path() + "/cache/tervan/tmp"));
    }
    // A folder of another user on the way (root can make one).
    if (::geteuid() == 0) {
        TempHome home;
        QDir().mkpath(home.path() + "/cache");
        ASSERT_EQ(::chown(QFile::encodeName(home.path() + "/cache").constData(), 65534, 65534), 0);
        QString error;
        EXPECT_EQ(UpdateTempFolder::ensure(&error), QString());
        EXPECT_TRUE(error.contains("/cache belongs to another user (uid 65534)"))
            << error.toStdString();
    }
}

TEST(UpdateTempFolderTest, AFolderOfAnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the folder to another user";
    TempHome home;
    QString error;
    const QString folder = UpdateTempFolder::ensure(&error);
    ASSERT_FALSE(folder.isEmpty());
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    EXPECT_EQ(UpdateTempFolder::ensure(&error), QString());
    EXPECT_TRUE(error.contains("another user")) << error.toStdString();
}

TEST(UpdateTempFolderTest, TemporaryFilesAreNewPrivateUpdtFiles) {
    TempHome home;
    QString error, first, second;
    const QString folder = UpdateTempFolder::ensure(&error);
    const int a = UpdateTempFolder::createTempFile(folder, &first, &error);
    const int b = UpdateTempFolder::createTempFile(folder, &second, &error);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ::close(a);
    ::close(b);
    EXPECT_NE(first, second);
    EXPECT_TRUE(QFileInfo(first).fileName().startsWith("UPDT"));
    EXPECT_EQ(QFileInfo(first).absolutePath() + "/", folder);
    struct stat st {};
    ::stat(QFile::encodeName(first).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(UpdateTempFolder::createTempFile(home.path() + "/no/such/dir", &first, &error), -1);
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
