// The millisecond tick counter, a short pause, and the event-pumping wait.
#pragma once

#include <cstdint>
#include <functional>

namespace rt {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the
// platform's tick counter.
uint32_t GetTickCount();

// Pauses the calling thread (used where the program pauses 1 ms).
void Sleep(uint32_t ms);

}  // namespace rt
