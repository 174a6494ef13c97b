#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace soak {

// tools/zarq-service on 127.0.0.1 for the soak: it counts the service's events as numbers only
// (a list of them would grow with the run and blur the measuring process's own figures), and
// switches the service's faults through its control page.
class SoakService {
public:
    SoakService() = default;
    ~SoakService();
    SoakService(const SoakService&) = delete;
    SoakService& operator=(const SoakService&) = delete;

    // Starts the service with one account ("full.name=password") and `extra` arguments,
    // writing its port to `portFile`. False, with a line on standard error, when it fails.
    bool start(const QString& portFile, const QString& account, const QStringList& extra = {});
    void stop();

    QString host() const { return m_host; } // "127.0.0.1:<port>"

    // A GET of `pathAndQuery` on the service ("/control?fault=none"); the reply's body, or
    // an empty text when the request failed.
    QByteArray get(const QByteArray& pathAndQuery) const;

    // Counts of the events seen so far.
    long signins = 0;
    long heartbeats = 0; // accepted heartbeats
    long expired = 0;    // heartbeats of an expired session, answered "1"
    long signouts = 0;
    long other = 0;       // refusals, unknown sessions, sign-ins elsewhere
    double lastEvent = 0; // the service's monotonic clock, as bench::monotonicNow()

private:
    void readEvents();

    QProcess m_process;
    QString m_host;
};

} // namespace soak
