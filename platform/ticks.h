// The millisecond tick counter, a short pause, and the event-pumping wait.
#pragma once

#include <cstdint>
#include <functional>

namespace rt {

// Milliseconds since an arbitrary start, wrapping at 2^32; an elapsed time
// is the unsigned difference of two ticks, which stays right across the
// wrap.
uint32_t GetTickCount();

// Pauses the calling thread (used where the program pauses 1 ms).
void Sleep(uint32_t ms);

}  // namespace rt
