#include "link/RegisterMap.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "link/PendingRequest.h"

using Bytes = std::vector<uint8_t>;

TEST(RegisterMap, ByteCountOfEveryFixedReadMatchesItsQuantity) {
    for (const RegisterBlock* b : AllRegisterBlocks()) {
        SCOPED_TRACE(b->Name);
        if (b->ByteCount < 0) continue;  // channel lists and writes
        const int bytes = b->Encoding == RegEncoding::Bits ? b->Quantity / 8 : 2 * b->Quantity;
        // One byte carries the count: 256 and 512 bytes read as 0.
        EXPECT_EQ(b->ByteCount, bytes % 256);
    }
}

TEST(RegisterMap, FunctionCodesFollowTheTables) {
    for (const RegisterBlock* b : AllRegisterBlocks()) {
        SCOPED_TRACE(b->Name);
        switch (b->Table) {
            case RegTable::Coils:
                EXPECT_EQ(b->Function, FcReadCoils);
                break;
            case RegTable::DiscreteInputs:
                EXPECT_EQ(b->Function, FcReadDiscreteInputs);
                break;
            case RegTable::InputRegisters:
                EXPECT_EQ(b->Function, FcReadInputRegisters);
                break;
            case RegTable::HoldingRegisters:
                EXPECT_TRUE(b->Function == FcReadHoldingRegisters ||
                            b->Function == FcWriteMultipleRegisters);
                break;
        }
    }
}

TEST(RegisterMap, NamesAreUnique) {
    std::set<std::string> names;
    for (const RegisterBlock* b : AllRegisterBlocks())
        EXPECT_TRUE(names.insert(b->Name).second) << b->Name;
    EXPECT_EQ(names.size(), AllRegisterBlocks().size());
}

TEST(RegisterMap, EveryConfigurationKeyFindsItsBlockAndSlot) {
    int blocks = 0;
    for (const RegisterBlock* b : AllRegisterBlocks()) {
        if (b->Key != nullptr || b->Function != FcReadInputRegisters || b == &RegSlotReplyArea)
            continue;
        ++blocks;
        SCOPED_TRACE(b->Name);
        EXPECT_GE(b->Start, 32768);
        EXPECT_LT(b->Start + 7, 36864);
        const int slots = b->PerSlot ? 8 : 1;
        for (int s = 0; s < slots; ++s) {
            int slot = -1;
            EXPECT_EQ(FindConfigBlock(b->Start + s, &slot), b);
            EXPECT_EQ(slot, s);
            EXPECT_EQ(KeyConfigRead(SlotBlockStart(*b, s)), std::to_string(b->Start + s));
        }
        // Slot 8 has no block.
        if (b->PerSlot) {
            EXPECT_NE(FindConfigBlock(b->Start + 8, nullptr), b);
        }
    }
    EXPECT_EQ(blocks, 31);
    // Keys that are no block's start.
    for (long key : {32769L, 33105L, 33200L, 33279L, 33320L, 34584L, 36863L, 36864L, 1L, 18L})
        EXPECT_EQ(FindConfigBlock(key, nullptr), nullptr) << key;
}

TEST(RegisterMap, WellKnownKeys) {
    EXPECT_EQ(KeyConfigRead(RegCfgRealModuleId.Start), "33024");
    EXPECT_EQ(KeyConfigRead(SlotBlockStart(RegCfgCjc, 2)), "34562");
    EXPECT_EQ(std::string(RegIomCommand.Key), KeyIomCommand);
    EXPECT_EQ(std::string(RegMcuCommand.Key), KeyMcuCommand);
    EXPECT_EQ(KeyConfigRead(RegIomCommand.Start), KeyIomCommand);
    EXPECT_EQ(KeyConfigRead(RegMcuCommand.Start), KeyMcuCommand);
    EXPECT_EQ(std::string(RegIomStatus.Key), KeyIomStatus);
    EXPECT_EQ(std::string(RegMcuStatus.Key), KeyMcuStatus);
    EXPECT_EQ(std::string(RegPiImage.Key), KeyMonitorImage32);
    EXPECT_EQ(KeyHartReply(0), "10");
    EXPECT_EQ(KeyHartReply(7), "17");
}

