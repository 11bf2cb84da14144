#include "config/ConfigDefaults.h"

#include "config/NodeConfig.h"

// The fields of the record fall into groups that the resets and copies treat
// alike: the header, the names (positions 0 and 1), the controller status,
// the per-slot fields and the per-channel fields (channels 0 to 15). The
// rest (IP address, redundancy information, duplex status, NMT state, TCP
// timeout, the live alarm and emergency words, the HART replies, Spare7 and
// channel position 16) belongs to ConfigReal alone and is never touched here.

namespace {

constexpr int kNamesTouched = 2;  // name positions 0 and 1; position 2 is never used

// Every node and slot index is checked before the first write, so a bad
// index leaves both records exactly as they were.
void CheckNode(int16_t node) { NodeArray::Check(node); }
void CheckSlot(int16_t slot) { PerSlot<int16_t>::Check(slot); }

// ---- Defaults --------------------------------------------------------------

void ResetHeader(NodeConfig& c, bool real) {
    c.ControllerPresent = 0;
    c.Spare1 = 0;
    c.Spare2 = -1;
    c.Controller.clear();
    c.NetID = 0;
    c.McuFwVersion = 0;
    c.SpareVersion1 = real ? "v0.0.0" : "";
    c.Spare3 = 0;
    c.SpareVersion2 = real ? "v0.0.0" : "";
    c.Spare4 = 0;
    c.McuVersion = 0;
    c.McuLibVersion = 0;
    c.TotalSlot = 0;
}

void ResetNames(NodeConfig& c) {
    for (int i = 0; i < kNamesTouched; ++i) {
        c.McuName[i].clear();
        c.PowerName[i].clear();
    }
}

// DipSwitch keeps its value: it is read from the station and no reset
// clears it.
void ResetControllerStatus(NodeConfig& c) {
    c.McuStatus = 0;
    c.OtherMcuStatus = 0;
    c.CanStatus = 0;
    c.PwmStatus = 0;
    c.LightFault = 0;
    c.HeavyFault = 0;
}

// Spare8 and BreakLineFunc keep their values.
void ResetSlot(NodeConfig& c, int s) {
    c.DIChannel[s] = 0;
    c.DOChannel[s] = 0;
    c.AIChannel[s] = 0;
    c.AOChannel[s] = 0;
    c.PIChannel[s] = 0;
    c.POChannel[s] = 0;
    c.SlotPresent[s] = 0;
    c.DownloadPending[s] = 0;
    c.PredefModule[s].clear();
    c.Module[s].clear();
    c.Version[s] = 0;
    c.DO_PowerONValue_Low[s] = 0;
    c.DO_PowerONValue_High[s] = 0;
    c.DO_SafeValue_Low[s] = 0;
    c.DO_SafeValue_High[s] = 0;
    c.RedundancyToSlot[s] = 0;
    c.CJCSetting[s] = 0;
    c.CJCValue[s] = 0;
    c.AlarmMode[s] = 0;
    c.CHBreakLineMode[s] = 0;
    c.AIDigitalFilterMode[s] = 0;
    c.AIFilterModeHigh[s] = 0;
    c.MainsFrequency[s] = 0;
    c.PI[s] = PIConfig{};
}

void ResetChannels(NodeConfig& c, int s, bool real) {
    // The read copy starts with the full user scale and the high alarm at
    // the top of the raw range; the edited copy with 0.
    const int16_t high = real ? 10000 : 0;
    POConfig& po = c.PO[s];
    for (int ch = 0; ch < kChannelLoop; ++ch) {
        c.PowerOnValue(s, ch) = 0;
        c.SafeValue(s, ch) = 0;
        c.RangeCode(s, ch) = 0;
        c.UserDefLRange(s, ch) = 0;
        c.UserDefHRange(s, ch) = high;
        c.LowAlarmVal(s, ch) = 0;
        c.HighAlarmVal(s, ch) = high;
        c.PowerOnValueMode(s, ch) = 0;
        c.SafeValueMode(s, ch) = 0;
        po.CyclicSteps[ch] = 0;
        po.DutySteps[ch] = 0;
        po.OffsetTime[ch] = 0;
        po.RefTime[ch] = 0;
        po.PWMCount[ch] = 0;
    }
}

void ResetToDefault(NodeConfig& c, bool real) {
    ResetHeader(c, real);
    ResetNames(c);
    for (int s = 0; s < kSlotPositions; ++s) {
        ResetSlot(c, s);
        ResetChannels(c, s, real);
    }
    ResetControllerStatus(c);
}

// ---- Copies ----------------------------------------------------------------

void CopyHeader(const NodeConfig& from, NodeConfig& to) {
    to.ControllerPresent = from.ControllerPresent;
    to.Spare1 = from.Spare1;
    to.Spare2 = from.Spare2;
    to.Controller = from.Controller;
    to.NetID = from.NetID;
    to.McuFwVersion = from.McuFwVersion;
    to.SpareVersion1 = from.SpareVersion1;
    to.Spare3 = from.Spare3;
    to.SpareVersion2 = from.SpareVersion2;
    to.Spare4 = from.Spare4;
    to.McuVersion = from.McuVersion;
    to.McuLibVersion = from.McuLibVersion;
    to.TotalSlot = from.TotalSlot;
}

void CopyNames(const NodeConfig& from, NodeConfig& to) {
    for (int i = 0; i < kNamesTouched; ++i) {
        to.McuName[i] = from.McuName[i];
        to.PowerName[i] = from.PowerName[i];
    }
}

void CopyControllerStatus(const NodeConfig& from, NodeConfig& to) {
    to.McuStatus = from.McuStatus;
    to.OtherMcuStatus = from.OtherMcuStatus;
    to.CanStatus = from.CanStatus;
    to.PwmStatus = from.PwmStatus;
    to.LightFault = from.LightFault;
    to.HeavyFault = from.HeavyFault;
    to.DipSwitch = from.DipSwitch;
}

enum class SlotIdentity { Copy, Keep };  // Version and Spare8

// `from` and `to` may be the same record (slot to slot inside one copy).
void CopySlot(const NodeConfig& from, int fs, NodeConfig& to, int ts, SlotIdentity identity) {
    to.DIChannel[ts] = from.DIChannel[fs];
    to.DOChannel[ts] = from.DOChannel[fs];
    to.AIChannel[ts] = from.AIChannel[fs];
    to.AOChannel[ts] = from.AOChannel[fs];
    to.PIChannel[ts] = from.PIChannel[fs];
    to.POChannel[ts] = from.POChannel[fs];
    to.SlotPresent[ts] = from.SlotPresent[fs];
    to.DownloadPending[ts] = from.DownloadPending[fs];
    to.PredefModule[ts] = from.PredefModule[fs];
    to.Module[ts] = from.Module[fs];
    if (identity == SlotIdentity::Copy) {
        to.Version[ts] = from.Version[fs];
        to.Spare8[ts] = from.Spare8[fs];
    }
    to.DO_PowerONValue_Low[ts] = from.DO_PowerONValue_Low[fs];
    to.DO_PowerONValue_High[ts] = from.DO_PowerONValue_High[fs];
    to.DO_SafeValue_Low[ts] = from.DO_SafeValue_Low[fs];
    to.DO_SafeValue_High[ts] = from.DO_SafeValue_High[fs];
    to.RedundancyToSlot[ts] = from.RedundancyToSlot[fs];
    to.BreakLineFunc[ts] = from.BreakLineFunc[fs];
    to.CJCSetting[ts] = from.CJCSetting[fs];
    to.CJCValue[ts] = from.CJCValue[fs];
    to.AlarmMode[ts] = from.AlarmMode[fs];
    to.CHBreakLineMode[ts] = from.CHBreakLineMode[fs];
    to.AIDigitalFilterMode[ts] = from.AIDigitalFilterMode[fs];
    to.AIFilterModeHigh[ts] = from.AIFilterModeHigh[fs];
    to.MainsFrequency[ts] = from.MainsFrequency[fs];
    to.PI[ts] = from.PI[fs];
}

void CopyChannels(const NodeConfig& from, int fs, NodeConfig& to, int ts) {
    const POConfig& fpo = from.PO[fs];
    POConfig& tpo = to.PO[ts];
    for (int ch = 0; ch < kChannelLoop; ++ch) {
        to.PowerOnValue(ts, ch) = from.PowerOnValue(fs, ch);
        to.SafeValue(ts, ch) = from.SafeValue(fs, ch);
        to.RangeCode(ts, ch) = from.RangeCode(fs, ch);
        to.UserDefLRange(ts, ch) = from.UserDefLRange(fs, ch);
        to.UserDefHRange(ts, ch) = from.UserDefHRange(fs, ch);
        to.LowAlarmVal(ts, ch) = from.LowAlarmVal(fs, ch);
        to.HighAlarmVal(ts, ch) = from.HighAlarmVal(fs, ch);
        to.PowerOnValueMode(ts, ch) = from.PowerOnValueMode(fs, ch);
        to.SafeValueMode(ts, ch) = from.SafeValueMode(fs, ch);
        tpo.CyclicSteps[ch] = fpo.CyclicSteps[ch];
        tpo.DutySteps[ch] = fpo.DutySteps[ch];
        tpo.OffsetTime[ch] = fpo.OffsetTime[ch];
        tpo.RefTime[ch] = fpo.RefTime[ch];
        tpo.PWMCount[ch] = fpo.PWMCount[ch];
    }
}

void CopyWhole(const NodeConfig& from, NodeConfig& to, int slots) {
    CopyHeader(from, to);
    CopyNames(from, to);
    CopyControllerStatus(from, to);
    for (int s = 0; s < slots; ++s) {
        CopySlot(from, s, to, s, SlotIdentity::Copy);
        CopyChannels(from, s, to, s);
    }
}

void CopyOneSlot(const NodeConfig& from, NodeConfig& to, int s) {
    CopySlot(from, s, to, s, SlotIdentity::Copy);
    CopyChannels(from, s, to, s);
}

}  // namespace

