#include "link/Upload.h"

#include <exception>

#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LinkWindow.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace nxlink {

namespace {

const char* const kInitialError = "Read Initial configuration Error!!!";

constexpr int kPwmCounterFromMcuVersion = 201;
constexpr int kAiFilterFromMcuVersion = 301;
// Index of the predefined-module read, after which the channel counts are set.
constexpr size_t kPredefinedIdsRead = 4;

uint16_t CheckedCount(int count) {
    if (count < 0 || count > kChannelPositions) rt::Raise(rt::ErrSubscriptOutOfRange);
    return static_cast<uint16_t>(count);
}

// One read: the key is its start address in decimal.
ReplyOutcome Read(rt::WinsockControl& ws, uint8_t unitId, uint16_t start, uint16_t quantity) {
    const ModbusFrame frame = BuildReadRequest(unitId, FcReadInputRegisters, start, quantity);
    return SendRequestAndWait(ws, KeyConfigRead(start), frame, CommandReplyTimeoutMs);
}

// A failed read: the line, then "Response Timeout" or "Receive Error
// Messages"; neither for a key that names no outcome.
void ReportReadFailure(ReplyOutcome outcome, const std::string& line) {
    if (outcome != ReplyOutcome::TimedOut && outcome != ReplyOutcome::Refused) return;
    TheLinkWindow().ReportStatus(line);
    rt::MsgBox(OutcomeText(outcome), rt::vbCritical, "Message");
}

void RunUpload(rt::WinsockControl& ws, int16_t& node) {
    LinkWindow& w = TheLinkWindow();
    NodeConfig& real = ConfigReal[node];
    const uint8_t unitId = UnitIdFromNetId(real.NetID);

    const std::vector<UploadRead>& controller = ControllerLevelReads();
    for (size_t i = 0; i < controller.size(); ++i) {
        const UploadRead& r = controller[i];
        const ReplyOutcome outcome = Read(ws, unitId, r.Start, r.Quantity);
        if (outcome != ReplyOutcome::Done) {
            ReportReadFailure(outcome, kInitialError);
            for (int s = 0; s < kStationSlots; ++s) real.SlotPresent(s) = kFalse;
            return;
        }
        w.ReportStatus(r.Line);
        if (i == kPredefinedIdsRead) SetChannelCountsByModel(node);
    }

    for (int s = 0; s < kStationSlots; ++s) {
        if (real.SlotPresent(s) != kTrue) continue;
        for (const UploadRead& r : SlotReads(node, s)) {
            const ReplyOutcome outcome = Read(ws, unitId, r.Start, r.Quantity);
            if (outcome != ReplyOutcome::Done) {
                ReportReadFailure(outcome,
                                  "Read IOM" + std::to_string(s) + " configuration Error!!!");
                real.SlotPresent(s) = kFalse;
                break;
            }
            w.ReportStatus("Read IOM " + std::to_string(s) + r.Line);
        }
    }
    w.ReportStatus("Upload data from NX-4410 finished.");
}

}  // namespace

const std::vector<UploadRead>& ControllerLevelReads() {
    static const std::vector<UploadRead> reads{
        {RegCfgVersions.Start, 2, "Read MCU & CAN Library version OK!"},
        {RegCfgMcuName.Start, 2, "Read MCU name OK!"},
        {RegCfgPwmName.Start, 2, "Read PWM name OK!"},
        {RegCfgRealModuleId.Start, 8, "Read real ID of all IOM OK!"},
        {RegCfgPredefModuleId.Start, 8, "Read predefined ID of all IOM OK!"},
        {RegCfgFwVersion.Start, 8, "Read all IOM firmware version OK!"},
        {RegCfgNmtState.Start, 8, "Read all IOM NMT status OK!"},
        {RegCfgRedundancy.Start, 8, "Read all IOM redundancy status OK!"},
        {RegCfgLineDropOff.Start, 8, "Read all IOM terminal line drop off detected function OK!"},
    };
    return reads;
}

