#include "modflash/FlashProtocol.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace modflash;

TEST(FlashFrames, ReadsCarryTheFixedHeaderAndTheRegister) {
    EXPECT_EQ(BuildReadInputRegister(RegIomModuleId + 3),
              (Frame{0x01, 0x02, 0, 0, 0, 6, 1, 0x04, 0x02, 0x43, 0, 1}));
    EXPECT_EQ(BuildReadInputRegister(kRegKeepAlive),
              (Frame{0x01, 0x02, 0, 0, 0, 6, 1, 0x04, 0x02, 0x00, 0, 1}));
    // Slot 2's reply area starts at 0x1600; two registers.
    EXPECT_EQ(BuildReadUpgradeStatus(2),
              (Frame{0x01, 0x02, 0, 0, 0, 6, 1, 0x04, 0x16, 0x00, 0, 2}));
    EXPECT_EQ(BuildReadUpgradeStatus(7)[8], 0x1B);
}

TEST(FlashFrames, CommandWritesAndInitialDownload) {
    EXPECT_EQ(BuildCommandWrite(CmdNmt, 5, NmtToPreOp),
              (Frame{0x01, 0x02, 0, 0, 0, 0x0D, 1, 0x10, 0x80, 0x00, 0, 3, 6, 0, 1, 0, 5, 0, 1}));
    EXPECT_EQ(
        BuildCommandWrite(CmdFwUpdate, 0, FwResetModule),
        (Frame{0x01, 0x02, 0, 0, 0, 0x0D, 1, 0x10, 0x80, 0x00, 0, 3, 6, 0, 0x80, 0, 0, 0, 2}));
    EXPECT_EQ(BuildInitDownload(1, 0x00012345),
              (Frame{0x01, 0x02, 0,    0, 0, 0x11, 1, 0x10, 0x80, 0x00, 0,   5,
                     0x0A, 0,    0x81, 0, 1, 0,    0, 0,    0x01, 0x23, 0x45}));
}

TEST(FlashFrames, OneByteChunkIsPaddedAndSwapped) {
    const uint8_t b = 0xAB;
    const Frame f = BuildChunkFrame(4, &b, 1);
    // N = 1, Q = 4, BC = 8, Length 15, data area 00 AB.
    EXPECT_EQ(f, (Frame{0x01, 0x02, 0,    0,    0, 15, 1, 0x10, 0x02, 0x00, 0,
                        4,    8,    0x80, 0x00, 0, 4,  0, 1,    0x00, 0xAB}));
}

TEST(FlashFrames, ChunkSizesGiveTheirCountsAndSwappedPairs) {
    std::vector<uint8_t> data(128);
    std::iota(data.begin(), data.end(), 0);
    const Frame full = BuildChunkFrame(0, data.data(), 128);
    ASSERT_EQ(full.size(), 13u + 134u);
    EXPECT_EQ(full[5], 134 + 7);               // MBAP length
    EXPECT_EQ(full[10] << 8 | full[11], 67);   // Q
    EXPECT_EQ(full[12], 134);                  // BC
    EXPECT_EQ(full[17] << 8 | full[18], 128);  // N
    for (size_t k = 0; k < 128; k += 2) {
        EXPECT_EQ(full[19 + k], data[k + 1]);
        EXPECT_EQ(full[19 + k + 1], data[k]);
    }
    const uint8_t three[] = {0x11, 0x22, 0x33};
    const Frame odd = BuildChunkFrame(0, three, 3);
    ASSERT_EQ(odd.size(), 13u + 10u);
    EXPECT_EQ(odd[10] << 8 | odd[11], 5);
    EXPECT_EQ(Frame(odd.end() - 4, odd.end()), (Frame{0x22, 0x11, 0x00, 0x33}));
}

TEST(FlashFrames, ExceptionCheckComparesUnitAndFunction) {
    const Frame rq = BuildReadInputRegister(0x0240);
    const uint8_t good[] = {0x01, 0x02, 0, 0, 0, 5, 1, 0x04, 2, 0, 0x4A};
    const uint8_t exception[] = {0x01, 0x02, 0, 0, 0, 3, 1, 0x84, 2};
    const uint8_t otherUnit[] = {0x01, 0x02, 0, 0, 0, 5, 2, 0x04, 2, 0, 0x4A};
    EXPECT_TRUE(PassesExceptionCheck(rq, good, sizeof good));
    EXPECT_FALSE(PassesExceptionCheck(rq, exception, sizeof exception));
    EXPECT_FALSE(PassesExceptionCheck(rq, otherUnit, sizeof otherUnit));
    EXPECT_FALSE(PassesExceptionCheck(rq, good, 7));
}

TEST(FlashScramble, KeepsTheBaseByteAndIndexesFromIt) {
    uint8_t p[3] = {5, 0, 0};
    Scramble(p, 3);
    EXPECT_EQ(p[0], 5);
    EXPECT_EQ(p[1], FwScrambleTable[6]);
    EXPECT_EQ(p[2], FwScrambleTable[7]);
    // The index wraps at 64.
    uint8_t q[2] = {63, 0};
    Scramble(q, 2);
    EXPECT_EQ(q[1], FwScrambleTable[0]);
    uint8_t r[2] = {200, 0};
    Scramble(r, 2);
    EXPECT_EQ(r[1], FwScrambleTable[(200 + 1) % 64]);
}

TEST(FlashScramble, IsItsOwnInverseAndTheFirstChunkOfABlockGoesOutAsRead) {
    std::vector<uint8_t> block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::vector<uint8_t> original = block;
    Scramble(block.data(), block.size());
    EXPECT_NE(block, original);
    std::vector<uint8_t> twice = block;
    Scramble(twice.data(), twice.size());
    EXPECT_EQ(twice, original);
    // The two passes cancel over the first chunk of a block...
    Scramble(block.data(), 128);
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 128, original.begin()));
    // ...but not over the second, whose base byte is the first pass's.
    Scramble(block.data() + 128, 128);
    EXPECT_FALSE(std::equal(block.begin() + 128, block.end(), original.begin() + 128));
    // A table of all zeros would make the check above pass by accident.
    EXPECT_NE(std::accumulate(FwScrambleTable.begin(), FwScrambleTable.end(), 0), 0);
}

TEST(FlashFirmwareFile, ModuleIdIsHeaderBytesOneAndTwo) {
    const uint8_t header[16] = {0xFF, 0x00, 0xF1, 0x77};
    EXPECT_EQ(FirmwareModuleId(header), 241);
    const uint8_t big[16] = {0, 0x12, 0x34};
    EXPECT_EQ(FirmwareModuleId(big), 0x1234);
}

TEST(FlashModels, NamesFollowTheIdTable) {
    EXPECT_EQ(ModuleNameText(0), "Null");
    EXPECT_EQ(ModuleNameText(1), "KB-560");
    EXPECT_EQ(ModuleNameText(160), "KB-580");
    EXPECT_EQ(ModuleNameText(241), "KB-590");
    EXPECT_EQ(ModuleNameText(74), "KB-521");
    EXPECT_EQ(ModuleNameText(76), "Not supportted");
    EXPECT_EQ(ModuleNameText(0xFFFF), "Not supportted");
    const char* names[] = {"KB-560", "KB-570", "KB-524", "KB-523", "KB-540",
                           "KB-510", "KB-522", "KB-521", "KB-553", "KB-551",
                           "KB-552", "KB-531", "KB-532", "KB-580", "KB-590"};
    for (size_t i = 0; i < kModelNameCount; ++i)
        EXPECT_EQ(ModuleNameText(ModelIdTable[i]), names[i]) << i;
}
