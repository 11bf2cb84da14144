// Modbus TCP request frames, built byte by byte: the 7-byte MBAP header
// (transaction id 0, protocol id 0, length, unit id) and the PDU. 16-bit
// fields are big-endian. The transaction id is always 0: a reply is linked to
// its request by the one request outstanding on the connection and the
// pending-request key (link/PendingRequest.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

inline constexpr uint8_t FcReadCoils = 0x01;
inline constexpr uint8_t FcReadDiscreteInputs = 0x02;
inline constexpr uint8_t FcReadHoldingRegisters = 0x03;
inline constexpr uint8_t FcReadInputRegisters = 0x04;
inline constexpr uint8_t FcWriteSingleCoil = 0x05;
inline constexpr uint8_t FcWriteSingleRegister = 0x06;
inline constexpr uint8_t FcWriteMultipleRegisters = 0x10;

inline constexpr int kMbapHeaderSize = 7;  // through the unit id
inline constexpr int kReadFrameSize = 12;  // reads and the two single writes
// Largest number of registers one function-16 request carries: its length
// (7 + 2 x quantity) must keep byte 4 at 0, so 124 registers (length 255).
// The HART console's longest mailbox write (238 HART bytes) needs all 124.
inline constexpr int kMaxWriteRegisters = 124;

using ModbusFrame = std::vector<uint8_t>;

struct MbapHeader {
    uint16_t TransactionId = 0;
    uint16_t ProtocolId = 0;
    uint16_t Length = 0;  // bytes that follow the length field (unit id and PDU)
    uint8_t UnitId = 0;
};

// Reads the header of a frame; nullopt when fewer than 7 bytes are given.
// The one reading of a header, for requests and replies alike.
std::optional<MbapHeader> ParseMbapHeader(std::span<const uint8_t> bytes);

// The unit id of a request from the controller's Net ID. Only 1 to 247 are
// Modbus unit ids of a station: any other value raises the run-time error
// Overflow (6), so no frame ever carries a wrapped or reserved unit id.
uint8_t UnitIdFromNetId(int netId);

// Function 1, 2, 3 or 4: function, start address, quantity (12 bytes).
ModbusFrame BuildReadRequest(uint8_t unitId, uint8_t function, uint16_t start, uint16_t quantity);
// Function 5: the address, then `value` and 0x00 (255 switches the coil on,
// 0 off).
ModbusFrame BuildWriteSingleCoil(uint8_t unitId, uint16_t address, uint8_t value);
// Function 6: the address and the register value.
ModbusFrame BuildWriteSingleRegister(uint8_t unitId, uint16_t address, uint16_t value);
// Function 16: start, quantity, byte count (2 x quantity), the values; the
// frame is exactly Length + 6 bytes. Raises "Invalid procedure call" (5) for
// no value or more than kMaxWriteRegisters values.
ModbusFrame BuildWriteMultipleRegisters(uint8_t unitId, uint16_t start,
                                        std::span<const uint16_t> values);

// A 32-bit value as the two registers that carry it, high word first.
inline uint16_t HighWord(int32_t v) {
    return static_cast<uint16_t>(static_cast<uint32_t>(v) >> 16);
}
inline uint16_t LowWord(int32_t v) { return static_cast<uint16_t>(static_cast<uint32_t>(v)); }
