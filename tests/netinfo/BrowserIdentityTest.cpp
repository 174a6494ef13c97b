#include "netinfo/BrowserIdentity.h"
#include "netinfo/StandInBrowserControl.h"

#include <QRegularExpression>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/utsname.h>

using namespace zarq;
using namespace std::chrono_literals;

namespace {

// What a fake control does; each step can be made to fail.
struct Script {
    bool navigateThrows = false;
    bool neverReady = false;
    bool readyAfterEvent = false; // ready once the event loop has run a queued call
    bool noDocument = false;
    bool noWindow = false;
    QString userAgent = QStringLiteral(" Fake/1.0 (Test) ");
    QStringList navigated;
    int released = 0;
};

class FakeWindow : public BrowserWindow {
public:
    explicit FakeWindow(Script& s) : m_s(s) {}
    QString userAgent() override { return m_s.userAgent; }

private:
    Script& m_s;
};

class FakeDocument : public BrowserDocument {
public:
    explicit FakeDocument(Script& s) : m_s(s) {}
    std::shared_ptr<BrowserWindow> parentWindow() override {
        return m_s.noWindow ? nullptr : std::make_shared<FakeWindow>(m_s);
    }

private:
    Script& m_s;
};

class FakeControl : public BrowserControl {
public:
    explicit FakeControl(Script& s) : m_s(s) {}
    ~FakeControl() override { ++m_s.released; }

    void navigate(const QString& url) override {
        m_s.navigated.append(url);
        if (m_s.navigateThrows)
            throw std::runtime_error("navigation refused");
        if (m_s.readyAfterEvent)
            QTimer::singleShot(0, [this] { m_ready = true; });
        else
            m_ready = !m_s.neverReady;
    }
    int readyState() override { return m_ready ? ReadyStateComplete : 1; }
    std::shared_ptr<BrowserDocument> document() override {
        return m_s.noDocument ? nullptr : std::make_shared<FakeDocument>(m_s);
    }

private:
    Script& m_s;
    bool m_ready = false;
};

QByteArray probe(Script& s) {
    return GetBrowserUserAgent([&] { return std::make_unique<FakeControl>(s); }, 200ms);
}

TEST(GetBrowserUserAgent, NormalRunGivesTheIdentityUnchanged) {
    Script s;
    EXPECT_EQ(probe(s), " Fake/1.0 (Test) ");
    EXPECT_EQ(s.navigated, QStringList{"about:blank"});
    EXPECT_EQ(s.released, 1);
}

TEST(GetBrowserUserAgent, EveryFailureGivesEmptyTextAndReleasesTheControl) {
    struct Case {
        const char* name;
        void (*arrange)(Script&);
    };
    const Case cases[] = {
        {"navigation fails", [](Script& s) { s.navigateThrows = true; }},
        {"no document", [](Script& s) { s.noDocument = true; }},
        {"no window", [](Script& s) { s.noWindow = true; }},
        {"never ready", [](Script& s) { s.neverReady = true; }},
    };
    for (const Case& c : cases) {
        Script s;
        c.arrange(s);
        EXPECT_EQ(probe(s), QByteArray()) << c.name;
        EXPECT_EQ(s.released, 1) << c.name;
    }
}

TEST(GetBrowserUserAgent, ControlThatCannotBeCreatedGivesEmptyText) {
    EXPECT_EQ(GetBrowserUserAgent([]() -> std::unique_ptr<BrowserControl> {
                  throw std::runtime_error("class not registered");
              }),
              QByteArray());
    EXPECT_EQ(GetBrowserUserAgent([] { return std::unique_ptr<BrowserControl>(); }), QByteArray());
    EXPECT_EQ(GetBrowserUserAgent(BrowserControlFactory()), QByteArray());
}

TEST(GetBrowserUserAgent, PendingEventsRunWhileItWaits) {
    Script s;
    s.readyAfterEvent = true;
    EXPECT_EQ(GetBrowserUserAgent([&] { return std::make_unique<FakeControl>(s); }, 30s),
              " Fake/1.0 (Test) ");
}

int fixedUname(utsname* name) {
    *name = utsname{};
    std::strcpy(name->sysname, "Linux");
    std::strcpy(name->machine, "aarch64");
    std::strcpy(name->release, "6.1.0-test"); // not part of the identity
    return 0;
}

int failingUname(utsname*) {
    errno = EFAULT;
    return -1;
}

TEST(StandInBrowserControl, IdentityIsBuiltFromTheSystemNameAndMachine) {
    EXPECT_EQ(StandInBrowserControl::identity(&fixedUname),
              QStringLiteral("Mozilla/5.0 (X11; Linux aarch64)"));
    EXPECT_EQ(StandInBrowserControl::identity(&failingUname),
              QStringLiteral("Mozilla/5.0 (X11; Linux)"));
}

TEST(GetBrowserUserAgent, ThisMachineAnswersThroughTheStandIn) {
    // Whatever the machine: a Linux identity of the stand-in's form, in the system code page.
    const QByteArray agent = GetBrowserUserAgent();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Mozilla/5\\.0 \\(X11; Linux [A-Za-z0-9_]+\\)$"))
                    .match(QString::fromLatin1(agent))
                    .hasMatch())
        << agent.constData();
}

} // namespace
