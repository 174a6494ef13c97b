#include "app/TimerCensus.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <mutex>
#include <unordered_set>

// QtCore's hook table (declared in a private header): [0] layout version, [1] entries,
// [2] QT_VERSION, [3] called by every QObject constructor, [4] by every destructor.
extern quintptr qtHookData[];

namespace zarq {

namespace {

constexpr int kHookSize = 1;
constexpr int kHookQtVersion = 2;
constexpr int kAddObject = 3;
constexpr int kRemoveObject = 4;

struct Registry {
    std::mutex mutex;
    std::unordered_set<QObject*> objects;
};

// Never destroyed: objects may still be removed while static destructors run at exit.
Registry* g_registry = nullptr;

void addObject(QObject* object) {
    const std::lock_guard lock(g_registry->mutex);
    g_registry->objects.insert(object);
}

void removeObject(QObject* object) {
    const std::lock_guard lock(g_registry->mutex);
    g_registry->objects.erase(object);
}

} // namespace

bool TimerCensus::install() {
    if (g_registry)
        return true;
    if (qtHookData[kHookSize] <= quintptr(kRemoveObject) ||
        (qtHookData[kHookQtVersion] >> 16) != (QT_VERSION >> 16) || qtHookData[kAddObject] ||
        qtHookData[kRemoveObject])
        return false;
    g_registry = new Registry;
    qtHookData[kAddObject] = reinterpret_cast<quintptr>(&addObject);
    qtHookData[kRemoveObject] = reinterpret_cast<quintptr>(&removeObject);
    return true;
}

bool TimerCensus::isInstalled() {
    return g_registry != nullptr;
}

TimerCensus::Count TimerCensus::take() {
    Count count;
    if (!g_registry)
        return count;
    const std::lock_guard lock(g_registry->mutex);
    count.objects = qsizetype(g_registry->objects.size());
    // The dispatcher only compares the pointer with its own timers' objects, so asking about
    // an object of another thread is safe and simply finds none.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        count.timers = 0;
        for (QObject* object : g_registry->objects)
            count.timers += dispatcher->registeredTimers(object).size();
    }
    return count;
}

} // namespace zarq
