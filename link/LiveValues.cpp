#include "link/LiveValues.h"

rt::Array<bool, kBitImageSize> DIValue;
rt::Array<bool, kBitImageSize> DOValue;
rt::Array<int16_t, kRegisterImageSize> AIValue;
rt::Array<int16_t, kRegisterImageSize> AOValue;
rt::Array<int32_t, kPairImageSize> PIValue;
rt::Array<int32_t, kPairImageSize> POValue;

namespace {
bool g_coilImageReported = false;
}

namespace nxlink {
bool CoilImageReported() { return g_coilImageReported; }
void SetCoilImageReported(bool reported) { g_coilImageReported = reported; }
}  // namespace nxlink

void ResetLiveValues() {
    g_coilImageReported = false;
    DIValue = {};
    DOValue = {};
    AIValue = {};
    AOValue = {};
    PIValue = {};
    POValue = {};
}

LiveValuesSnapshot SnapshotLiveValues() {
    return {DIValue, DOValue, AIValue, AOValue, PIValue, POValue};
}
