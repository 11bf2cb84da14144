// Single output writes: set one analog output (function 6, one register of
// the AO image) or one digital output (function 5, one coil of the DO image)
// at once, outside any sequence. Both send one frame and return: they set no
// request key, wait for nothing and never look at the reply (whose echo the
// reply dispatcher answers with "-1", ending a request that waits then as a
// refused one). While WskTCP502 is not connected they send and show nothing.
#pragma once

#include <cstdint>

namespace nxlink {

// The title of message boxes that carry no title of their own.
inline constexpr const char* kApplicationTitle = "NX-4410";

// Writes the engineering value of an analog output channel (register
// Address) as the raw count of its range code (48..53). A range code without
// an output conversion sends nothing and says so in a message box titled
// "Error"; so does a Net ID that is no unit id.
void ModbusSetAOValue(const int16_t& Address, const float& Value, const int16_t& RangeCode);

// Switches coil Address on (Value 255) or off (Value 0).
void ModbusSetDOValue(const int16_t& Address, const uint8_t& Value);

}  // namespace nxlink
