#include "http/HttpRequestLines.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using zarq::ComposeRequestLines;
using zarq::HttpRequestFields;

namespace {

const QByteArray kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

struct LinesCase {
    const char* name;
    std::function<void(HttpRequestFields&)> set;
    QList<QByteArray> expected;
};

HttpRequestFields programFields() {
    HttpRequestFields f;
    f.path = "/auth/?domain=a.b&key=c";
    f.accept = kAccept;
    f.agent = "X";
    f.host = "api.example";
    f.port = "80";
    f.noCache = true;
    return f;
}

const QList<QByteArray> kProgramLines = {"GET /auth/?domain=a.b&key=c HTTP/1.0",
                                         "Accept: " + kAccept, "User-Agent: X", "Host: api.example",
                                         "Pragma: no-cache"};

QList<QByteArray> with(QList<QByteArray> lines, qsizetype at, const QByteArray& line) {
    lines.insert(at, line);
    return lines;
}

const LinesCase kLinesCases[] = {
    {"ProgramSettings", [](HttpRequestFields&) {}, kProgramLines},
    {"EmptyPortIsShortHost", [](HttpRequestFields& f) { f.port = ""; }, kProgramLines},
    {"OtherPortIsLongHost",
     [](HttpRequestFields& f) { f.port = "8080"; },
     {"GET /auth/?domain=a.b&key=c HTTP/1.0", "Accept: " + kAccept, "User-Agent: X",
      "Host: api.example:8080", "Pragma: no-cache"}},
    {"NoCacheOffDropsPragma", [](HttpRequestFields& f) { f.noCache = false; },
     kProgramLines.mid(0, 4)},
    {"EmptyAgentDropsUserAgent",
     [](HttpRequestFields& f) { f.agent = ""; },
     {"GET /auth/?domain=a.b&key=c HTTP/1.0", "Accept: " + kAccept, "Host: api.example",
      "Pragma: no-cache"}},
    {"BytesKeptAsGiven", [](HttpRequestFields& f) { f.path = "/a b/\xc4\xe3?x=\xba\xc3"; },
     with(kProgramLines.mid(1), 0, "GET /a b/\xc4\xe3?x=\xba\xc3 HTTP/1.0")},
    {"Version11", [](HttpRequestFields& f) { f.version = "1.1"; },
     with(kProgramLines.mid(1), 0, "GET /auth/?domain=a.b&key=c HTTP/1.1")},
    {"SenderAfterRequestLine", [](HttpRequestFields& f) { f.sender = "me@x"; },
     with(kProgramLines, 1, "From: me@x")},
    {"RefererConnectionLanguageBeforeAgent",
     [](HttpRequestFields& f) {
         f.reference = "r";
         f.connection = "c";
         f.acceptLanguage = "zh-cn";
     },
     {"GET /auth/?domain=a.b&key=c HTTP/1.0", "Accept: " + kAccept, "Referer: r", "Connection: c",
      "Accept-Language: zh-cn", "User-Agent: X", "Host: api.example", "Pragma: no-cache"}},
    {"TrailingLines",
     [](HttpRequestFields& f) {
         f.proxyConnection = "pc";
         f.modifiedSince = QDateTime(QDate(2004, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
         f.cookie = "k=v";
         f.rangeBegin = "10";
     },
     kProgramLines + QList<QByteArray>{"Proxy-Connection: pc",
                                       "If-Modified-Since: Tue, 03 Feb 2004 04:05:06 GMT",
                                       "Cookie: k=v", "Range: bytes=10-"}},
    {"PostCarriesContentType",
     [](HttpRequestFields& f) {
         f.method = "POST";
         f.contentTypePost = "application/x-www-form-urlencoded";
     },
     {"POST /auth/?domain=a.b&key=c HTTP/1.0", "Accept: " + kAccept,
      "Content-Type: application/x-www-form-urlencoded", "User-Agent: X", "Host: api.example",
      "Pragma: no-cache"}},
};

class RequestLines : public testing::TestWithParam<LinesCase> {};

TEST_P(RequestLines, AreComposedInOrder) {
    HttpRequestFields f = programFields();
    GetParam().set(f);
    EXPECT_EQ(ComposeRequestLines(f), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(http, RequestLines, testing::ValuesIn(kLinesCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
