#include "http/HttpUrl.h"

#include <gtest/gtest.h>

using zarq::HttpUrlParts;
using zarq::SplitHttpUrl;

namespace {

struct UrlCase {
    const char* url;
    const char* base;
    HttpUrlParts expected; // scheme, user, password, host, port, path
};

const UrlCase kUrlCases[] = {
    {"", "/x", {}},
    {"http://host/auth/?domain=a.b&key=c",
     "",
     {"http", "", "", "host", "", "/auth/?domain=a.b&key=c"}},
    {"http://host", "", {"http", "", "", "host", "", ""}},
    {"http://host?x=1", "", {"http", "", "", "host", "", "?x=1"}},
    {"http://host:8080/p", "", {"http", "", "", "host", "8080", "/p"}},
    {"HTTPS://Host/p", "", {"https", "", "", "Host", "", "/p"}},
    {"http://u:pw@host:81/p", "", {"http", "u", "pw", "host", "81", "/p"}},
    {"http://u@host/p", "", {"http", "u", "", "host", "", "/p"}},
    {"http://u:pw@host/p", "", {"http", "u", "pw", "host", "", "/p"}},
    {"http://host/a b#frag", "", {"http", "", "", "host", "", "/a b#frag"}},
    {"http://host/%41", "", {"http", "", "", "host", "", "/%41"}},
    {"ftp://host/f", "", {"ftp", "", "", "host", "", "/f"}},
    {"x y://host/p", "", {"http", "", "", "x y", "", "//host/p"}},
    {"/only/path?q", "/base/", {"http", "", "", "", "", "/only/path?q"}},
    {"//host/p", "", {"http", "", "", "host", "", "/p"}},
    {"http:/x", "", {"http", "", "", "", "", "/x"}},
    {"mailto:me@example.org", "", {"mailto", "me", "", "example.org", "", ""}},
    {"host/p", "", {"", "", "", "host", "", "/p"}},
    {"./c.htm", "/a/b/d.htm", {"", "", "", "", "", "/a/b/c.htm"}},
    {"./c.htm", "nodir", {"", "", "", "", "", "/c.htm"}},
    {"../c.htm", "/a/b/d.htm", {"", "", "", "", "", "/a/c.htm"}},
    {"../../c.htm", "/a/b/d.htm", {"", "", "", "", "", "/c.htm"}},
    {"../../../c.htm", "/a/b/d.htm", {"", "", "", "", "", "/c.htm"}},
};

class UrlSplit : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlSplit, GivesTheExpectedParts) {
    const UrlCase& c = GetParam();
    const HttpUrlParts got = SplitHttpUrl(c.url, c.base);
    EXPECT_EQ(got.scheme, c.expected.scheme) << c.url;
    EXPECT_EQ(got.user, c.expected.user) << c.url;
    EXPECT_EQ(got.password, c.expected.password) << c.url;
    EXPECT_EQ(got.host, c.expected.host) << c.url;
    EXPECT_EQ(got.port, c.expected.port) << c.url;
    EXPECT_EQ(got.path, c.expected.path) << c.url;
}

INSTANTIATE_TEST_SUITE_P(http, UrlSplit, testing::ValuesIn(kUrlCases));

} // namespace
