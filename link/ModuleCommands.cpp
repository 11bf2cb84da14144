#include "link/ModuleCommands.h"

#include <algorithm>
#include <iterator>

#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LinkLog.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "platform/WinsockControl.h"
#include "platform/diag.h"
#include "platform/runtime.h"

namespace nxlink {

namespace {

NodeConfig& Setting(int16_t node) { return ConfigSetting[node]; }

uint16_t SlotWord(int slot) {
    PerSlot<int16_t>::Check(slot);
    return static_cast<uint16_t>(slot);
}

ModuleCommand Fixed(uint16_t code, int slot, std::vector<uint16_t> data, std::string text) {
    return ModuleCommand{code, SlotWord(slot), std::move(data), std::move(text)};
}

// A list command: [0, N, then one word or one pair of words per channel].
template <class Words>
ModuleCommand List(uint16_t code, int slot, int n, std::string text, Words wordsOf) {
    if (n < 0 || n > kChannelPositions) rt::Raise(rt::ErrSubscriptOutOfRange);
    std::vector<uint16_t> data{0, static_cast<uint16_t>(n)};
    for (int c = 0; c < n; ++c) {
        for (uint16_t w : wordsOf(c)) data.push_back(w);
    }
    return ModuleCommand{code, SlotWord(slot), std::move(data), std::move(text)};
}

using One = std::array<uint16_t, 1>;
using Pair = std::array<uint16_t, 2>;

bool IsModel(const std::string& model, const char* name) { return model == name; }

}  // namespace

std::vector<uint16_t> ModuleCommand::Registers() const {
    std::vector<uint16_t> r{Code, Slot};
    r.insert(r.end(), Data.begin(), Data.end());
    return r;
}

std::array<uint16_t, 2> BreakLineWords(int32_t mode) {
    const auto bits = static_cast<uint32_t>(mode);
    return {static_cast<uint16_t>((bits >> 16) & 0xFF), static_cast<uint16_t>(bits & 0xFFFF)};
}

std::array<uint16_t, 2> DoubleWords(double v) {
    const int32_t whole = rt::CLng(v);
    return {HighWord(whole), LowWord(whole)};
}

ModuleCommand NmtCommand(int slot, uint16_t target) {
    return Fixed(CmdNmt, slot, {target},
                 target == NmtToPreOp ? " NMT to PreOp-Mode" : " NMT to OP-Mode");
}

ModuleCommand RedundancyModeCommand(int16_t node, int slot) {
    return Fixed(CmdRedundancyMode, slot, {IntegerWord(Setting(node).RedundancyToSlot(slot))},
                 " redundancy status");
}

ModuleCommand LineDetectCommand(int16_t node, int slot) {
    return Fixed(CmdLineDetect, slot, {IntegerWord(Setting(node).BreakLineFunc(slot))},
                 " terminal line detect function OK!");
}

ModuleCommand DoPowerOnSafeCommand(int16_t node, int slot) {
    const NodeConfig& n = Setting(node);
    return Fixed(
        CmdDoPowerOnSafe, slot,
        {LongLowWord(n.DO_PowerONValue_High(slot)), LongLowWord(n.DO_PowerONValue_Low(slot)),
         LongLowWord(n.DO_SafeValue_High(slot)), LongLowWord(n.DO_SafeValue_Low(slot))},
        " DO power on and safe value OK!");
}

ModuleCommand DoFaultModeCommand(int16_t node, int slot) {
    const NodeConfig& n = Setting(node);
    return Fixed(CmdDoFaultMode, slot,
                 {PackBytes(n.PowerOnValueMode(slot, 0), n.SafeValueMode(slot, 0))},
                 " DO fault mode OK!");
}

ModuleCommand AoPowerOnCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdAoPowerOn, slot, n, " AO power on value OK!",
                [&](int c) { return One{IntegerWord(r.PowerOnValue(slot, c))}; });
}

ModuleCommand AoSafeCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdAoSafe, slot, n, " AO safe value OK!",
                [&](int c) { return One{IntegerWord(r.SafeValue(slot, c))}; });
}

ModuleCommand AoFaultModeCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdAoFaultMode, slot, n, " AO fault mode OK!", [&](int c) {
        return One{PackBytes(r.PowerOnValueMode(slot, c), r.SafeValueMode(slot, c))};
    });
}

ModuleCommand RangeCodeCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdRangeCode, slot, n, " Range Code OK!",
                [&](int c) { return One{IntegerWord(r.RangeCode(slot, c))}; });
}

ModuleCommand ScaleLowHighCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdScaleLowHigh, slot, n, " scale low/high value OK!", [&](int c) {
        return Pair{IntegerWord(r.UserDefLRange(slot, c)), IntegerWord(r.UserDefHRange(slot, c))};
    });
}

ModuleCommand AlarmLowHighCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdAlarmLowHigh, slot, n, " alarm low/high value OK!", [&](int c) {
        return Pair{IntegerWord(r.LowAlarmVal(slot, c)), IntegerWord(r.HighAlarmVal(slot, c))};
    });
}

