// Sequential GETs of a small body, a new HTTP/1.0 connection each, against one fast local
// server running in its own thread: THttpClient against libcurl in the same run. Then the CPU
// one Get costs while a server stalls for 5 seconds, and the process's memory.
//   http_bench [N] [client|curl]   (one of them alone: for profiling)
#include "http/THttpClient.h"
#include "support/ProcessProbe.h"

#include <QBuffer>
#include <QCoreApplication>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const char kReply[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n\r\n"
                      "hello, world\n";

double nowSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int listenLoopback(quint16& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 128) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Answers every connection with kReply once its request header is in, then closes.
class FastServer {
public:
    FastServer() : m_fd(listenLoopback(m_port)), m_thread([this] { run(); }) {}
    ~FastServer() {
        m_stop = true;
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    void run() {
        char buf[4096];
        while (!m_stop) {
            const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            std::string in;
            while (in.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                in.append(buf, size_t(n));
            }
            if (send(c, kReply, sizeof kReply - 1, MSG_NOSIGNAL) < 0)
                std::perror("send");
            close(c);
        }
    }
    quint16 m_port = 0;
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Accepts and says nothing.
class StallServer {
public:
    StallServer() : m_fd(listenLoopback(m_port)) {}
    ~StallServer() { close(m_fd); }
    quint16 port() const { return m_port; }

private:
    quint16 m_port = 0;
    int m_fd;
};

struct Result {
    double wall;
    double cpu;
};

Result runClient(const QByteArray& url, int n) {
    zarq::THttpClient client;
    client.setAgent("Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)");
    client.setNoCache(true);
    client.setURL(url);
    const double w0 = nowSeconds(CLOCK_MONOTONIC);
    const double c0 = nowSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < n; ++i) {
        QBuffer body;
        body.open(QIODevice::ReadWrite);
        client.setReceiveStream(&body);
        client.Get();
        if (body.data() != "hello, world\n") {
            std::fprintf(stderr, "THttpClient: wrong body\n");
            std::exit(1);
        }
    }
    return {nowSeconds(CLOCK_MONOTONIC) - w0, nowSeconds(CLOCK_THREAD_CPUTIME_ID) - c0};
}

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

Result runCurl(const QByteArray& url, int n) {
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; Tervan ZARQ Client 1.0)");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const double w0 = nowSeconds(CLOCK_MONOTONIC);
    const double c0 = nowSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < n; ++i) {
        body.clear();
        if (curl_easy_perform(curl) != CURLE_OK || body != "hello, world\n") {
            std::fprintf(stderr, "libcurl: request failed\n");
            std::exit(1);
        }
    }
    const Result r{nowSeconds(CLOCK_MONOTONIC) - w0, nowSeconds(CLOCK_THREAD_CPUTIME_ID) - c0};
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(10, std::atoi(argv[1])) / 10 * 10 : 3000;
    curl_global_init(CURL_GLOBAL_DEFAULT);

    FastServer server;
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(server.port()) + "/ip";
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (only == "client" || only == "curl") {
        const Result r = only == "client" ? runClient(url, n) : runCurl(url, n);
        std::printf("%s: %.0f requests/s, %.1f us CPU/request\n", only.constData(), n / r.wall,
                    r.cpu / n * 1e6);
        return 0;
    }
    runClient(url, 50); // warm-up of both
    runCurl(url, 50);
    const qint64 pid = QCoreApplication::applicationPid();
    const long rssWarm = bench::statusField(pid, "VmRSS:");
    // Interleaved rounds, so that a burst of load from elsewhere on the machine hits both.
    const int rounds = 10;
    Result ours{0, 0}, curl{0, 0};
    for (int r = 0; r < rounds; ++r) {
        const Result a = runClient(url, n / rounds);
        const Result b = runCurl(url, n / rounds);
        ours = {ours.wall + a.wall, ours.cpu + a.cpu};
        curl = {curl.wall + b.wall, curl.cpu + b.cpu};
    }
    std::printf("%d sequential GETs, new HTTP/1.0 connection each, 13-byte body\n", n);
    std::printf("%-12s %12s %18s\n", "client", "requests/s", "CPU us/request");
    std::printf("%-12s %12.0f %18.1f\n", "THttpClient", n / ours.wall, ours.cpu / n * 1e6);
    std::printf("%-12s %12.0f %18.1f\n", "libcurl", n / curl.wall, curl.cpu / n * 1e6);
    std::printf("ratio THttpClient/libcurl: rate %.2f, CPU per request %.2f\n",
                (n / ours.wall) / (n / curl.wall), (ours.cpu / n) / (curl.cpu / n));

    // Both clients share the process, so the peak covers both; growth after the warm-up would
    // show memory kept per request.
    std::printf("memory: peak %ld kB, resident after warm-up %ld kB, after all rounds %ld kB\n",
                bench::statusField(pid, "VmHWM:"), rssWarm, bench::statusField(pid, "VmRSS:"));

    StallServer stall;
    zarq::THttpClient client;
    client.setTimeout(5);
    client.setURL("http://127.0.0.1:" + QByteArray::number(stall.port()) + "/");
    const double w0 = nowSeconds(CLOCK_MONOTONIC);
    const double c0 = nowSeconds(CLOCK_THREAD_CPUTIME_ID);
    try {
        client.Get();
    } catch (const zarq::EHttpException& e) {
        std::printf("stalled Get: \"%s\" after %.2f s wall, %.2f ms CPU\n", e.what(),
                    nowSeconds(CLOCK_MONOTONIC) - w0,
                    (nowSeconds(CLOCK_THREAD_CPUTIME_ID) - c0) * 1e3);
    }
    curl_global_cleanup();
    return 0;
}