void SetConfigRealToDefault(int16_t node) {
    CheckNode(node);
    ResetToDefault(ConfigReal[node], true);
}

void SetConfigSettingToDefault(int16_t node) {
    CheckNode(node);
    ResetToDefault(ConfigSetting[node], false);
}

void SetConfig_RealToSetting(int16_t node) {
    CheckNode(node);
    // The station's slots only: slot 8 of the edited copy keeps its values.
    CopyWhole(ConfigReal[node], ConfigSetting[node], kStationSlots);
}

void SetConfig_RealToSetting_OneSlot(int16_t node, int16_t slot) {
    CheckNode(node);
    CheckSlot(slot);
    CopyOneSlot(ConfigReal[node], ConfigSetting[node], slot);
}

void SetConfig_SettingToReal(int16_t node) {
    CheckNode(node);
    CopyWhole(ConfigSetting[node], ConfigReal[node], kSlotPositions);
}

void SetConfig_SettingToReal_OneSlot(int16_t node, int16_t slot) {
    CheckNode(node);
    CheckSlot(slot);
    CopyOneSlot(ConfigSetting[node], ConfigReal[node], slot);
}

void CopySlotSetting(int16_t node, int16_t sourceSlot, int16_t destSlot) {
    CheckNode(node);
    CheckSlot(sourceSlot);
    CheckSlot(destSlot);
    NodeConfig& c = ConfigSetting[node];
    // Each module keeps its own firmware version and reserved word.
    CopySlot(c, sourceSlot, c, destSlot, SlotIdentity::Keep);
    CopyChannels(c, sourceSlot, c, destSlot);
}
