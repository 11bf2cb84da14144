// Download: writes the edited configuration of every changed slot to the
// station. For each slot 0..7 whose DownloadPending is set in ConfigSetting
// it sends, one function-16 command at a time, NMT to pre-operational, the
// redundancy mode, the line detection, the commands of the module's family
// and NMT to operational. A slot whose whole series was accepted is copied
// into ConfigReal and its flag is cleared; a failed slot keeps its flag.
#pragma once

#include <cstdint>

namespace nxlink {

// Stops the monitor timer (when monitoring is on) and the watchdog for its
// run and starts them again at the end, also after a failure.
void DownloadConfiguration(int16_t& node);

}  // namespace nxlink
