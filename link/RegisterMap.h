// The station's register map as the program uses it: every block it reads or
// writes, with its table, start address, quantity, function code, the byte
// count a reply must carry, the encoding of its registers and the fields it
// fills. Addresses are 0-based protocol addresses; registers are 16-bit, high
// byte first; a 32-bit value is two registers, high word first. Reply byte
// 9 + 2r holds the high byte of register r of a read.
#pragma once

#include <cstdint>
#include <span>

#include "link/ModbusFrame.h"

enum class RegTable { Coils, DiscreteInputs, InputRegisters, HoldingRegisters };

// Register encodings:
//   Bits  bit n of data byte n / 8, bit 0 first (the coil and input packing)
//   S16   signed 16-bit;  U16 unsigned 0..65535 into a 32-bit field
//   P15   unsigned, must lie in 0..32767 (a larger value fails the reply)
//   S32   two registers, high word first, signed
//   HiLo  high byte and low byte into two fields, 0..255 each
//   B8    must lie in 0..255 (a larger value fails the reply)
//   ID    module ID 0..65535 turned into a model name
//   X16   16 bits into a 32-bit field, 0..65535 (not sign-extended)
//   Mixed the block's registers have different encodings (see its target)
//   Words register words written by the program
enum class RegEncoding { Bits, S16, U16, P15, S32, HiLo, B8, ID, X16, Mixed, Words };

// Quantity of a channel-list block: the slot's channel count, at most 16.
inline constexpr uint16_t kQuantityChannels = 0;
// Byte count of a channel-list reply: any even count up to 32.
inline constexpr int kByteCountUpTo32 = -1;
// Writes: the reply echoes the start address instead of a byte count.
inline constexpr int kByteCountEcho = -2;
// Replies to 128 and 256 registers carry the byte count 0 (one byte).
inline constexpr int kMaxChannelListBytes = 32;

struct RegisterBlock {
    const char* Name;
    RegTable Table;
    uint8_t Function;
    uint16_t Start;     // per-slot blocks: the base, slot s at Start + s
    uint16_t Quantity;  // kQuantityChannels for channel lists
    int ByteCount;      // the byte count a reply must carry
    bool PerSlot;
    const char* Key;  // fixed key, or nullptr: the start address in decimal
    RegEncoding Encoding;
    const char* Target;
};

// ---- Monitor images (live-value arrays) -------------------------------------
inline constexpr RegisterBlock RegDiImage{
    "RegDiImage", RegTable::DiscreteInputs, FcReadDiscreteInputs, 0x0000, 256, 32, false,
    "1",          RegEncoding::Bits,        "DIValue(0..255)"};
inline constexpr RegisterBlock RegDoImage{
    "RegDoImage", RegTable::Coils,   FcReadCoils,      0x0000, 256, 32, false,
    "1",          RegEncoding::Bits, "DOValue(0..255)"};
inline constexpr RegisterBlock RegAiImage{
    "RegAiImage", RegTable::InputRegisters, FcReadInputRegisters, 0x0000, 128, 0, false,
    "1",          RegEncoding::S16,         "AIValue(0..127)"};
inline constexpr RegisterBlock RegAoImage{
    "RegAoImage", RegTable::HoldingRegisters, FcReadHoldingRegisters, 0x0000, 128, 0, false,
    "1",          RegEncoding::S16,           "AOValue(0..127)"};
inline constexpr RegisterBlock RegPiImage{
    "RegPiImage", RegTable::InputRegisters, FcReadInputRegisters, 0x0080, 256, 0, false,
    "2",          RegEncoding::S32,         "PIValue(0..127)"};
inline constexpr RegisterBlock RegPoImage{
    "RegPoImage", RegTable::HoldingRegisters, FcReadHoldingRegisters, 0x0100, 256, 0, false,
    "2",          RegEncoding::S32,           "POValue(0..127)"};
// The watchdog's keep-alive read; its reply (byte count 18) completes nothing.
inline constexpr RegisterBlock RegKeepAlive{"RegKeepAlive",
                                            RegTable::InputRegisters,
                                            FcReadInputRegisters,
                                            0x0100,
                                            9,
                                            18,
                                            false,
                                            "4",
                                            RegEncoding::S16,
                                            "nothing"};

// ---- Status blocks ----------------------------------------------------------
inline constexpr RegisterBlock RegMcuStatus{
    "RegMcuStatus",
    RegTable::InputRegisters,
    FcReadInputRegisters,
    0x0200,
    42,
    84,
    false,
    "4",
    RegEncoding::Mixed,
    "McuStatus, OtherMcuStatus, CanStatus, PwmStatus (S16), LightFault, HeavyFault (S32), "
    "DipSwitch (S16), TcpTimeout (S16)"};