TEST(RegisterMap, StatusRegistersLieInsideTheirBlocks) {
    for (uint16_t reg : {RegMcuRole, RegOtherMcuStatus, RegCanStatus, RegPwmStatus, RegLightFault,
                         RegHeavyFault, RegDipSwitch, RegTcpTimeout}) {
        EXPECT_GE(reg, RegMcuStatus.Start);
        EXPECT_LT(reg, RegMcuStatus.Start + RegMcuStatus.Quantity);
    }
    // The last slot's heavy emergency pair is the block's last two registers.
    EXPECT_EQ(RegIomHeavyEmcy + 2 * 7 + 1, RegIomStatus.Start + RegIomStatus.Quantity - 1);
}

// Every block's request as the station's map gives it: function, start of
// the slot's block, quantity (bytes 7 to 11 of the frame) and the key.
TEST(RegisterMap, RequestOfEveryBlockByteByByte) {
    struct Row {
        const RegisterBlock* block;
        int slot;
        uint16_t quantity;  // the channel count for channel lists
        Bytes pdu;          // frame bytes 7..11
        const char* key;
    };
    const Row rows[] = {
        {&RegDiImage, 0, 256, {0x02, 0x00, 0x00, 0x01, 0x00}, "1"},
        {&RegDoImage, 0, 256, {0x01, 0x00, 0x00, 0x01, 0x00}, "1"},
        {&RegAiImage, 0, 128, {0x04, 0x00, 0x00, 0x00, 0x80}, "1"},
        {&RegAoImage, 0, 128, {0x03, 0x00, 0x00, 0x00, 0x80}, "1"},
        {&RegPiImage, 0, 256, {0x04, 0x00, 0x80, 0x01, 0x00}, "2"},
        {&RegPoImage, 0, 256, {0x03, 0x01, 0x00, 0x01, 0x00}, "2"},
        {&RegKeepAlive, 0, 9, {0x04, 0x01, 0x00, 0x00, 0x09}, "4"},
        {&RegMcuStatus, 0, 42, {0x04, 0x02, 0x00, 0x00, 0x2A}, "4"},
        {&RegIomStatus, 0, 120, {0x04, 0x02, 0x40, 0x00, 0x78}, "3"},
        {&RegCfgMcuName, 0, 2, {0x04, 0x80, 0x00, 0x00, 0x02}, "32768"},
        {&RegCfgPwmName, 0, 2, {0x04, 0x80, 0x10, 0x00, 0x02}, "32784"},
        {&RegCfgVersions, 0, 2, {0x04, 0x80, 0x20, 0x00, 0x02}, "32800"},
        {&RegCfgRealModuleId, 0, 8, {0x04, 0x81, 0x00, 0x00, 0x08}, "33024"},
        {&RegCfgPredefModuleId, 0, 8, {0x04, 0x81, 0x10, 0x00, 0x08}, "33040"},
        {&RegCfgNmtState, 0, 8, {0x04, 0x81, 0x20, 0x00, 0x08}, "33056"},
        {&RegCfgFwVersion, 0, 8, {0x04, 0x81, 0x30, 0x00, 0x08}, "33072"},
        {&RegCfgRedundancy, 0, 8, {0x04, 0x81, 0x40, 0x00, 0x08}, "33088"},
        {&RegCfgLineDropOff, 0, 8, {0x04, 0x81, 0x50, 0x00, 0x08}, "33104"},
        {&RegCfgDoPowerOn, 1, 2, {0x04, 0x82, 0x01, 0x00, 0x02}, "33281"},
        {&RegCfgDoSafe, 7, 2, {0x04, 0x82, 0x17, 0x00, 0x02}, "33303"},
        {&RegCfgDoFaultMode, 2, 1, {0x04, 0x82, 0x22, 0x00, 0x01}, "33314"},
        {&RegCfgAoPowerOn, 3, 4, {0x04, 0x83, 0x03, 0x00, 0x04}, "33539"},
        {&RegCfgAoSafe, 3, 4, {0x04, 0x83, 0x13, 0x00, 0x04}, "33555"},
        {&RegCfgAoFaultMode, 3, 4, {0x04, 0x83, 0x23, 0x00, 0x04}, "33571"},
        {&RegCfgRangeCode, 0, 16, {0x04, 0x84, 0x00, 0x00, 0x10}, "33792"},
        {&RegCfgScaleLow, 4, 8, {0x04, 0x84, 0x14, 0x00, 0x08}, "33812"},
        {&RegCfgScaleHigh, 4, 8, {0x04, 0x84, 0x24, 0x00, 0x08}, "33828"},
        {&RegCfgAlarmLow, 4, 8, {0x04, 0x84, 0x34, 0x00, 0x08}, "33844"},
        {&RegCfgAlarmHigh, 4, 8, {0x04, 0x84, 0x44, 0x00, 0x08}, "33860"},
        {&RegCfgAlarmEnable, 5, 1, {0x04, 0x84, 0x55, 0x00, 0x01}, "33877"},
        {&RegCfgAiFilterMode, 6, 2, {0x04, 0x84, 0x66, 0x00, 0x02}, "33894"},
        {&RegCfgPoReferenceTime, 1, 4, {0x04, 0x85, 0x01, 0x00, 0x04}, "34049"},
        {&RegCfgPoOffsetTime, 1, 4, {0x04, 0x85, 0x11, 0x00, 0x04}, "34065"},
        {&RegCfgPoCyclicSteps, 1, 4, {0x04, 0x85, 0x21, 0x00, 0x04}, "34081"},
        {&RegCfgPoDutySteps, 1, 4, {0x04, 0x85, 0x31, 0x00, 0x04}, "34097"},
        {&RegCfgPoFaultMode, 1, 4, {0x04, 0x85, 0x41, 0x00, 0x04}, "34113"},
        {&RegCfgPoPwmCounter, 1, 4, {0x04, 0x85, 0x51, 0x00, 0x04}, "34129"},
        {&RegCfgPiConfig, 2, 6, {0x04, 0x86, 0x02, 0x00, 0x06}, "34306"},
        {&RegCfgCjc, 2, 2, {0x04, 0x87, 0x02, 0x00, 0x02}, "34562"},
        {&RegCfgBreakLine, 7, 2, {0x04, 0x87, 0x17, 0x00, 0x02}, "34583"},
        {&RegSlotReplyArea, 5, 256, {0x04, 0x19, 0x00, 0x01, 0x00}, "15"},
    };
    for (const Row& row : rows) {
        const RegisterBlock& b = *row.block;
        SCOPED_TRACE(b.Name);
        if (b.Quantity != kQuantityChannels) {
            EXPECT_EQ(b.Quantity, row.quantity);
        }
        const ModbusFrame f =
            BuildReadRequest(7, b.Function, SlotBlockStart(b, row.slot), row.quantity);
        Bytes expected{0, 0, 0, 0, 0, 6, 7};
        expected.insert(expected.end(), row.pdu.begin(), row.pdu.end());
        EXPECT_EQ(f, expected);
        std::string key;
        if (b.Key != nullptr)
            key = b.Key;
        else if (&b == &RegSlotReplyArea)
            key = KeyHartReply(row.slot);
        else
            key = KeyConfigRead(SlotBlockStart(b, row.slot));
        EXPECT_EQ(key, row.key);
    }
}

// The function-16 targets: start address and the key that waits for the echo.
TEST(RegisterMap, WrittenRegisters) {
    EXPECT_EQ(RegIomCommand.Start, 0x8000);
    EXPECT_STREQ(RegIomCommand.Key, "32768");
    EXPECT_EQ(RegMcuCommand.Start, 0x9000);
    EXPECT_EQ(RegMcuCommand.Quantity, 3);
    EXPECT_STREQ(RegMcuCommand.Key, "36864");
    EXPECT_EQ(CmdSetTcpTimeout, 0x0010);
    EXPECT_EQ(RegDataMailbox.Start, 0x0200);
    EXPECT_EQ(RegDataMailbox.Table, RegTable::HoldingRegisters);
    EXPECT_STREQ(RegDataMailbox.Key, "1");
    EXPECT_EQ(MailboxHartRequest, 0x4000);
    for (const RegisterBlock* b : {&RegIomCommand, &RegMcuCommand, &RegDataMailbox})
        EXPECT_EQ(b->Function, 0x10) << b->Name;
}
