#include "link/ModbusFrame.h"

#include <gtest/gtest.h>

#include "link/RegisterMap.h"
#include "platform/runtime.h"

using Bytes = std::vector<uint8_t>;

TEST(ModbusFrame, ReadRequestsAreTwelveBytesWithLengthSix) {
    // Upload's first read: RegCfgVersions of unit 1.
    EXPECT_EQ(BuildReadRequest(1, FcReadInputRegisters, 0x8020, 2),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 0x04, 0x80, 0x20, 0x00, 0x02}));
    // The watchdog's keep-alive, unit 247.
    EXPECT_EQ(BuildReadRequest(247, FcReadInputRegisters, 0x0100, 9),
              (Bytes{0, 0, 0, 0, 0, 6, 0xF7, 0x04, 0x01, 0x00, 0x00, 0x09}));
    // Monitor images: 256 coils / discrete inputs, 128 and 256 registers.
    EXPECT_EQ(BuildReadRequest(5, FcReadCoils, 0x0000, 256),
              (Bytes{0, 0, 0, 0, 0, 6, 5, 0x01, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(BuildReadRequest(5, FcReadDiscreteInputs, 0x0000, 256),
              (Bytes{0, 0, 0, 0, 0, 6, 5, 0x02, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(BuildReadRequest(5, FcReadHoldingRegisters, 0x0100, 256),
              (Bytes{0, 0, 0, 0, 0, 6, 5, 0x03, 0x01, 0x00, 0x01, 0x00}));
    EXPECT_EQ(BuildReadRequest(5, FcReadInputRegisters, 0x0000, 128),
              (Bytes{0, 0, 0, 0, 0, 6, 5, 0x04, 0x00, 0x00, 0x00, 0x80}));
    // A per-slot block: the range codes of slot 0 with 16 channels.
    EXPECT_EQ(BuildReadRequest(1, FcReadInputRegisters, SlotBlockStart(RegCfgRangeCode, 0), 16),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 0x04, 0x84, 0x00, 0x00, 0x10}));
    // The HART reply area of slot 3.
    EXPECT_EQ(BuildReadRequest(1, FcReadInputRegisters, SlotBlockStart(RegSlotReplyArea, 3), 256),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 0x04, 0x17, 0x00, 0x01, 0x00}));
}

TEST(ModbusFrame, SingleWrites) {
    // Coil 37 on and off: the value byte, then 0x00.
    EXPECT_EQ(BuildWriteSingleCoil(9, 37, 255),
              (Bytes{0, 0, 0, 0, 0, 6, 9, 0x05, 0x00, 0x25, 0xFF, 0x00}));
    EXPECT_EQ(BuildWriteSingleCoil(9, 37, 0),
              (Bytes{0, 0, 0, 0, 0, 6, 9, 0x05, 0x00, 0x25, 0x00, 0x00}));
    // Register 0x0012 = 12000, and a negative count in two's complement.
    EXPECT_EQ(BuildWriteSingleRegister(1, 0x0012, 12000),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 0x06, 0x00, 0x12, 0x2E, 0xE0}));
    EXPECT_EQ(BuildWriteSingleRegister(1, 0x00FF, static_cast<uint16_t>(int16_t{-100})),
              (Bytes{0, 0, 0, 0, 0, 6, 1, 0x06, 0x00, 0xFF, 0xFF, 0x9C}));
}