inline constexpr uint16_t RegMcuRole = 0x0200;         // S16 McuStatus (0x20 master, 0x21 slave)
inline constexpr uint16_t RegOtherMcuStatus = 0x0201;  // S16 OtherMcuStatus
inline constexpr uint16_t RegCanStatus = 0x0202;       // S16 CanStatus
inline constexpr uint16_t RegPwmStatus = 0x0203;       // S16 PwmStatus
inline constexpr uint16_t RegLightFault = 0x0204;      // S32 LightFault
inline constexpr uint16_t RegHeavyFault = 0x0206;      // S32 HeavyFault
inline constexpr uint16_t RegDipSwitch = 0x0208;       // S16 DipSwitch
inline constexpr uint16_t RegTcpTimeout = 0x0229;      // S16 TcpTimeout (seconds)

inline constexpr RegisterBlock RegIomStatus{
    "RegIomStatus",
    RegTable::InputRegisters,
    FcReadInputRegisters,
    0x0240,
    120,
    240,
    false,
    "3",
    RegEncoding::Mixed,
    "per present slot s: NMTState, DuplexStatus, UnderLowLimit, UnderLowLowLimit, "
    "ExceedHighLimit, ExceedHighHighLimit (S16), ChBrokenStatus, LightEmcy, HeavyEmcy (S32)"};
// First register of each per-slot group (slot s at + s, or + 2s for S32).
inline constexpr uint16_t RegIomNmtState = 0x0250;
inline constexpr uint16_t RegIomDuplexStatus = 0x0258;
inline constexpr uint16_t RegIomUnderLowLimit = 0x0268;
inline constexpr uint16_t RegIomUnderLowLowLimit = 0x0270;
inline constexpr uint16_t RegIomExceedHighLimit = 0x0278;
inline constexpr uint16_t RegIomExceedHighHighLimit = 0x0280;
inline constexpr uint16_t RegIomChBroken = 0x0288;
inline constexpr uint16_t RegIomLightEmcy = 0x0298;
inline constexpr uint16_t RegIomHeavyEmcy = 0x02A8;

// ---- Controller-level configuration (Upload) --------------------------------
#define NX_CFG(name, start, qty, bc, enc, target)                                              \
    inline constexpr RegisterBlock name {                                                      \
#name, RegTable::InputRegisters, FcReadInputRegisters, start, qty, bc, false, nullptr, \
            enc, target                                                                        \
    }
#define NX_SLOT(name, start, qty, bc, enc, target)                                                 \
    inline constexpr RegisterBlock name {                                                          \
#name, RegTable::InputRegisters, FcReadInputRegisters, start, qty, bc, true, nullptr, enc, \
            target                                                                                 \
    }

NX_CFG(RegCfgMcuName, 0x8000, 2, 4, RegEncoding::ID, "McuName(0), McuName(1)");
NX_CFG(RegCfgPwmName, 0x8010, 2, 4, RegEncoding::ID, "PowerName(0), PowerName(1)");
NX_CFG(RegCfgVersions, 0x8020, 2, 4, RegEncoding::P15, "McuVersion, McuLibVersion");
NX_CFG(RegCfgRealModuleId, 0x8100, 8, 16, RegEncoding::ID, "Module(s), SlotPresent(s)");
NX_CFG(RegCfgPredefModuleId, 0x8110, 8, 16, RegEncoding::ID, "PredefModule(s), DownloadPending(s)");
NX_CFG(RegCfgNmtState, 0x8120, 8, 16, RegEncoding::P15, "NMTState(s)");
NX_CFG(RegCfgFwVersion, 0x8130, 8, 16, RegEncoding::P15, "Version(s)");
NX_CFG(RegCfgRedundancy, 0x8140, 8, 16, RegEncoding::HiLo,
       "RedundancyToSlot(s) (high byte), RedundancyInfo(s) (low byte)");
NX_CFG(RegCfgLineDropOff, 0x8150, 8, 16, RegEncoding::P15, "BreakLineFunc(s)");

// ---- Per-slot configuration (Upload; slot s at base + s) ---------------------
NX_SLOT(RegCfgDoPowerOn, 0x8200, 2, 4, RegEncoding::U16,
        "DO_PowerONValue_High(s), DO_PowerONValue_Low(s)");
NX_SLOT(RegCfgDoSafe, 0x8210, 2, 4, RegEncoding::U16, "DO_SafeValue_High(s), DO_SafeValue_Low(s)");
NX_SLOT(RegCfgDoFaultMode, 0x8220, 1, 2, RegEncoding::HiLo,
        "PowerOnValueMode(s, 0) (high byte), SafeValueMode(s, 0) (low byte)");
NX_SLOT(RegCfgAoPowerOn, 0x8300, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "PowerOnValue(s, c)");
NX_SLOT(RegCfgAoSafe, 0x8310, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "SafeValue(s, c)");
NX_SLOT(RegCfgAoFaultMode, 0x8320, kQuantityChannels, kByteCountUpTo32, RegEncoding::HiLo,
        "PowerOnValueMode(s, c) (high byte), SafeValueMode(s, c) (low byte)");
