// Default values and the copies between ConfigReal and ConfigSetting. Every
// operation takes the node index (only 0 is valid) and raises "Subscript out
// of range" for any other node or slot before anything is written.
#pragma once

#include <cstdint>

void SetConfigRealToDefault(int16_t node);
void SetConfigSettingToDefault(int16_t node);
void SetConfig_RealToSetting(int16_t node);
void SetConfig_RealToSetting_OneSlot(int16_t node, int16_t slot);
void SetConfig_SettingToReal(int16_t node);
void SetConfig_SettingToReal_OneSlot(int16_t node, int16_t slot);
void CopySlotSetting(int16_t node, int16_t sourceSlot, int16_t destSlot);
