// The live monitor: Timer1 polls the station one step per tick and writes
// what the replies left in the live-value arrays and in ConfigReal into the
// value column of the mapping tables and into the two summaries. The replies
// themselves are parsed by the link's reply dispatcher.
#include <algorithm>
#include <cctype>
#include <optional>

#include "config/Conversions.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LiveValues.h"
#include "link/ModbusFrame.h"
#include "link/PendingRequest.h"
#include "link/RegisterMap.h"
#include "mainwindow/MappingTables.h"
#include "mainwindow/frmMain.h"
#include "platform/EventWait.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace {

constexpr int kValueColumn = 4;
constexpr int kCommentColumn = 5;

// Toolbar button 6 ("Monitor") and its pictures while off and on.
constexpr int kMonitorButton = 6;
constexpr int kImageMonitorOff = 9;
constexpr int kImageMonitorOn = 10;

// Steps 0 to 5: the image each one reads and the table it refreshes.
struct ImageStep {
    mapping::Kind kind;
    const RegisterBlock* block;
};
constexpr ImageStep kImageSteps[] = {
    {mapping::Kind::DI, &RegDiImage}, {mapping::Kind::DO, &RegDoImage},
    {mapping::Kind::AI, &RegAiImage}, {mapping::Kind::AO, &RegAoImage},
    {mapping::Kind::PI, &RegPiImage}, {mapping::Kind::PO, &RegPoImage},
};
constexpr int16_t kStatusStep = 6;
constexpr int16_t kIdleStep = 7;

int16_t ChannelCount(const NodeConfig& n, mapping::Kind kind, int slot) {
    switch (kind) {
        case mapping::Kind::DI:
            return n.DIChannel[slot];
        case mapping::Kind::DO:
            return n.DOChannel[slot];
        case mapping::Kind::AI:
            return n.AIChannel[slot];
        case mapping::Kind::AO:
            return n.AOChannel[slot];
        case mapping::Kind::PI:
            return n.PIChannel[slot];
        case mapping::Kind::PO:
            return n.POChannel[slot];
    }
    return 0;
}

// "0x" and the value in upper-case hexadecimal, zero-padded to `width`
// digits; a longer value keeps all its digits.
std::string HexText(const std::string& digits, size_t width) {
    return "0x" + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}
std::string Hex16(int16_t v, size_t width) { return HexText(rt::HexInt(v), width); }
std::string Hex32(int32_t v) { return HexText(rt::Hex(v), 8); }

std::string NmtText(int16_t state) {
    switch (state) {
        case 1:
            return "EMPTY";
        case 2:
            return "HALT";
        case 4:
            return "BOOTUP_OK";
        case 8:
            return "FW_UPDATE";
        case 16:
            return "PREOPERATION";
        case 32:
            return "OPERATION";
        case 64:
            return "STOP";
        default:
            return "ERROR";
    }
}

std::string RedundancyModeText(int16_t mode) {
    switch (mode) {
        case 0:
            return "SINGLE";
        case 1:
            return "DUPLEX";
        default:
            return "ERROR";
    }
}

std::string DuplexStatusText(int16_t status) {
    switch (status & 0xFF) {
        case 0:
            return "INITIAL";
        case 1:
        case 5:
            return "MASTER";
        case 2:
            return "SLAVE";
        default:
            return "ERROR";
    }
}

std::string McuStatusText(int16_t status) {
    switch (status) {
        case 32:
            return "Master MCU";
        case 33:
            return "Slave MCU";
        default:
            return "ERROR";
    }
}

std::string OtherMcuText(int16_t status) {
    switch (status) {
        case 0:
            return "NO MCU";
        case 1:
            return "MCU Timeout";
        case 2:
            return "MCU Undefine";
        case 16:
            return "MCU LIVE";
        default:
            return "ERROR";
    }
}

// The value text of channel c of slot s in its mapping row.
std::string ValueText(mapping::Kind kind, const NodeConfig& n, int s, int c, int address,
                      const ui::ListItem& row) {
    switch (kind) {
        case mapping::Kind::DI:
            return DIValue(address) ? "ON" : "OFF";
        case mapping::Kind::DO:
            return DOValue(address) ? "ON" : "OFF";
        case mapping::Kind::AI:
            return ConverBitDec2Value(AIValue(address),
                                      mapping::RangeCodeOfRow(row.SubItem(kCommentColumn)),
                                      n.UserDefLRange(s, c), n.UserDefHRange(s, c));
        case mapping::Kind::AO:
            return ConverBitDec2Value(AOValue(address),
                                      mapping::RangeCodeOfRow(row.SubItem(kCommentColumn)), 0, 0);
        case mapping::Kind::PI:
            return std::to_string(PIValue(s * 16 + c));
        case mapping::Kind::PO:
            return "0x" + rt::Hex(POValue(s * 16 + c));
    }
    return "";
}

