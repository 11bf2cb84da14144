#include "link/RegisterMap.h"

#include <array>

namespace {

constexpr std::array<const RegisterBlock*, 44> kBlocks{
    &RegDiImage,         &RegDoImage,           &RegAiImage,         &RegAoImage,
    &RegPiImage,         &RegPoImage,           &RegKeepAlive,       &RegMcuStatus,
    &RegIomStatus,       &RegCfgMcuName,        &RegCfgPwmName,      &RegCfgVersions,
    &RegCfgRealModuleId, &RegCfgPredefModuleId, &RegCfgNmtState,     &RegCfgFwVersion,
    &RegCfgRedundancy,   &RegCfgLineDropOff,    &RegCfgDoPowerOn,    &RegCfgDoSafe,
    &RegCfgDoFaultMode,  &RegCfgAoPowerOn,      &RegCfgAoSafe,       &RegCfgAoFaultMode,
    &RegCfgRangeCode,    &RegCfgScaleLow,       &RegCfgScaleHigh,    &RegCfgAlarmLow,
    &RegCfgAlarmHigh,    &RegCfgAlarmEnable,    &RegCfgAiFilterMode, &RegCfgPoReferenceTime,
    &RegCfgPoOffsetTime, &RegCfgPoCyclicSteps,  &RegCfgPoDutySteps,  &RegCfgPoFaultMode,
    &RegCfgPoPwmCounter, &RegCfgPiConfig,       &RegCfgCjc,          &RegCfgBreakLine,
    &RegSlotReplyArea,   &RegIomCommand,        &RegMcuCommand,      &RegDataMailbox,
};

}  // namespace

std::span<const RegisterBlock* const> AllRegisterBlocks() { return kBlocks; }

const RegisterBlock* FindConfigBlock(long key, int* slot) {
    for (const RegisterBlock* b : kBlocks) {
        if (b->Key != nullptr || b->Function != FcReadInputRegisters) continue;
        if (b == &RegSlotReplyArea) continue;
        const long base = b->Start;
        if (!b->PerSlot && key == base) {
            if (slot) *slot = 0;
            return b;
        }
        if (b->PerSlot && key >= base && key <= base + 7) {
            if (slot) *slot = static_cast<int>(key - base);
            return b;
        }
    }
    return nullptr;
}