TEST(ModbusFrame, WriteMultipleRegistersIsLengthPlusSixBytes) {
    // Module command NMT to pre-operational for slot 2: [1, 2, 1].
    const uint16_t nmt[] = {1, 2, 1};
    EXPECT_EQ(BuildWriteMultipleRegisters(1, RegIomCommand.Start, nmt),
              (Bytes{0, 0, 0, 0, 0, 13, 1, 0x10, 0x80, 0x00, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00,
                     0x02, 0x00, 0x01}));
    // TCP time-out 3600 s at the controller command register.
    const uint16_t timeout[] = {CmdSetTcpTimeout, 0, 3600};
    EXPECT_EQ(BuildWriteMultipleRegisters(2, RegMcuCommand.Start, timeout),
              (Bytes{0, 0, 0, 0, 0, 13, 2, 0x10, 0x90, 0x00, 0x00, 0x03, 0x06, 0x00, 0x10, 0x00,
                     0x00, 0x0E, 0x10}));
    // A 32-bit pulse-output value, high word first.
    const uint16_t po[] = {HighWord(-2), LowWord(-2)};
    EXPECT_EQ(
        BuildWriteMultipleRegisters(1, 0x0102, po),
        (Bytes{0, 0, 0, 0, 0, 11, 1, 0x10, 0x01, 0x02, 0x00, 0x02, 0x04, 0xFF, 0xFF, 0xFF, 0xFE}));
    // The largest request keeps byte 4 at 0 and carries its byte count.
    std::vector<uint16_t> many(kMaxWriteRegisters, 0xABCD);
    const ModbusFrame big = BuildWriteMultipleRegisters(1, 0, many);
    ASSERT_EQ(big.size(), 13u + 2 * kMaxWriteRegisters);
    EXPECT_EQ(big[4], 0);
    EXPECT_EQ(big[5], 7 + 2 * kMaxWriteRegisters);
    EXPECT_EQ(big[12], 2 * kMaxWriteRegisters);
    EXPECT_EQ(big.back(), 0xCD);
}

TEST(ModbusFrame, WriteMultipleRegistersRefusesNoneOrTooMany) {
    std::vector<uint16_t> none;
    std::vector<uint16_t> tooMany(kMaxWriteRegisters + 1, 0);
    EXPECT_THROW(BuildWriteMultipleRegisters(1, 0, none), rt::RuntimeError);
    EXPECT_THROW(BuildWriteMultipleRegisters(1, 0, tooMany), rt::RuntimeError);
}

TEST(ModbusFrame, UnitIdOnlyFromAValidNetId) {
    EXPECT_EQ(UnitIdFromNetId(1), 1);
    EXPECT_EQ(UnitIdFromNetId(247), 247);
    for (int bad : {0, -1, 248, 255, 256, 257, 32767}) {
        try {
            UnitIdFromNetId(bad);
            ADD_FAILURE() << "Net ID " << bad << " gave a unit id";
        } catch (const rt::RuntimeError& e) {
            EXPECT_EQ(e.Number(), rt::ErrOverflow);
        }
    }
}

TEST(ModbusFrame, ParseHeader) {
    const Bytes f = BuildWriteSingleRegister(17, 1, 2);
    const auto h = ParseMbapHeader(f);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->TransactionId, 0);
    EXPECT_EQ(h->ProtocolId, 0);
    EXPECT_EQ(h->Length, 6);
    EXPECT_EQ(h->UnitId, 17);
    EXPECT_FALSE(ParseMbapHeader(Bytes{0, 0, 0, 0, 0, 6}));
    const Bytes odd{0x12, 0x34, 0xAB, 0xCD, 0x02, 0x03, 0x99};
    EXPECT_EQ(ParseMbapHeader(odd)->TransactionId, 0x1234);
    EXPECT_EQ(ParseMbapHeader(odd)->ProtocolId, 0xABCD);
    EXPECT_EQ(ParseMbapHeader(odd)->Length, 0x0203);
}

TEST(ModbusFrame, LongestMailboxWriteFillsTheLengthByte) {
    // 238 HART bytes: 5 + 119 = 124 registers, length 7 + 248 = 255, 261 bytes.
    std::vector<uint16_t> mailbox{0x4000, 0x0301, 238, 0, 0};
    mailbox.resize(124, 0x1234);
    const ModbusFrame f = BuildWriteMultipleRegisters(1, 0x0200, mailbox);
    ASSERT_EQ(f.size(), 261u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 19),
              (Bytes{0, 0, 0, 0, 0x00, 0xFF, 1, 0x10, 0x02, 0x00, 0x00, 0x7C, 0xF8, 0x40, 0x00,
                     0x03, 0x01, 0x00, 0xEE}));
    EXPECT_EQ(f[259], 0x12);
    EXPECT_EQ(f[260], 0x34);
    // One register more would need length 257: byte 4 would no longer be 0.
    mailbox.push_back(0);
    EXPECT_THROW(BuildWriteMultipleRegisters(1, 0x0200, mailbox), rt::RuntimeError);
}