// Rewrites the value column of one mapping table: every channel of every
// present slot, found by its address text. A row that is not there is
// skipped. The digital-output refresh lets pending events run after each
// row; they may rebuild the tables (Disconnect), so nothing is held across.
void RefreshMapping(ui::ListView& list, mapping::Kind kind) {
    const bool letEventsRun = kind == mapping::Kind::DO;
    for (int s = 0; s < kStationSlots; ++s) {
        if (ConfigReal[0].SlotPresent[s] != kTrue) continue;
        const int count =
            std::clamp<int>(ChannelCount(ConfigReal[0], kind, s), 0, mapping::AddressWindow(kind));
        for (int c = 0; c < count; ++c) {
            const int address = mapping::ChannelAddress(kind, s, c);
            if (std::optional<ui::ListItem> row = list.FindItem(mapping::AddressText(address)))
                row->SetSubItem(kValueColumn, ValueText(kind, ConfigReal[0], s, c, address, *row));
            if (letEventsRun) rt::DoEvents();
        }
    }
}

// The mapping table of image step 0 to 5.
ui::ListView& StepList(frmMain& w, int step) {
    ui::ListView* const lists[] = {&w.lvwDIMapping, &w.lvwDOMapping, &w.lvwAIMapping,
                                   &w.lvwAOMapping, &w.lvwPIMapping, &w.lvwPOMapping};
    return *lists[step];
}

// A whole number typed into a box: blanks around it, an optional sign and
// digits only.
std::optional<long> WholeNumber(const std::string& text) {
    const std::string t = rt::Trim(text);
    size_t i = t.empty() || (t[0] != '-' && t[0] != '+') ? 0 : 1;
    if (i == t.size() || t.size() - i > 9) return std::nullopt;
    for (size_t j = i; j < t.size(); ++j)
        if (!std::isdigit(static_cast<unsigned char>(t[j]))) return std::nullopt;
    const long v = std::stol(t.substr(i));
    return t[0] == '-' ? -v : v;
}

}  // namespace

// ---- Tick ---------------------------------------------------------------------

void frmMain::Timer1_Timer() {
    if (tickRunning_) return;
    // The link is tested first: a lost connection is found by the first tick
    // after it, whatever was outstanding on it.
    if (WskTCP502.State() != rt::sckConnected) {
        Timer1.SetEnabled(false);
        mnuDisconnect_Click();
        return;
    }
    // A tick never comes between another routine and its reply, nor sends
    // while a request is outstanding or waits at the gate: one that fires
    // then is dropped, and the next one comes.
    if (nxlink::ModbusLinkBusy()) return;
    Timer1.SetEnabled(false);
    const unsigned switchOffsBefore = monitorSwitchOffs_;
    tickRunning_ = true;
    try {
        const bool linkUp = PollRequest();
        // The link dropped inside a wait: the one way offline, unless
        // something (Disconnect, the watchdog) switched the monitor off
        // meanwhile.
        if (!linkUp) {
            tickRunning_ = false;
            if (monitorSwitchOffs_ == switchOffsBefore) mnuDisconnect_Click();
            return;
        }
        PollRefresh();
    } catch (const std::exception& e) {
        tickRunning_ = false;
        const auto* runtime = dynamic_cast<const rt::RuntimeError*>(&e);
        rt::MsgBox(runtime ? runtime->Description() : e.what(), rt::vbOKOnly, "");
        // The menu command switches a monitor that is on off. A monitor
        // that something switched off during this tick stays off.
        if (monitorSwitchOffs_ == switchOffsBefore) mnuTimerEnable_Click();
        return;
    }
    tickRunning_ = false;
    // The menu, Disconnect or the watchdog (inside the waits) may have
    // switched the monitor off; then it stays off.
    if (monitorSwitchOffs_ == switchOffsBefore) Timer1.SetEnabled(true);
}

bool frmMain::PollRequest() {
    const auto send = [this](const RegisterBlock& b) {
        return BuildReadRequest(UnitIdFromNetId(ConfigReal[0].NetID), b.Function, b.Start,
                                b.Quantity);
    };
    const auto connected = [this] { return WskTCP502.State() == rt::sckConnected; };
    if (PollStep >= 0 && PollStep < kStatusStep) {
        const RegisterBlock& block = *kImageSteps[PollStep].block;
        if (StepList(*this, PollStep).ListItemCount() == 0) return true;
        SendKeyedRequest(WskTCP502, block.Key, send(block));
    } else if (PollStep == kStatusStep) {
        if (lvwIOMSummary.ListItemCount() > 0) {
            SendRequestAndWait(WskTCP502, RegIomStatus.Key, send(RegIomStatus),
                               StatusReplyTimeoutMs, nxlink::RequestRole::Polled);
            if (!connected()) return false;
        }
        mcuStatusDeferred_ = false;
        if (lvwMCUSummary.ListItemCount() > 0) {
            // A station slower than the wait still owes the module status:
            // the controller status goes out with the next step, so that
            // one request is in flight and each reply is taken as its own.
            if (nxlink::ModbusGateBusy(WskTCP502)) {
                mcuStatusDeferred_ = true;
                return true;
            }
            SendRequestAndWait(WskTCP502, RegMcuStatus.Key, send(RegMcuStatus),
                               StatusReplyTimeoutMs, nxlink::RequestRole::Polled);
            if (!connected()) return false;
        }
    } else if (PollStep == kIdleStep && mcuStatusDeferred_) {
        mcuStatusDeferred_ = false;
        if (lvwMCUSummary.ListItemCount() == 0) return true;
        SendRequestAndWait(WskTCP502, RegMcuStatus.Key, send(RegMcuStatus), StatusReplyTimeoutMs,
                           nxlink::RequestRole::Polled);
        if (!connected()) return false;
        mcuStatusSentInIdleStep_ = true;
    }
    return true;
}

