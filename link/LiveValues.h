// The live values of the monitor: the last images of the station's inputs and
// outputs as the reply dispatcher stored them, indexed by position in the
// image (bit n, register i, register pair i), not by slot. The main window
// reads them on every monitor tick.
#pragma once

#include <cstdint>

#include "platform/checked_array.h"

inline constexpr int kBitImageSize = 256;       // discrete inputs / coils 0..255
inline constexpr int kRegisterImageSize = 128;  // registers 0..127
inline constexpr int kPairImageSize = 128;      // register pairs 0..127

extern rt::Array<bool, kBitImageSize> DIValue;
extern rt::Array<bool, kBitImageSize> DOValue;
extern rt::Array<int16_t, kRegisterImageSize> AIValue;
extern rt::Array<int16_t, kRegisterImageSize> AOValue;
extern rt::Array<int32_t, kPairImageSize> PIValue;
extern rt::Array<int32_t, kPairImageSize> POValue;

// Sizes the six arrays and empties them (every value false / 0); the main
// window calls it when it refills its mapping lists.
void ResetLiveValues();

namespace nxlink {
// True once the station reported its coils (a coil image was stored) since
// the arrays were last emptied: from then on DOValue holds each coil's state.
bool CoilImageReported();
void SetCoilImageReported(bool reported);
}  // namespace nxlink

// A copy of all six arrays, for comparing before and after a reply.
struct LiveValuesSnapshot {
    rt::Array<bool, kBitImageSize> DI, DO;
    rt::Array<int16_t, kRegisterImageSize> AI, AO;
    rt::Array<int32_t, kPairImageSize> PI, PO;
    bool operator==(const LiveValuesSnapshot&) const = default;
};
LiveValuesSnapshot SnapshotLiveValues();
