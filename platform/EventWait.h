// The event-pumping wait: a routine that waits for a reply lets every pending
// event run (socket data, timer ticks, user input) while it waits, so those
// handlers run nested inside the wait. The wait never spins and never sleeps
// in fixed slices: between two tests of its condition it blocks in the event
// loop until the next event arrives or its deadline passes.
#pragma once

#include <cstdint>
#include <functional>

namespace rt {

// Processes the events that are pending now, once, without blocking.
void DoEvents();

// Lets the pending events run, then tests `done`; while it is false and
// fewer than timeoutMs milliseconds (of the tick counter) have passed since
// the call, blocks until the next event or the deadline, lets the events run
// and tests again. Returns the last result of `done`, so a condition that the
// pending events already satisfy ends the wait at once. `done` must have no
// side effects: it may also be tested once before the first events run, to
// choose between a quick round of the pending events (it holds) and a
// blocking one (it does not); its verdict counts only after events ran.
// At the deadline the pending events run once more before the last test, so
// that what arrived while the thread got no time still counts.
//
// Needs an event dispatcher on the calling thread (the application's on the
// window thread). Without one no event can run; the wait then only tests the
// condition again at its deadline.
bool WaitUntil(const std::function<bool()>& done, uint32_t timeoutMs);

// Makes every wait that blocks on another thread test its condition again.
// Code that changes a waited-for value on the waiting thread itself needs
// no call: it runs inside the wait's event processing, after which the wait
// tests again anyway. Cheap when nobody waits.
void WakeWaits();

// Number of waits in progress on the calling thread (nested waits count).
int ActiveWaits();

}  // namespace rt