void frmMain::PollRefresh() {
    if (PollStep >= 0 && PollStep < kStatusStep) {
        RefreshMapping(StepList(*this, PollStep), kImageSteps[PollStep].kind);
        ++PollStep;
        return;
    }
    if (PollStep != kStatusStep) {
        if (mcuStatusSentInIdleStep_) RefreshMcuSummary();
        mcuStatusSentInIdleStep_ = false;
        PollStep = 0;
        return;
    }
    const NodeConfig& n = ConfigReal[0];
    for (int s = 0; s < kStationSlots; ++s) {
        if (n.SlotPresent[s] != kTrue) continue;
        std::optional<ui::ListItem> row = lvwIOMSummary.FindItem(mapping::SlotText(s));
        if (!row) continue;
        const std::string texts[] = {NmtText(n.NMTState[s]),
                                     RedundancyModeText(n.RedundancyToSlot[s]),
                                     DuplexStatusText(n.DuplexStatus[s]),
                                     Hex32(n.LightEmcy[s]),
                                     Hex32(n.HeavyEmcy[s]),
                                     Hex16(n.UnderLowLimit[s], 4),
                                     Hex16(n.UnderLowLowLimit[s], 4),
                                     Hex16(n.ExceedHighLimit[s], 4),
                                     Hex16(n.ExceedHighHighLimit[s], 4),
                                     Hex32(n.ChBrokenStatus[s])};
        for (int i = 0; i < static_cast<int>(std::size(texts)); ++i)
            row->SetSubItem(3 + i, texts[i]);
    }
    RefreshMcuSummary();
    PollStep = kIdleStep;
}

void frmMain::RefreshMcuSummary() {
    if (lvwMCUSummary.ListItemCount() == 0) return;
    const NodeConfig& n = ConfigReal[0];
    ui::ListItem mcu = lvwMCUSummary.ListItems(1);
    const std::string texts[] = {McuStatusText(n.McuStatus), OtherMcuText(n.OtherMcuStatus),
                                 Hex16(n.CanStatus, 2),      Hex16(n.PwmStatus, 2),
                                 Hex16(n.DipSwitch, 2),      Hex32(n.LightFault),
                                 Hex32(n.HeavyFault)};
    for (int i = 0; i < static_cast<int>(std::size(texts)); ++i) mcu.SetSubItem(3 + i, texts[i]);
}

// ---- Switch and interval ---------------------------------------------------------

void frmMain::mnuTimerEnable_Click() {
    Timer1.SetInterval(MonitorTimerInterval);
    ui::ToolbarButton& button = Toolbar.Buttons(kMonitorButton);
    if (mnuTimerEnable.Checked()) {
        mnuTimerEnable.SetChecked(false);
        button.SetImage(kImageMonitorOff);
        button.ButtonMenus(1).SetText("Enable");
        Timer1.SetEnabled(false);
        MonitorSwitchedOff();
        return;
    }
    if (WskTCP502.State() != rt::sckConnected) return;
    mnuTimerEnable.SetChecked(true);
    button.SetImage(kImageMonitorOn);
    button.ButtonMenus(1).SetText("Disable");
    Timer1.SetEnabled(true);
}

void frmMain::mnuTimerInterval_Click() {
    const std::string prompt = "Please Input Timer Interval by ms (500 ~ 32767)\r\nInterval = " +
                               std::to_string(MonitorTimerInterval * 5) + " ms";
    const std::optional<std::string> answer = rt::TheDialogs().InputBox(prompt, "", "");
    if (!answer || answer->empty()) return;
    const std::optional<long> ms = WholeNumber(*answer);
    if (!ms || *ms > 32767 || *ms < -32768) {
        rt::MsgBox("Input Error", rt::vbOKOnly, "");
        return;
    }
    if (*ms < 500) {
        rt::MsgBox("Input data error", rt::vbOKOnly, "");
        return;
    }
    MonitorTimerInterval = static_cast<int16_t>(*ms / 5);
    mnuTimerEnable.SetChecked(true);
    Timer1.SetInterval(MonitorTimerInterval);
    Timer1.SetEnabled(true);
    Toolbar.Buttons(kMonitorButton).SetImage(kImageMonitorOn);
    // The trend window samples at the monitor's tick; it is loaded for
    // that, not shown.
    ScopeWindow().Timer1.SetInterval(MonitorTimerInterval);
}