NX_SLOT(RegCfgRangeCode, 0x8400, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "RangeCode(s, c)");
NX_SLOT(RegCfgScaleLow, 0x8410, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "UserDefLRange(s, c)");
NX_SLOT(RegCfgScaleHigh, 0x8420, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "UserDefHRange(s, c)");
NX_SLOT(RegCfgAlarmLow, 0x8430, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "LowAlarmVal(s, c)");
NX_SLOT(RegCfgAlarmHigh, 0x8440, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "HighAlarmVal(s, c)");
NX_SLOT(RegCfgAlarmEnable, 0x8450, 1, 2, RegEncoding::U16, "AlarmMode(s)");
NX_SLOT(RegCfgAiFilterMode, 0x8460, 2, 4, RegEncoding::Mixed,
        "AIFilterModeHigh(s) (r0 high byte), AIDigitalFilterMode(s) (r0 low byte), "
        "MainsFrequency(s) (r1 P15)");
NX_SLOT(RegCfgPoReferenceTime, 0x8500, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "PO(s).RefTime(c)");
NX_SLOT(RegCfgPoOffsetTime, 0x8510, kQuantityChannels, kByteCountUpTo32, RegEncoding::X16,
        "PO(s).OffsetTime(c)");
NX_SLOT(RegCfgPoCyclicSteps, 0x8520, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "PO(s).CyclicSteps(c)");
NX_SLOT(RegCfgPoDutySteps, 0x8530, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "PO(s).DutySteps(c)");
NX_SLOT(RegCfgPoFaultMode, 0x8540, kQuantityChannels, kByteCountUpTo32, RegEncoding::B8,
        "SafeValueMode(s, c)");
NX_SLOT(RegCfgPoPwmCounter, 0x8550, kQuantityChannels, kByteCountUpTo32, RegEncoding::S16,
        "PO(s).PWMCount(c)");
NX_SLOT(RegCfgPiConfig, 0x8600, 6, 12, RegEncoding::Mixed,
        "PI(s).FreqMode (r0 high byte), PI(s).LPFMode (r0 low byte), PI(s).EdgeTrig (r1 X16), "
        "PI(s).FilterInterval (r2-r3 S32), PI(s).Impendance (r4-r5 S32)");
NX_SLOT(RegCfgCjc, 0x8700, 2, 4, RegEncoding::Mixed,
        "CJCSetting(s) (r0 P15), CJCValue(s) (r1 S16)");
NX_SLOT(RegCfgBreakLine, 0x8710, 2, 4, RegEncoding::S32, "CHBreakLineMode(s)");

#undef NX_CFG
#undef NX_SLOT

// ---- HART reply area of a slot (slot s at Start + 0x100 s) ------------------
inline constexpr RegisterBlock RegSlotReplyArea{
    "RegSlotReplyArea",
    RegTable::InputRegisters,
    FcReadInputRegisters,
    0x1400,
    256,
    0,
    true,
    nullptr,
    RegEncoding::Mixed,
    "Hart(s): ProcessStatus, ErrorCode, DataLength (r0-r2 P15), Data from r5 on, two bytes per "
    "register, the first byte in the low half"};
inline constexpr uint16_t kSlotReplyAreaStride = 0x100;
inline constexpr int kHartReplyMinBytes = 501;  // a shorter reply completes nothing

// ---- Registers the program writes (function 16) -----------------------------
inline constexpr RegisterBlock RegIomCommand{"RegIomCommand",
                                             RegTable::HoldingRegisters,
                                             FcWriteMultipleRegisters,
                                             0x8000,
                                             0,
                                             kByteCountEcho,
                                             false,
                                             "32768",
                                             RegEncoding::Words,
                                             "[command code, slot, data ...]"};
inline constexpr RegisterBlock RegMcuCommand{"RegMcuCommand",
                                             RegTable::HoldingRegisters,
                                             FcWriteMultipleRegisters,
                                             0x9000,
                                             3,
                                             kByteCountEcho,
                                             false,
                                             "36864",
                                             RegEncoding::Words,
                                             "[CmdSetTcpTimeout, 0, timeout in seconds 5..3600]"};
inline constexpr uint16_t CmdSetTcpTimeout = 0x0010;
inline constexpr RegisterBlock RegDataMailbox{
    "RegDataMailbox",
    RegTable::HoldingRegisters,
    FcWriteMultipleRegisters,
    0x0200,
    0,
    kByteCountEcho,
    false,
    "1",
    RegEncoding::Words,
    "[0x4000, slot * 256 + channel, n, 0, 0, the n HART bytes two per register, first byte low]"};
inline constexpr uint16_t MailboxHartRequest = 0x4000;

// Every block above, in this order.
std::span<const RegisterBlock* const> AllRegisterBlocks();

// The configuration block (controller level or per slot) whose read carries
// `key` (its start address), with the slot for per-slot blocks (0 for the
// others); nullptr when no block starts there.
const RegisterBlock* FindConfigBlock(long key, int* slot);

// Start address of a per-slot block for slot s.
inline uint16_t SlotBlockStart(const RegisterBlock& b, int slot) {
    return static_cast<uint16_t>(b.Start +
                                 (&b == &RegSlotReplyArea ? kSlotReplyAreaStride : 1) * slot);
}
