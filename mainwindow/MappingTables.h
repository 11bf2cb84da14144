// The contents of the mapping and summary tables, worked out from a station
// record without any window: every channel's Modbus address and its row
// texts, the firmware-version texts of the summaries, and the module kind
// letters of the rack. The main window puts these rows into its list views;
// the monitor and the table writes find a row by its address text and read
// the address and the range code back from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/NodeConfig.h"

namespace mapping {

// The six mapping tables, in the order a slot's rows are added.
enum class Kind { DI, DO, AI, AO, PI, PO };
inline constexpr Kind kKinds[] = {Kind::DI, Kind::DO, Kind::AI, Kind::AO, Kind::PI, Kind::PO};

// Channels of one slot's address window: 32 bits for DI and DO, 16
// registers (or register pairs) for AI, AO, PI and PO. A count above it is
// cut to it, so a slot's rows never run into the next slot's addresses.
int AddressWindow(Kind kind);

// The 0-based Modbus address of channel c of slot s: s*32 + c (DI, DO),
// s*16 + c (AI, AO), 0x80 + s*32 + 2c (PI), 0x100 + s*32 + 2c (PO).
int ChannelAddress(Kind kind, int slot, int channel);

// "037 [025]": the address in decimal and in upper-case hexadecimal, each
// zero-padded and cut to its last three digits.
std::string AddressText(int address);

// Comment of an analog or pulse row: "[" two hex digits "] " and the range
// name of the code ("[07] +/- 10 V"). A code outside the range table
// (0..256) gets an empty name.
std::string RangeText(int16_t rangeCode);
// Comment of every digital row.
inline constexpr const char* kDigitalRangeText = "[40]Digital Module";

// The number at the start of a row's address text (its first three
// characters, decimal).
int16_t AddressOfRow(std::string_view addressText);
// The range code in a row's comment (characters 2 and 3, hexadecimal).
int16_t RangeCodeOfRow(std::string_view comment);

struct Row {
    Kind kind = Kind::DI;
    int address = 0;
    std::string text;  // address text
    std::string module;
    int slot = 0;
    int channel = 0;
    std::string comment;
};

// Every mapping row of the record's present slots 0..7, slot by slot and
// within a slot DI, DO, AI, AO, PI, PO, channels in ascending order; each
// table's rows thus stand in ascending address order.
std::vector<Row> MappingRows(const NodeConfig& node);

// "v1.56" from 156 (controller and library versions, x 100).
std::string McuVersionText(int16_t version);
// "v1.2" from 12 (module firmware versions, x 10).
std::string ModuleVersionText(int16_t version);
// "00" to "07".
std::string SlotText(int slot);

// "DI", "DO", "AI", "TC", "RTD", "AO", "AIO", "PI", "PO" for the models the
// rack labels, "" for any other text.
std::string ModuleKindText(std::string_view model);
// The kind's letters stacked one per line ("D\r\nI").
std::string StackedLetters(std::string_view text);

}  // namespace mapping
