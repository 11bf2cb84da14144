#include "link/RegisterMap.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "link/PendingRequest.h"

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
