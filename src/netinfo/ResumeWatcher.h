#pragma once

#include <QObject>
#include <QString>

namespace zarq {

// Tells when the machine wakes from sleep: logind's PrepareForSleep(false) on the system bus.
// Without a system bus or without logind it stays off; that is no fault of the program, so it
// says so only on the debug channel ("zarq.watch").
class ResumeWatcher : public QObject {
    Q_OBJECT
public:
    explicit ResumeWatcher(QObject* parent = nullptr);

    bool start();

signals:
    void resumed();

private slots:
    void onPrepareForSleep(bool sleeping);
};

} // namespace zarq
