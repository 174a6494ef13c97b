#pragma once

#include <QThread>

namespace zarq {

class TAutoUpdate;

// The worker thread of a threaded update: it only hands the run to the component's own thread
// and waits until the run returns, so every step of the run happens on the GUI thread.
class TInetThread : public QThread {
    Q_OBJECT

public:
    explicit TInetThread(TAutoUpdate* component);

protected:
    void run() override; // Execute

private:
    TAutoUpdate* FComponent;
};

} // namespace zarq
