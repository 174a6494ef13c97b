#include "platform/ZarqConfig.h"

#include <gtest/gtest.h>

using zarq::ZarqConfig;

TEST(ZarqConfig, HostCheck) {
    struct Case {
        const char* host;
        bool ok;
    };
    const Case cases[] = {
        {"127.0.0.1", true},
        {"127.0.0.1:8080", true},
        {"ip.example.com", true},
        {"a_b-c.d:65535", true},
        {"", false},
        {"host:0", false},
        {"host:65536", false},
        {"host:", false},
        {":80", false},
        {"host/path", false},
        {"a b", false},
        {"host?x=1", false},
        {"host:80:81", false},
        {"host:+80", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZarqConfig::checkHost(c.host).isEmpty(), c.ok) << c.host;
}

TEST(ZarqConfig, EnvironmentOverridesDefaultsAndBadValuesAreReported) {
    qputenv("ZARQ_ECHO_HOST", "127.0.0.1:1234");
    qputenv("ZARQ_API_HOST", "bad host");
    qputenv("ZARQ_ZONE", "example.org");
    QString error;
    const ZarqConfig config = ZarqConfig::fromEnvironment(&error);
    qunsetenv("ZARQ_ECHO_HOST");
    qunsetenv("ZARQ_API_HOST");
    qunsetenv("ZARQ_ZONE");
    EXPECT_EQ(config.echoHost, QByteArray("127.0.0.1:1234"));
    EXPECT_EQ(config.apiHost, QByteArray(ZarqConfig::kApiHost));
    EXPECT_EQ(config.parentZone, QStringLiteral("example.org"));
    EXPECT_TRUE(error.contains(QStringLiteral("ZARQ_API_HOST"))) << error.toStdString();
}
