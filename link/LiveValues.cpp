#include "link/LiveValues.h"

rt::Array<bool, kBitImageSize> DIValue;
rt::Array<bool, kBitImageSize> DOValue;
rt::Array<int16_t, kRegisterImageSize> AIValue;
rt::Array<int16_t, kRegisterImageSize> AOValue;
rt::Array<int32_t, kPairImageSize> PIValue;
rt::Array<int32_t, kPairImageSize> POValue;

void ResetLiveValues() {
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
