// The Modbus TCP frames modflash sends to the station, the check applied to
// every reply, the scrambling of firmware chunks, the firmware file header
// and the module model tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace modflash {

using Frame = std::vector<uint8_t>;

// Every request carries transaction ID 0x0102, protocol 0 and unit 1.
constexpr uint16_t kTransactionId = 0x0102;
constexpr uint8_t kUnitId = 1;
constexpr uint8_t kFnReadCoils = 0x01;
constexpr uint8_t kFnReadDiscreteInputs = 0x02;
constexpr uint8_t kFnReadHoldingRegisters = 0x03;
constexpr uint8_t kFnReadInputRegisters = 0x04;
constexpr uint8_t kFnWriteMultipleRegisters = 0x10;
// The functions of the order marks (BuildOrderMark); modflash sends them for
// nothing else.
constexpr std::array<uint8_t, 3> kOrderMarkFunctions = {kFnReadHoldingRegisters, kFnReadCoils,
                                                        kFnReadDiscreteInputs};

// Registers of the station.
constexpr uint16_t kRegKeepAlive = 0x0200;
constexpr uint16_t RegIomModuleId = 0x0240;  // + slot
constexpr uint16_t RegIomNmtState = 0x0250;  // + slot
constexpr uint16_t RegIomCommand = 0x8000;
constexpr uint16_t RegDataMailbox = 0x0200;
constexpr uint16_t RegSlotReplyArea = 0x1400;  // + 0x100 x slot

// I/O-module commands written to RegIomCommand: command, slot, data.
constexpr uint16_t CmdNmt = 0x0001;
constexpr uint16_t NmtToPreOp = 0x0001;
constexpr uint16_t CmdFwUpdate = 0x0080;
constexpr uint16_t FwFinish = 0x0001;
constexpr uint16_t FwResetModule = 0x0002;
constexpr uint16_t FwEnterBootloader = 0x0003;
constexpr uint16_t CmdFwInitDownload = 0x0081;
// Header word of a firmware chunk written to RegDataMailbox.
constexpr uint16_t MailboxFwChunk = 0x8000;

// Module modes read from RegIomNmtState, and the accepted chunk status.
constexpr uint16_t kModeBootloader = 8;
constexpr uint16_t kModeOperation = 32;
constexpr uint16_t kUpgradeStatusAccepted = 2;

constexpr size_t kChunkSize = 128;
constexpr size_t kBlockSize = 256;
constexpr size_t kFirmwareHeaderSize = 16;
// Largest frame a Modbus TCP peer sends (7-byte header plus 253 bytes).
constexpr size_t kMaxFrameSize = 260;

// Request frames.
Frame BuildReadInputRegister(uint16_t address);
Frame BuildReadUpgradeStatus(uint16_t slot);
Frame BuildCommandWrite(uint16_t command, uint16_t slot, uint16_t data);
Frame BuildInitDownload(uint16_t slot, uint32_t imageSize);
// A chunk of 1..128 bytes, already scrambled, framed for the data mailbox.
Frame BuildChunkFrame(uint16_t slot, const uint8_t* chunk, size_t len);
// A read of one item at address 0 with one of kOrderMarkFunctions. Its reply
// (or exception reply) only shows that the station has answered everything
// sent before it: the station answers one connection's requests in order.
Frame BuildOrderMark(uint8_t function);

// Whether a whole reply frame has the shape of the request's reply: the
// request's function code with the byte count of its quantity (reads) or its
// start address and quantity echoed (writes), or the function's exception
// reply with its one exception code. Unit and transaction IDs are not looked
// at: every request carries the same ones.
bool ReplyFits(const Frame& request, const uint8_t* reply, size_t replyLen);

// A reply passes when its unit ID and function code equal the request's; a
// Modbus exception reply (function code with bit 7 set) therefore fails.
bool PassesExceptionCheck(const Frame& request, const uint8_t* reply, size_t replyLen);

// The 64 bytes the chunk data are combined with before sending.
extern const std::array<uint8_t, 64> FwScrambleTable;

// p[m] ^= FwScrambleTable[(p[0] + m) mod 64] for m = 1..len-1; p[0] stays and
// is the base of every index. Applying it twice restores the bytes.
void Scramble(uint8_t* p, size_t len);

// The module ID an image is for: header bytes 1 (high) and 2 (low).
uint16_t FirmwareModuleId(const uint8_t* header);

// Model names and their module IDs, index-parallel; the sixteenth ID (0)
// has no name.
constexpr size_t kModelNameCount = 15;
constexpr size_t kModelIdCount = 16;
extern std::array<std::string, kModelNameCount> ModelNameTable;
extern const std::array<uint16_t, kModelIdCount> ModelIdTable;
void InitModelNameTable();

// The text the main dialog shows for a module ID: "Null" for 0, the model
// name for a known ID, "Not supportted" otherwise.
std::string ModuleNameText(uint16_t moduleId);

}  // namespace modflash
