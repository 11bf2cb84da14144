#include "platform/EventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ticks.h"

namespace rt {

namespace {

thread_local int t_activeWaits = 0;

// Dispatchers of the threads that are blocked in a wait right now, and how
// many there are, so that a thread that is the only one waiting wakes
// nobody without taking the lock.
std::mutex g_waitersMutex;
std::vector<std::pair<QThread*, QAbstractEventDispatcher*>> g_waiters;
std::atomic<int> g_waitCount{0};

class WaitRegistration {
  public:
    explicit WaitRegistration(QAbstractEventDispatcher* dispatcher)
        : entry_(QThread::currentThread(), dispatcher) {
        ++t_activeWaits;
        g_waitCount.fetch_add(1, std::memory_order_relaxed);
        std::lock_guard lock(g_waitersMutex);
        g_waiters.push_back(entry_);
    }
    ~WaitRegistration() {
        --t_activeWaits;
        g_waitCount.fetch_sub(1, std::memory_order_relaxed);
        std::lock_guard lock(g_waitersMutex);
        auto it = std::find(g_waiters.begin(), g_waiters.end(), entry_);
        if (it != g_waiters.end()) g_waiters.erase(it);
    }
    WaitRegistration(const WaitRegistration&) = delete;
    WaitRegistration& operator=(const WaitRegistration&) = delete;

  private:
    std::pair<QThread*, QAbstractEventDispatcher*> entry_;
};

// The timer that ends a blocked wait at its deadline, one per thread. It is
// not stopped when a wait ends: the next wait, a few microseconds later,
// usually has a later deadline and keeps it running, instead of registering
// and removing a timer per request. It only ever fires earlier than needed
// (a wait woken early tests its condition and blocks again), never later:
// while a wait blocks, the timer runs and is due no later than its deadline.
struct DeadlineTimer {
    std::unique_ptr<QTimer> timer;
    QAbstractEventDispatcher* dispatcher = nullptr;  // the one it runs on
    std::chrono::steady_clock::time_point due;
};
thread_local DeadlineTimer t_deadline;

void ArmDeadline(QAbstractEventDispatcher* dispatcher, uint32_t ms) {
    DeadlineTimer& d = t_deadline;
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (d.timer && d.dispatcher != dispatcher) d.timer.reset();  // its dispatcher is gone
    if (!d.timer) {
        d.timer = std::make_unique<QTimer>();
        d.timer->setSingleShot(true);
        d.timer->setTimerType(Qt::PreciseTimer);
        d.dispatcher = dispatcher;
    }
    if (d.timer->isActive() && d.due <= due) return;
    d.timer->start(static_cast<int>(std::min<uint32_t>(ms, 0x7fffffff)));
    d.due = due;
}

// Blocks until at least one event was processed; the deadline timer makes
// sure that happens no later than `ms` from now.
void BlockUntilNextEvent(QAbstractEventDispatcher* dispatcher, uint32_t ms) {
    ArmDeadline(dispatcher, ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

void DoEvents() {
    if (QAbstractEventDispatcher::instance() != nullptr) QCoreApplication::processEvents();
}

bool WaitUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint32_t t0 = GetTickCount();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    WaitRegistration registration(dispatcher);
    // The pending events run before the condition is judged. When it does
    // not hold yet, the first blocking round runs them: it returns at once
    // when events are pending, and otherwise blocks until the next one
    // instead of polling once for nothing. When it holds already, only the
    // pending events run and the condition is tested again.
    if (done() || dispatcher == nullptr) {
        DoEvents();
    } else {
        const uint32_t elapsed = GetTickCount() - t0;
        if (elapsed < timeoutMs)
            BlockUntilNextEvent(dispatcher, timeoutMs - elapsed);
        else
            DoEvents();
    }
    for (;;) {
        if (done()) return true;
        const uint32_t elapsed = GetTickCount() - t0;
        if (elapsed >= timeoutMs) {
            // What came while this thread got no time (a loaded machine)
            // came within the wait: the pending events run once more.
            DoEvents();
            return done();
        }
        const uint32_t remaining = timeoutMs - elapsed;
        if (dispatcher != nullptr) {
            BlockUntilNextEvent(dispatcher, remaining);
        } else {
            // Nothing can change the condition on this thread before the
            // deadline; test it once more there.
            std::this_thread::sleep_for(std::chrono::milliseconds(remaining));
        }
    }
}

void WakeWaits() {
    // Only this thread's own waits (or none): they test again anyway.
    if (g_waitCount.load(std::memory_order_relaxed) == t_activeWaits) return;
    QThread* self = QThread::currentThread();
    std::lock_guard lock(g_waitersMutex);
    for (const auto& [thread, dispatcher] : g_waiters) {
        if (thread != self && dispatcher != nullptr) dispatcher->wakeUp();
    }
}

int ActiveWaits() { return t_activeWaits; }

}  // namespace rt
