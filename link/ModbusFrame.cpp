#include "link/ModbusFrame.h"

#include "platform/runtime.h"

namespace {

void PutWord(ModbusFrame& f, size_t at, uint16_t v) {
    f[at] = static_cast<uint8_t>(v >> 8);
    f[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

ModbusFrame Frame(uint8_t unitId, uint8_t function, size_t size) {
    ModbusFrame f(size, 0);
    PutWord(f, 4, static_cast<uint16_t>(size - 6));
    f[6] = unitId;
    f[7] = function;
    return f;
}

ModbusFrame FourFieldFrame(uint8_t unitId, uint8_t function, uint16_t a, uint16_t b) {
    ModbusFrame f = Frame(unitId, function, kReadFrameSize);
    PutWord(f, 8, a);
    PutWord(f, 10, b);
    return f;
}

}  // namespace

std::optional<MbapHeader> ParseMbapHeader(std::span<const uint8_t> b) {
    if (b.size() < static_cast<size_t>(kMbapHeaderSize)) return std::nullopt;
    MbapHeader h;
    h.TransactionId = static_cast<uint16_t>(b[0] << 8 | b[1]);
    h.ProtocolId = static_cast<uint16_t>(b[2] << 8 | b[3]);
    h.Length = static_cast<uint16_t>(b[4] << 8 | b[5]);
    h.UnitId = b[6];
    return h;
}

uint8_t UnitIdFromNetId(int netId) {
    if (netId < 1 || netId > 247) rt::Raise(rt::ErrOverflow);
    return static_cast<uint8_t>(netId);
}

ModbusFrame BuildReadRequest(uint8_t unitId, uint8_t function, uint16_t start, uint16_t quantity) {
    return FourFieldFrame(unitId, function, start, quantity);
}

ModbusFrame BuildWriteSingleCoil(uint8_t unitId, uint16_t address, uint8_t value) {
    return FourFieldFrame(unitId, FcWriteSingleCoil, address, static_cast<uint16_t>(value << 8));
}

ModbusFrame BuildWriteSingleRegister(uint8_t unitId, uint16_t address, uint16_t value) {
    return FourFieldFrame(unitId, FcWriteSingleRegister, address, value);
}

ModbusFrame BuildWriteMultipleRegisters(uint8_t unitId, uint16_t start,
                                        std::span<const uint16_t> values) {
    if (values.empty() || values.size() > static_cast<size_t>(kMaxWriteRegisters))
        rt::Raise(rt::ErrInvalidProcedureCall);
    const size_t q = values.size();
    ModbusFrame f = Frame(unitId, FcWriteMultipleRegisters, 13 + 2 * q);
    PutWord(f, 8, start);
    PutWord(f, 10, static_cast<uint16_t>(q));
    f[12] = static_cast<uint8_t>(2 * q);
    for (size_t i = 0; i < q; ++i) PutWord(f, 13 + 2 * i, values[i]);
    return f;
}