ModuleCommand AlarmEnableCommand(int16_t node, int slot) {
    return Fixed(CmdAlarmEnable, slot, {LongLowWord(Setting(node).AlarmMode(slot))},
                 " alarm enable/disable mode OK!");
}

ModuleCommand CjcModeCommand(int16_t node, int slot) {
    const NodeConfig& n = Setting(node);
    return Fixed(CmdCjcMode, slot, {IntegerWord(n.CJCSetting(slot)), IntegerWord(n.CJCValue(slot))},
                 " CJC enable/disable mode OK!");
}

ModuleCommand BreakLineCommand(int16_t node, int slot, BreakLineOf of) {
    const auto w = BreakLineWords(Setting(node).CHBreakLineMode(slot));
    return Fixed(CmdBreakLine, slot, {w[0], w[1]},
                 of == BreakLineOf::OutputModule ? " Channel breakline detected function OK!"
                                                 : " channel breakline detected function OK!");
}

ModuleCommand AiFilterModeCommand(int16_t node, int slot) {
    const NodeConfig& n = Setting(node);
    return Fixed(CmdAiFilterMode, slot,
                 {IntegerWord(n.AIDigitalFilterMode(slot)), IntegerWord(n.AIFilterModeHigh(slot)),
                  IntegerWord(n.MainsFrequency(slot))},
                 " AI filter mode OK!");
}

namespace {

ModuleCommand FilterModeOrWithheld(int16_t node, int slot) {
    ModuleCommand command = AiFilterModeCommand(node, slot);
    const int16_t hz = Setting(node).MainsFrequency(slot);
    if (std::find(std::begin(kMainsFrequencies), std::end(kMainsFrequencies), hz) ==
        std::end(kMainsFrequencies)) {
        command.Withheld = true;
        command.Text = " AI filter mode not sent: mains frequency unknown, Upload first";
    }
    return command;
}

}  // namespace

ModuleCommand PiFilterIntervalCommand(int16_t node, int slot) {
    const auto w = DoubleWords(Setting(node).PI(slot).FilterInterval);
    return Fixed(CmdPiFilterInterval, slot, {w[0], w[1]}, " PI filter interval OK!");
}

ModuleCommand PiFilterConfigCommand(int16_t node, int slot) {
    const PIConfig& pi = Setting(node).PI(slot);
    return Fixed(CmdPiFilterConfig, slot, {pi.LPFMode, 0, LongLowWord(pi.EdgeTrig)},
                 " PI filter configuration OK!");
}

ModuleCommand PiImpedanceLimitCommand(int16_t node, int slot) {
    const auto w = DoubleWords(Setting(node).PI(slot).Impendance);
    return Fixed(CmdPiImpedanceLimit, slot, {w[0], w[1]},
                 " PI filter impendance and counter limit OK!");
}

ModuleCommand PoReferenceTimeCommand(int16_t node, int slot, int n) {
    const POConfig& po = Setting(node).PO(slot);
    return List(CmdPoReferenceTime, slot, n, " Reference Time OK!",
                [&](int c) { return One{IntegerWord(po.RefTime(c))}; });
}

ModuleCommand PoOffsetTimeCommand(int16_t node, int slot, int n) {
    const POConfig& po = Setting(node).PO(slot);
    return List(CmdPoOffsetTime, slot, n, " Offset Time OK!", [&](int c) {
        return Pair{LongLowWord(po.OffsetTime(c)), IntegerWord(po.PWMCount(c))};
    });
}

ModuleCommand PoCycleDutyCommand(int16_t node, int slot, int n) {
    const POConfig& po = Setting(node).PO(slot);
    return List(CmdPoCycleDuty, slot, n, " Cyclic Steps and Duty Steps OK!", [&](int c) {
        return Pair{IntegerWord(po.CyclicSteps(c)), IntegerWord(po.DutySteps(c))};
    });
}

ModuleCommand PoFaultModeCommand(int16_t node, int slot, int n) {
    const NodeConfig& r = Setting(node);
    return List(CmdPoFaultMode, slot, n, " PO fault mode OK!",
                [&](int c) { return One{r.SafeValueMode(slot, c)}; });
}

int ListChannelCount(int16_t node, int slot) {
    const NodeConfig& n = Setting(node);
    const std::string& model = n.Module(slot);
    int count = 0;
    switch (GetModuleFamily(model)) {
        case ModuleFamily::AIFamily:
        case ModuleFamily::TCFamily:
        case ModuleFamily::ScaledAIFamily:
        case ModuleFamily::RTDFamily:
            count = n.AIChannel(slot);
            break;
        case ModuleFamily::AOFamily:
            count = n.AOChannel(slot);
            break;
        case ModuleFamily::PIFamily:
            count = n.PIChannel(slot);
            break;
        case ModuleFamily::POFamily:
            count = n.POChannel(slot);
            break;
        default:
            return 0;
    }
    if (count < 0 || count > kChannelPositions) rt::Raise(rt::ErrSubscriptOutOfRange);
    return count;
}

