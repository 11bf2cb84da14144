// The mapping and summary tables: their rows from the read configuration,
// and the output writes and module commands a double-click on a row sends.
#include <cctype>
#include <optional>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "link/LiveValues.h"
#include "link/ModbusFrame.h"
#include "link/ModuleCommands.h"
#include "link/PendingRequest.h"
#include "link/SingleWrites.h"
#include "mainwindow/MappingTables.h"
#include "mainwindow/frmMain.h"
#include "platform/WinsockControl.h"
#include "platform/dialogs.h"

namespace {

// Columns of a mapping row, by sub-item.
constexpr int kModuleColumn = 1;
constexpr int kSlotColumn = 2;
constexpr int kChannelColumn = 3;
constexpr int kValueColumn = 4;
constexpr int kCommentColumn = 5;

// The row a double-click acts on: the selected one of a list that has rows.
std::optional<ui::ListItem> ChosenRow(const ui::ListView& list) {
    if (list.ListItemCount() == 0) return std::nullopt;
    return list.SelectedItem();
}

int NumberOf(const std::string& text) { return rt::CInt(rt::Val(text)); }

// Runs a table command; a run-time error shows its description.
template <typename F>
void ReportingErrors(F&& command) {
    try {
        command();
    } catch (const rt::RuntimeError& e) {
        rt::MsgBox(e.Description(), rt::vbOKOnly, "");
    }
}

// The text of an output's input box without its blanks, or nothing when
// the user backed out: Cancel, Escape, an empty answer or blanks only. A box
// the user backs out of never moves the output.
std::optional<std::string> GivenAnswer(const std::optional<std::string>& answer) {
    if (!answer) return std::nullopt;
    std::string text = rt::Trim(*answer);
    if (text.empty()) return std::nullopt;
    return text;
}

// The answer of a pulse output's input box: hexadecimal without prefix,
// at most 32 bits ("FFFFFFFF" is all ones).
int32_t HexAnswer(const std::string& text) {
    uint64_t v = 0;
    for (char ch : text) {
        const int digit = std::isxdigit(static_cast<unsigned char>(ch))
                              ? (std::isdigit(static_cast<unsigned char>(ch))
                                     ? ch - '0'
                                     : std::toupper(static_cast<unsigned char>(ch)) - 'A' + 10)
                              : -1;
        if (digit < 0) rt::Raise(rt::ErrTypeMismatch);
        v = v * 16 + static_cast<uint64_t>(digit);
        if (v > 0xFFFFFFFFull) rt::Raise(rt::ErrOverflow);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

std::string AnalogRangeHint(int16_t code) {
    switch (code) {
        case 0x31:
            return "0~20mA";
        case 0x33:
            return "-10~10V";
        case 0x34:
            return "1~5V";
        default:
            return "";
    }
}

std::string PulseModeHint(int16_t code) {
    switch (code) {
        case 0x60:
            return "One-Shot";
        case 0x61:
            return "Continues";
        default:
            return "";
    }
}

}  // namespace

// ---- Filling -------------------------------------------------------------------

void frmMain::FillMappingAndSummaryLists(int16_t node) {
    ui::ListView* const tables[] = {&lvwDIMapping, &lvwDOMapping, &lvwAIMapping,
                                    &lvwAOMapping, &lvwPIMapping, &lvwPOMapping};
    for (ui::ListView* lv : tables) lv->ClearItems();
    lvwIOMSummary.ClearItems();
    lvwMCUSummary.ClearItems();
    ResetLiveValues();

    const NodeConfig& n = ConfigReal[node];
    if (n.McuVersion != 0) {
        ui::ListItem mcu = lvwMCUSummary.AddItem("GW-7010");
        mcu.SetSubItem(1, mapping::McuVersionText(n.McuVersion));
        mcu.SetSubItem(2, mapping::McuVersionText(n.McuLibVersion));
    }
    for (int s = 0; s < kStationSlots; ++s) {
        ui::ListItem row = lvwIOMSummary.AddItem(mapping::SlotText(s));
        if (n.SlotPresent[s] != kTrue) continue;
        row.SetSubItem(1, n.Module[s]);
        row.SetSubItem(2, mapping::ModuleVersionText(n.Version[s]));
    }
    for (const mapping::Row& r : mapping::MappingRows(n)) {
        ui::ListItem item = tables[static_cast<int>(r.kind)]->AddItem(r.text);
        item.SetSubItem(kModuleColumn, r.module);
        item.SetSubItem(kSlotColumn, std::to_string(r.slot));
        item.SetSubItem(kChannelColumn, std::to_string(r.channel));
        item.SetSubItem(kCommentColumn, r.comment);
    }
}

// ---- Double-clicks ---------------------------------------------------------------

void frmMain::lvwAOMapping_DblClick() {
    ReportingErrors([&] {
        const auto row = ChosenRow(lvwAOMapping);
        if (!row) return;
        const int16_t code = mapping::RangeCodeOfRow(row->SubItem(kCommentColumn));
        const int16_t address = mapping::AddressOfRow(row->Text());
        const std::string slot = row->SubItem(kSlotColumn);
        const std::string channel = std::to_string(address & 15);
        const std::string prompt = "Slot " + slot + " " + rt::Trim(row->SubItem(kModuleColumn)) +
                                   " Channel " + channel + "  output value=?\r\n" +
                                   AnalogRangeHint(code);
        const auto answer = GivenAnswer(
            rt::TheDialogs().InputBox(prompt, "Slot " + slot + " Channel " + channel, ""));
        if (!answer) return;
        nxlink::ModbusSetAOValue(address, rt::TypedSingle(*answer), code);
    });
}

void frmMain::lvwDOMapping_DblClick() {
    ReportingErrors([&] {
        const auto row = ChosenRow(lvwDOMapping);
        if (!row) return;
        const int16_t address = mapping::AddressOfRow(row->Text());
        // The state the station last reported for the coil; before any
        // report, the shown text ("ON", else off).
        bool on = false;
        if (nxlink::CoilImageReported()) {
            on = DOValue(address);
        } else {
            std::string state = row->SubItem(kValueColumn);
            std::erase(state, ' ');
            on = state == "ON";
        }
        nxlink::ModbusSetDOValue(address, on ? 0x00 : 0xFF);
    });
}

void frmMain::lvwIOMSummary_DblClick() {
    ReportingErrors([&] {
        const auto row = lvwIOMSummary.SelectedItem();
        if (!row) return;
        if (const auto command = nxlink::RedundancySwitchFor(0, NumberOf(row->Text())))
            nxlink::SendModuleCommandNoWait(*command);
    });
}

void frmMain::lvwPIMapping_DblClick() {
    ReportingErrors([&] {
        const auto row = ChosenRow(lvwPIMapping);
        if (!row || mapping::RangeCodeOfRow(row->SubItem(kCommentColumn)) != 0x53) return;
        nxlink::SendModuleCommandNoWait(nxlink::PiCounterClearCommand(
            NumberOf(row->SubItem(kSlotColumn)), NumberOf(row->SubItem(kChannelColumn))));
    });
}

void frmMain::lvwPOMapping_DblClick() {
    ReportingErrors([&] {
        const auto row = ChosenRow(lvwPOMapping);
        if (!row) return;
        const int16_t code = mapping::RangeCodeOfRow(row->SubItem(kCommentColumn));
        const int16_t address = mapping::AddressOfRow(row->Text());
        std::string slot = row->SubItem(kSlotColumn);
        std::erase(slot, ' ');
        const std::string prompt = "Slot " + slot + " " + rt::Trim(row->SubItem(kModuleColumn)) +
                                   " Channel " + row->SubItem(kChannelColumn) +
                                   "  output value=?\r\n" + PulseModeHint(code);
        const auto answer = GivenAnswer(
            rt::TheDialogs().InputBox(prompt, "Channel " + std::to_string(address), ""));
        if (!answer) return;
        const int32_t value = HexAnswer(*answer);
        if (WskTCP502.State() != rt::sckConnected) return;
        const uint16_t words[] = {HighWord(value), LowWord(value)};
        SendModbusRequest(WskTCP502,
                          BuildWriteMultipleRegisters(UnitIdFromNetId(ConfigReal[0].NetID),
                                                      static_cast<uint16_t>(address), words));
    });
}
