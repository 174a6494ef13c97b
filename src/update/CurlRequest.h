#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include <curl/curl.h>

namespace zarq {

class CurlSession;

// One request of a run on a CurlSession: opened, then read block by block like a file. The
// body is held only until it is read: when more than a small buffer (128 KiB) waits, curl is
// paused, so a large file never sits in memory, whatever the speed of the disk.
class CurlRequest {
public:
    struct Setup {
        QByteArray url;
        QList<QByteArray> headers; // extra request header lines, without CR LF
        QByteArray user;           // FTP login (empty: anonymous)
        QByteArray password;
        bool ftpPassive = true;
        bool noBody = false; // only reach the resource (FTP: log in, change folder)
        bool post = false;   // an HTTP POST with `postData` as its body
        QByteArray postData;

        // An FTP request: the login only when both `user` and `password` are given,
        // otherwise the anonymous one.
        static Setup ftp(const QByteArray& url, const QString& user, const QString& password,
                         bool passive);
    };

    // The URL with every byte a URL cannot carry raw (controls, blanks, bytes from 0x7F, and
    // " < > ^ ` { | }) written as %XX, as the platform the control files come from sent them;
    // a "%" already there stays, so an escaped URL is not escaped twice.
    static QByteArray escapedUrl(const QByteArray& url);

    CurlRequest(CurlSession& session, Setup setup);
    ~CurlRequest();
    CurlRequest(const CurlRequest&) = delete;
    CurlRequest& operator=(const CurlRequest&) = delete;

    // Starts the request and waits (the event loop runs) until the reply's head is in: for HTTP
    // the final status line and headers, for FTP the start of the data. False when it could
    // not be opened at all (no connection, refused certificate, FTP file missing...): see
    // errorCode() and errorText().
    bool open();

    // HTTP status of the reply (0 before one arrived; for FTP the last server reply code).
    long status() const;
    // The announced length of the body: HTTP Content-Length, FTP size; -1 when unknown.
    qint64 contentLength() const;

    // Copies up to `max` bytes of the body to `into`, waiting for them. Returns the count, 0 at
    // the end of the body, -1 when the transfer failed on the way (see errorCode()).
    qint64 read(char* into, qint64 max);
    // The same without a copy: waits for body bytes and returns how many lie at `*data`
    // (0 at the end, -1 on failure). They stay there until the next peek() or read(), also
    // after consume() took some of them.
    qint64 peek(const char** data);
    void consume(qint64 count);

    // curl's code and text of the failure; 0 and empty when there was none.
    int errorCode() const { return int(m_result); }
    QString errorText() const;

private:
    friend class CurlSession;
    CURL* easy() const { return m_easy; }
    void finished(CURLcode result);
    void detach();
    // Ends the request when nothing arrived for the session's stall limit.
    void checkStall();
    // Ends the request when too little arrived in the last rate window.
    void checkRate();
    // Ends the request when it outlived its deadline.
    void checkDeadline();
    // The deadline once the announced length is known.
    void extendDeadline();
    // Waits for the session; when the program is ending, the request ends as aborted.
    void waitOrAbort();
    void abort(CURLcode result, const QByteArray& text);
    static size_t writeCallback(char* data, size_t size, size_t count, void* self);
    static size_t headerCallback(char* data, size_t size, size_t count, void* self);
    bool headReady() const;
    qsizetype buffered() const { return m_buffer.size() - m_readPos; }

    CurlSession* m_session;
    Setup m_setup;
    CURL* m_easy = nullptr;
    curl_slist* m_headerList = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    QByteArray m_buffer;
    qsizetype m_readPos = 0;
    bool m_added = false;
    bool m_paused = false;
    bool m_done = false;
    bool m_headDone = false;
    bool m_locationInBlock = false;
    bool m_bodyStarted = false;
    bool m_secureOrigin = false;
    CURLcode m_result = CURLE_OK;
    QTimer m_stall;
    QElapsedTimer m_lastData;
    QTimer m_rate;
    qint64 m_windowBytes = 0;
    QTimer m_deadline;
    QElapsedTimer m_started;
    qint64 m_deadlineMs = 0;
};

} // namespace zarq