std::vector<ModuleCommand> FamilyBlock(int16_t node, int slot) {
    const NodeConfig& set = Setting(node);
    const std::string model = set.Module(slot);
    const ModuleFamily family = GetModuleFamily(model);
    std::vector<ModuleCommand> block;

    if (family == ModuleFamily::DOFamily) {
        block.push_back(DoPowerOnSafeCommand(node, slot));
        block.push_back(DoFaultModeCommand(node, slot));
    } else if (IsAnalogGroup(model)) {
        const int n = ListChannelCount(node, slot);
        const bool sensor = IsSensorGroup(model);
        if (IsRangeSelectableAO(model)) {
            block.push_back(RangeCodeCommand(node, slot, n));
            block.push_back(BreakLineCommand(node, slot, BreakLineOf::OutputModule));
        } else if (sensor) {
            block.push_back(RangeCodeCommand(node, slot, n));
            block.push_back(ScaleLowHighCommand(node, slot, n));
        }
        block.push_back(AlarmLowHighCommand(node, slot, n));
        block.push_back(AlarmEnableCommand(node, slot));
        if (sensor) {
            if (family == ModuleFamily::TCFamily) block.push_back(CjcModeCommand(node, slot));
            block.push_back(BreakLineCommand(node, slot, BreakLineOf::SensorModule));
            if ((IsModel(model, "KA-340") || IsModel(model, "KB-540")) &&
                set.McuVersion >= kAiFilterModeFromMcuVersion)
                block.push_back(FilterModeOrWithheld(node, slot));
        } else if (family == ModuleFamily::AOFamily) {
            block.push_back(AoPowerOnCommand(node, slot, n));
            block.push_back(AoSafeCommand(node, slot, n));
            block.push_back(AoFaultModeCommand(node, slot, n));
            if (IsModel(model, "KA-352") || IsModel(model, "KB-551"))
                block.push_back(BreakLineCommand(node, slot, BreakLineOf::OutputModule));
        }
    } else if (family == ModuleFamily::PIFamily) {
        const int n = ListChannelCount(node, slot);
        block.push_back(RangeCodeCommand(node, slot, n));
        block.push_back(PiFilterIntervalCommand(node, slot));
        block.push_back(PiFilterConfigCommand(node, slot));
        block.push_back(PiImpedanceLimitCommand(node, slot));
    } else if (family == ModuleFamily::POFamily) {
        const int n = ListChannelCount(node, slot);
        block.push_back(RangeCodeCommand(node, slot, n));
        block.push_back(PoReferenceTimeCommand(node, slot, n));
        block.push_back(PoOffsetTimeCommand(node, slot, n));
        block.push_back(PoCycleDutyCommand(node, slot, n));
        block.push_back(PoFaultModeCommand(node, slot, n));
    }
    return block;
}

std::vector<ModuleCommand> SlotSeries(int16_t node, int slot) {
    std::vector<ModuleCommand> series;
    series.push_back(NmtCommand(slot, NmtToPreOp));
    series.push_back(RedundancyModeCommand(node, slot));
    series.push_back(LineDetectCommand(node, slot));
    for (ModuleCommand& c : FamilyBlock(node, slot)) series.push_back(std::move(c));
    series.push_back(NmtCommand(slot, NmtToOp));
    return series;
}

ModbusFrame BuildModuleCommandFrame(uint8_t unitId, const ModuleCommand& command) {
    const std::vector<uint16_t> regs = command.Registers();
    return BuildWriteMultipleRegisters(unitId, RegIomCommand.Start, regs);
}

std::optional<ModuleCommand> RedundancySwitchFor(int16_t node, int slot) {
    const NodeConfig& real = ConfigReal[node];
    if (slot < 0 || slot >= kStationSlots) rt::Raise(rt::ErrSubscriptOutOfRange);
    const int partner = slot % 2 == 1 ? slot - 1 : slot + 1;
    constexpr int16_t kOperation = 32;
    if (real.NMTState(slot) != kOperation || real.NMTState(partner) != kOperation) return {};
    if (real.RedundancyToSlot(slot) != 1 || real.RedundancyToSlot(partner) != 1) return {};
    const int target = real.DuplexStatus(slot) == 5 ? partner : slot;
    return Fixed(CmdRedundancySwitch, target, {DuplexRoleMaster}, "");
}

ModuleCommand PiCounterClearCommand(int slot, int channel) {
    if (channel < 0 || channel > 15) rt::Raise(rt::ErrOverflow);
    return Fixed(CmdPiCounterClear, slot, {static_cast<uint16_t>(1u << channel)}, "");
}

bool SendModuleCommandNoWait(const ModuleCommand& command) {
    rt::WinsockControl& ws = WskTCP502();
    if (ws.State() != rt::sckConnected) return false;
    try {
        SendModbusRequest(ws,
                          BuildModuleCommandFrame(UnitIdFromNetId(ConfigReal[0].NetID), command));
    } catch (const rt::RuntimeError& e) {
        // A Net ID that is no unit id, or a send that failed: the caller
        // reports the failed command.
        rt::LogIgnoredError(lcLinkState(), e);
        return false;
    }
    return true;
}

}  // namespace nxlink
