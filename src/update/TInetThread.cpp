#include "update/TInetThread.h"

#include "update/TAutoUpdate.h"

namespace zarq {

TInetThread::TInetThread(TAutoUpdate* component) : FComponent(component) {}

void TInetThread::run() {
    // Blocks until the run has returned on the component's thread. When the component is
    // destroyed before it got there, the pending call is dropped and the wait ends.
    QMetaObject::invokeMethod(
        FComponent, [component = FComponent] { component->RunUpdate(false); },
        Qt::BlockingQueuedConnection);
}

} // namespace zarq
