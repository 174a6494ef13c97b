#include "AutostartFixture.h"
#include "shell/TSettingForm.h"
#include "shell/TSkinMessage.h"
#include "support/WaitFor.h"
#include "update/TAutoUpdate.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

using namespace zarq;

namespace {

// Points the private staging folder and the documents folder into the test's folder.
class CacheHome {
public:
    explicit CacheHome(const QString& root) {
        for (const char* name : {"HOME", "XDG_CACHE_HOME"}) {
            saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qputenv(name, QFile::encodeName(root + "/" + name));
        }
    }
    ~CacheHome() {
        for (const auto& s : saved) {
            if (s.wasSet)
                qputenv(s.name, s.value);
            else
                qunsetenv(s.name);
        }
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> saved;
};

// A loopback update host without a control file: every request is answered 404.
class MissingControlFileHost {
public:
    MissingControlFileHost() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                request += socket->readAll();
                if (!request.contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/update1.txt").arg(server.serverPort());
    }
    QTcpServer server;
    QByteArray request;
};

class TSettingFormUpdateTest : public AutostartFixture {
protected:
    void SetUp() override {
        AutostartFixture::SetUp();
        TSkinMessage::resetTestHook();
        TSkinMessage::queueAnswers({});
    }
    void TearDown() override { TSkinMessage::resetTestHook(); }
    std::unique_ptr<TSettingForm> create(const QString& updateUrl) {
        return std::make_unique<TSettingForm>(
            nullptr, SettingFormEnvironment{tmp.filePath("config/tervan/zarq.reg"), dirs, program,
                                            updateUrl});
    }
};

} // namespace

#if ZARQ_SELF_UPDATE
TEST_F(TSettingFormUpdateTest, CreationStartsTheThreadedUpdateRunOfAutoUpdate1) {
    CacheHome home(tmp.path());
    MissingControlFileHost host;
    auto form = create(host.url());
    ASSERT_NE(form->AutoUpdate1, nullptr);
    // Under way, but nothing of it ran inside the creation: it waits for the event loop.
    EXPECT_TRUE(form->AutoUpdate1->Threaded());
    QStringList texts;
    form->AutoUpdate1->OnStatus = [&](TAutoUpdate*, const QString& text, int, int) {
        texts.append(text);
    };
    ASSERT_TRUE(waitFor([&] { return !form->AutoUpdate1->Threaded(); }));
    EXPECT_TRUE(host.request.startsWith("GET /update1.txt HTTP/1.")) << host.request.constData();
    EXPECT_TRUE(host.request.contains("\r\nUser-Agent: TErvan ZArq Client 1.0\r\n"))
        << host.request.constData();
    EXPECT_TRUE(texts.contains("Start update : Threaded update ---------------------------"));
    EXPECT_TRUE(texts.contains("Http status : 404"));
    EXPECT_TRUE(texts.contains("Update control file not found"));
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts.last(), QString("Threaded update execution done"));
    EXPECT_TRUE(TSkinMessage::shownBoxes().isEmpty()); // failures are never shown
}
#else
TEST_F(TSettingFormUpdateTest, BuiltWithoutSelfUpdateCreationStartsNoRun) {
    CacheHome home(tmp.path());
    MissingControlFileHost host;
    auto form = create(host.url());
    EXPECT_FALSE(form->AutoUpdate1->Threaded());
    QCoreApplication::processEvents();
    EXPECT_TRUE(host.request.isEmpty());
}
#endif

TEST_F(TSettingFormUpdateTest, WithoutAnUpdateUrlNoRunStarts) {
    CacheHome home(tmp.path());
    auto form = create(QString());
    EXPECT_TRUE(form->updateCheckRequested());
    EXPECT_FALSE(form->AutoUpdate1->Threaded());
}