std::vector<UploadRead> SlotReads(int16_t node, int slot) {
    const NodeConfig& real = ConfigReal[node];
    const std::string model = real.Module(slot);
    const ModuleFamily family = GetModuleFamily(model);
    std::vector<UploadRead> reads;
    auto add = [&](const RegisterBlock& block, uint16_t quantity, const char* line) {
        reads.push_back({SlotBlockStart(block, slot), quantity, line});
    };

    if (family == ModuleFamily::DOFamily) {
        add(RegCfgDoPowerOn, 2, " DO power on value OK!");
        add(RegCfgDoSafe, 2, " DO safe on value OK!");
        add(RegCfgDoFaultMode, 1, " DO fault mode OK!");
    } else if (IsAnalogGroup(model)) {
        const uint16_t n = CheckedCount(family == ModuleFamily::AOFamily ? real.AOChannel(slot)
                                                                         : real.AIChannel(slot));
        add(RegCfgRangeCode, n, " Range Code OK!");
        add(RegCfgScaleLow, n, " low scaling limit OK!");
        add(RegCfgScaleHigh, n, " high scaling limit OK!");
        add(RegCfgAlarmLow, n, " low alarm limit OK!");
        add(RegCfgAlarmHigh, n, " high alarm limit OK!");
        add(RegCfgAlarmEnable, 1, " alarm enable/disable mode OK!");
        if (family == ModuleFamily::TCFamily) {
            add(RegCfgCjc, 2, " CJC setting OK!");
            if ((model == "KA-340" || model == "KB-540") &&
                real.McuVersion >= kAiFilterFromMcuVersion)
                add(RegCfgAiFilterMode, 2, " AI filter mode OK!");
            add(RegCfgBreakLine, 2, " CH breakline/redundancy function OK!");
        } else if (family == ModuleFamily::RTDFamily) {
            add(RegCfgBreakLine, 2, " CH breakline/redundancy function OK!");
        } else if (family == ModuleFamily::AOFamily) {
            add(RegCfgAoPowerOn, n, " AO power on value OK!");
            add(RegCfgAoSafe, n, " AO safe value OK!");
            add(RegCfgAoFaultMode, n, " AO fault mode OK!");
            add(RegCfgBreakLine, 2, " CH breakline function OK!");
        }
    } else if (family == ModuleFamily::PIFamily) {
        add(RegCfgRangeCode, CheckedCount(real.PIChannel(slot)), " PI Range Code OK!");
        add(RegCfgPiConfig, 6, " PI all configuration OK!");
    } else if (family == ModuleFamily::POFamily) {
        const uint16_t p = CheckedCount(real.POChannel(slot));
        add(RegCfgRangeCode, p, " PO Range Code OK!");
        add(RegCfgPoReferenceTime, p, " PO Output Referemnce Time OK!");
        add(RegCfgPoOffsetTime, p, " PO Offset Time OK!");
        add(RegCfgPoCyclicSteps, p, " PO Cyclic Steps OK!");
        add(RegCfgPoDutySteps, p, " PO Duty Steps OK!");
        add(RegCfgPoFaultMode, p, " PO fault mode OK!");
        if (real.McuVersion >= kPwmCounterFromMcuVersion)
            add(RegCfgPoPwmCounter, p, " PO PWM Counter OK!");
    }
    return reads;
}

void UploadConfiguration(int16_t& node) {
    if (TransferInProgress()) return;
    TransferGuard owned;
    LinkWindow& w = TheLinkWindow();
    rt::WinsockControl& ws = WskTCP502();

    try {
        if (ws.State() != rt::sckConnected) {
            rt::MsgBox(kFailConnect, rt::vbOKOnly, "Error");
            w.ReportStatus(kFailConnect);
        } else {
            RunUpload(ws, node);
        }
    } catch (const rt::RuntimeError& e) {
        w.ReportStatus(kInitialError);
        rt::MsgBox("Critical Error: " + e.Description(), rt::vbCritical, "Message");
    } catch (const std::exception& e) {
        w.ReportStatus(kInitialError);
        rt::MsgBox(std::string("Critical Error: ") + e.what(), rt::vbCritical, "Message");
    }
}

}  // namespace nxlink
