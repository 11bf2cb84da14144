// Upload: reads the whole configuration of the station into ConfigReal over
// the Modbus connection, the controller level first, then slot by slot the
// blocks of each module's family. Every read is a function-4 request whose
// key is its start address; each success is reported in the status line and
// the event log, each failure with a message box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nxlink {

// One configuration read of the Upload.
struct UploadRead {
    uint16_t Start = 0;
    uint16_t Quantity = 0;
    std::string Line;  // success line (slot reads: the tail after "Read IOM <s>")
    bool operator==(const UploadRead&) const = default;
};

// The nine controller-level reads, in their order.
const std::vector<UploadRead>& ControllerLevelReads();
// The reads of slot s (0..7) for its module in ConfigReal (node 0), in order:
// none for digital inputs and models without a family. The channel counts
// and the controller version gates are those ConfigReal holds now; a count
// outside 0..17 raises "Subscript out of range".
std::vector<UploadRead> SlotReads(int16_t node, int slot);

// The Upload. The caller learns the outcome only from ConfigReal
// (SlotPresent) and from the lines and message boxes. Stops the monitor
// timer (when monitoring is on) and the watchdog for its run and starts them
// again at every way out.
void UploadConfiguration(int16_t& node);

}  // namespace nxlink
