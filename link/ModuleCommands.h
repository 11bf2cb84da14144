// The module command set: settings and actions that the controller passes on
// to the I/O module of a slot. Every command is one function-16 write to the
// command register RegIomCommand (0x8000) carrying the words
// [command code, slot, data...], built from the edited copy ConfigSetting
// (the immediate commands 0 and 96 from the read copy and the mapping list).
// No command converts units: the record holds raw device values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/ModbusFrame.h"

namespace nxlink {

// Command codes.
inline constexpr uint16_t CmdRedundancySwitch = 0x0000;
inline constexpr uint16_t CmdNmt = 0x0001;
inline constexpr uint16_t CmdRedundancyMode = 0x0010;
inline constexpr uint16_t CmdLineDetect = 0x0011;
inline constexpr uint16_t CmdDoPowerOnSafe = 0x0020;
inline constexpr uint16_t CmdDoFaultMode = 0x0021;
inline constexpr uint16_t CmdAoPowerOn = 0x0030;
inline constexpr uint16_t CmdAoSafe = 0x0031;
inline constexpr uint16_t CmdAoFaultMode = 0x0032;
inline constexpr uint16_t CmdRangeCode = 0x0040;
inline constexpr uint16_t CmdScaleLowHigh = 0x0041;
inline constexpr uint16_t CmdAlarmLowHigh = 0x0042;
inline constexpr uint16_t CmdAlarmEnable = 0x0043;
inline constexpr uint16_t CmdCjcMode = 0x0050;
inline constexpr uint16_t CmdBreakLine = 0x0051;
inline constexpr uint16_t CmdAiFilterMode = 0x0052;
inline constexpr uint16_t CmdPiCounterClear = 0x0060;
inline constexpr uint16_t CmdPiFilterInterval = 0x0061;
inline constexpr uint16_t CmdPiFilterConfig = 0x0062;
inline constexpr uint16_t CmdPiImpedanceLimit = 0x0063;
inline constexpr uint16_t CmdPoReferenceTime = 0x0070;
inline constexpr uint16_t CmdPoOffsetTime = 0x0071;
inline constexpr uint16_t CmdPoCycleDuty = 0x0072;
inline constexpr uint16_t CmdPoFaultMode = 0x0073;

// Data words.
inline constexpr uint16_t NmtToPreOp = 1;
inline constexpr uint16_t NmtToOp = 2;
inline constexpr uint16_t DuplexRoleMaster = 5;

// Controller firmware version (x 100) from which KA-340 and KB-540 take the
// AI filter mode command.
inline constexpr int kAiFilterModeFromMcuVersion = 301;
// The mains frequencies (Hz) the AI filter mode command may carry.
inline constexpr int16_t kMainsFrequencies[] = {50, 60};

struct ModuleCommand {
    uint16_t Code = 0;
    uint16_t Slot = 0;
    std::vector<uint16_t> Data;
    // What "Write IOM <slot>" is followed by in the success line ("" for
    // the immediate commands, which report nothing).
    std::string Text;
    // A command of the family block that is not to be sent: Text then says
    // why, and Download reports it in place of the command.
    bool Withheld = false;

