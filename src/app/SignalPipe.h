#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace zarq {

// Brings SIGTERM and SIGINT into the event loop: the handler only writes the signal's number
// to a pipe, and a socket notifier on the pipe's other end calls `onSignal` from the loop.
// One instance per process.
class SignalPipe : public QObject {
public:
    explicit SignalPipe(std::function<void(int)> onSignal, QObject* owner = nullptr);
    ~SignalPipe() override;

    // Installs the handlers; false (with errno set) when the pipe cannot be made.
    bool install();

private:
    void drain();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace zarq