    // The register words [code, slot, data...].
    std::vector<uint16_t> Registers() const;
    bool operator==(const ModuleCommand&) const = default;
};

// ---- Word conversions ------------------------------------------------------
// A 16-bit signed field: its bits in two's complement (-100 -> 0xFF9C).
inline uint16_t IntegerWord(int16_t v) { return static_cast<uint16_t>(v); }
// A 32-bit field sent as one word: bits 0-15.
inline uint16_t LongLowWord(int32_t v) { return static_cast<uint16_t>(static_cast<uint32_t>(v)); }
// Two byte fields packed high : low.
inline uint16_t PackBytes(uint8_t high, uint8_t low) {
    return static_cast<uint16_t>(high << 8 | low);
}
// The break-line mask: bits 16-23 (high byte 0), then bits 0-15.
std::array<uint16_t, 2> BreakLineWords(int32_t mode);
// A Double field: rounded to a signed 32-bit integer (a half to the even
// neighbour; Overflow beyond), then bits 16-31 and bits 0-15.
std::array<uint16_t, 2> DoubleWords(double v);

// ---- The commands of one slot ---------------------------------------------
// node: the node index (only 0 exists; any other raises "Subscript out of
// range"); slot 0..8; n: the channel count of the list commands.
ModuleCommand NmtCommand(int slot, uint16_t target);
ModuleCommand RedundancyModeCommand(int16_t node, int slot);
ModuleCommand LineDetectCommand(int16_t node, int slot);
ModuleCommand DoPowerOnSafeCommand(int16_t node, int slot);
ModuleCommand DoFaultModeCommand(int16_t node, int slot);
ModuleCommand AoPowerOnCommand(int16_t node, int slot, int n);
ModuleCommand AoSafeCommand(int16_t node, int slot, int n);
ModuleCommand AoFaultModeCommand(int16_t node, int slot, int n);
ModuleCommand RangeCodeCommand(int16_t node, int slot, int n);
ModuleCommand ScaleLowHighCommand(int16_t node, int slot, int n);
ModuleCommand AlarmLowHighCommand(int16_t node, int slot, int n);
ModuleCommand AlarmEnableCommand(int16_t node, int slot);
ModuleCommand CjcModeCommand(int16_t node, int slot);
enum class BreakLineOf { OutputModule, SensorModule };  // only the text differs
ModuleCommand BreakLineCommand(int16_t node, int slot, BreakLineOf of);
ModuleCommand AiFilterModeCommand(int16_t node, int slot);
ModuleCommand PiFilterIntervalCommand(int16_t node, int slot);
ModuleCommand PiFilterConfigCommand(int16_t node, int slot);
ModuleCommand PiImpedanceLimitCommand(int16_t node, int slot);
ModuleCommand PoReferenceTimeCommand(int16_t node, int slot, int n);
ModuleCommand PoOffsetTimeCommand(int16_t node, int slot, int n);
ModuleCommand PoCycleDutyCommand(int16_t node, int slot, int n);
ModuleCommand PoFaultModeCommand(int16_t node, int slot, int n);

// The channel count of a slot's list commands, from its family's count
// field in ConfigSetting (AIChannel for analog inputs and sensors, AOChannel
// for analog outputs, PIChannel, POChannel; 0 for other models). A count
// outside 0..17 (the record's channel columns; only a loaded file can hold
// one) raises "Subscript out of range".
int ListChannelCount(int16_t node, int slot);

// The commands of the slot's module family, in order (none for digital
// inputs, unknown models and the empty name); the model is the slot's
// Module in ConfigSetting. The AI filter mode command of KA-340 and KB-540
// carries the mains frequency, which only an Upload reads: while the slot's
// MainsFrequency is neither 50 nor 60 the command is withheld, so the
// station keeps its own setting instead of taking a frequency it never had.
std::vector<ModuleCommand> FamilyBlock(int16_t node, int slot);
// The whole series Download sends to a pending slot: NMT to pre-operational,
// redundancy mode, line detect, the family block, NMT to operational.
std::vector<ModuleCommand> SlotSeries(int16_t node, int slot);

// The function-16 frame of a command: Length + 6 bytes, 13 + 2Q.
ModbusFrame BuildModuleCommandFrame(uint8_t unitId, const ModuleCommand& command);

// ---- Immediate commands (mapping and summary lists) -------------------------
// Command 0 for the duplex pair of slot s (0..7): sent only when, in
// ConfigReal, both s and its partner (s - 1 for odd s, s + 1 for even) are in
// OPERATION (32) and in DUPLEX mode (1). The target is the partner when s
// reports DuplexStatus 5, else s. nullopt when it is not to be sent.
std::optional<ModuleCommand> RedundancySwitchFor(int16_t node, int slot);
// Command 96: clears the counter of one pulse-input channel (mask 2^channel).
// A channel outside 0..15 raises "Overflow".
ModuleCommand PiCounterClearCommand(int slot, int channel);
// Sends a command on WskTCP502 without a key and without waiting, when the
// socket is connected; returns whether it was sent.
bool SendModuleCommandNoWait(const ModuleCommand& command);

}  // namespace nxlink
