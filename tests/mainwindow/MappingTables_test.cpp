#include "mainwindow/MappingTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "config/RangeCodes.h"

namespace {

using mapping::Kind;

class MappingRowsTest : public ::testing::Test {
  protected:
    void SetUp() override { InitRangeNames(); }

    // Puts a present module with one kind of channels into slot s.
    void Present(int s, const std::string& model, Kind kind, int16_t count, int16_t code = 0) {
        node.SlotPresent[s] = kTrue;
        node.Module[s] = model;
        switch (kind) {
            case Kind::DI:
                node.DIChannel[s] = count;
                break;
            case Kind::DO:
                node.DOChannel[s] = count;
                break;
            case Kind::AI:
                node.AIChannel[s] = count;
                break;
            case Kind::AO:
                node.AOChannel[s] = count;
                break;
            case Kind::PI:
                node.PIChannel[s] = count;
                break;
            case Kind::PO:
                node.POChannel[s] = count;
                break;
        }
        for (int c = 0; c < kChannelPositions; ++c) node.RangeCode(s, c) = code;
    }

    std::vector<mapping::Row> RowsOf(Kind kind) const {
        std::vector<mapping::Row> out;
        for (const auto& r : mapping::MappingRows(node))
            if (r.kind == kind) out.push_back(r);
        return out;
    }

    NodeConfig node;
};

TEST(AddressText, DecimalAndHexCutToThreeDigits) {
    EXPECT_EQ(mapping::AddressText(0), "000 [000]");
    EXPECT_EQ(mapping::AddressText(12), "012 [00C]");
    EXPECT_EQ(mapping::AddressText(37), "037 [025]");
    EXPECT_EQ(mapping::AddressText(0x80), "128 [080]");
    EXPECT_EQ(mapping::AddressText(510), "510 [1FE]");
    EXPECT_EQ(mapping::AddressText(255), "255 [0FF]");
}

TEST(ChannelAddress, SlotBoundariesOfEveryKind) {
    EXPECT_EQ(mapping::ChannelAddress(Kind::DI, 0, 31), 31);
    EXPECT_EQ(mapping::ChannelAddress(Kind::DI, 1, 0), 32);
    EXPECT_EQ(mapping::ChannelAddress(Kind::DO, 7, 31), 255);
    EXPECT_EQ(mapping::ChannelAddress(Kind::AI, 0, 15), 15);
    EXPECT_EQ(mapping::ChannelAddress(Kind::AI, 1, 0), 16);
    EXPECT_EQ(mapping::ChannelAddress(Kind::AO, 7, 15), 127);
    EXPECT_EQ(mapping::ChannelAddress(Kind::PI, 0, 0), 0x80);
    EXPECT_EQ(mapping::ChannelAddress(Kind::PI, 1, 0), 0xA0);
    EXPECT_EQ(mapping::ChannelAddress(Kind::PI, 7, 15), 0x80 + 7 * 32 + 30);
    EXPECT_EQ(mapping::ChannelAddress(Kind::PO, 0, 15), 0x11E);
    EXPECT_EQ(mapping::ChannelAddress(Kind::PO, 7, 15), 510);
}

TEST(RangeText, CodeInHexWithItsNameAndNoNameOutsideTheTable) {
    InitRangeNames();
    EXPECT_EQ(mapping::RangeText(7), "[07] +4.0 ~ 20.0 mA");
    EXPECT_EQ(mapping::RangeText(0x53), "[53] Up Counter");
    EXPECT_EQ(mapping::RangeText(256), "[00] ");
    // Outside 0..256 the name is empty instead of a bounds failure.
    EXPECT_EQ(mapping::RangeText(257), "[01] ");
    EXPECT_EQ(mapping::RangeText(-1), "[FF] ");
    EXPECT_EQ(mapping::RangeText(300), "[2C] ");
}

TEST(RowFields, AddressAndRangeCodeReadBackFromTheirTexts) {
    InitRangeNames();
    for (int a : {0, 12, 37, 127, 255, 0x80, 0x11E, 510})
        EXPECT_EQ(mapping::AddressOfRow(mapping::AddressText(a)), a);
    for (int16_t code : {0, 7, 0x31, 0x53, 0x61, 0xFF})
        EXPECT_EQ(mapping::RangeCodeOfRow(mapping::RangeText(code)), code);
    EXPECT_EQ(mapping::RangeCodeOfRow(mapping::kDigitalRangeText), 0x40);
    EXPECT_EQ(mapping::RangeCodeOfRow(""), 0);
}

TEST_F(MappingRowsTest, EmptyRecordGivesNoRows) { EXPECT_TRUE(mapping::MappingRows(node).empty()); }

TEST_F(MappingRowsTest, AnalogModuleInSlotSevenEndsTheRegisterImage) {
    Present(7, "KB-522", Kind::AI, 16, 7);
    const auto rows = RowsOf(Kind::AI);
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows.front().text, "112 [070]");
    EXPECT_EQ(rows.back().text, "127 [07F]");
    EXPECT_EQ(rows.back().slot, 7);
    EXPECT_EQ(rows.back().channel, 15);
    EXPECT_EQ(rows.back().module, "KB-522");
    EXPECT_EQ(rows.back().comment, "[07] +4.0 ~ 20.0 mA");
}

TEST_F(MappingRowsTest, PulseOutputsInSlotZeroTakeRegisterPairs) {
    Present(0, "KB-590", Kind::PO, 16, 0x61);
    const auto rows = RowsOf(Kind::PO);
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows[0].text, "256 [100]");
    EXPECT_EQ(rows[1].text, "258 [102]");
    EXPECT_EQ(rows[15].text, "286 [11E]");
    EXPECT_EQ(rows[15].channel, 15);
}

TEST_F(MappingRowsTest, DigitalRowsCarryTheFixedComment) {
    Present(1, "KB-570", Kind::DO, 32, 0x40);
    const auto rows = RowsOf(Kind::DO);
    ASSERT_EQ(rows.size(), 32u);
    EXPECT_EQ(rows[0].text, "032 [020]");
    EXPECT_EQ(rows[31].text, "063 [03F]");
    for (const auto& r : rows) EXPECT_EQ(r.comment, "[40]Digital Module");
}

TEST_F(MappingRowsTest, AbsentSlotsAndSlotEightGiveNoRows) {
    Present(2, "KB-560", Kind::DI, 32);
    node.SlotPresent[2] = 0;  // known model, but not present
    Present(8, "KB-560", Kind::DI, 32);
    EXPECT_TRUE(mapping::MappingRows(node).empty());
}

TEST_F(MappingRowsTest, CountsBeyondTheAddressWindowAreCutToIt) {
    Present(0, "KB-560", Kind::DI, 40);
    Present(1, "KB-560", Kind::DI, 32);
    Present(6, "KB-522", Kind::AI, 17);
    Present(7, "KB-580", Kind::PI, 17);
    Present(3, "KB-552", Kind::AO, -4);
    const auto di = RowsOf(Kind::DI);
    ASSERT_EQ(di.size(), 64u);
    // Every address appears once: slot 0's rows stop before slot 1's.
    std::map<int, int> seen;
    for (const auto& r : mapping::MappingRows(node))
        ++seen[static_cast<int>(r.kind) * 1000 + r.address];
    for (const auto& [key, n] : seen) EXPECT_EQ(n, 1) << key;
    EXPECT_EQ(RowsOf(Kind::AI).size(), 16u);
    EXPECT_EQ(RowsOf(Kind::AI).back().address, 111);
    // The pulse rows stay within the pair image (index s*16 + c < 128).
    ASSERT_EQ(RowsOf(Kind::PI).size(), 16u);
    EXPECT_EQ(RowsOf(Kind::PI).back().text, "382 [17E]");
    EXPECT_TRUE(RowsOf(Kind::AO).empty());
}

TEST_F(MappingRowsTest, EachTableStandsInAscendingAddressOrder) {
    Present(0, "KB-560", Kind::DI, 32);
    Present(2, "KD-611", Kind::AI, 4, 8);
    node.AOChannel[2] = 2;
    Present(5, "KB-522", Kind::AI, 16, 8);
    const auto rows = mapping::MappingRows(node);
    // Within a slot the kinds come DI, DO, AI, AO, PI, PO.
    ASSERT_EQ(rows.size(), 32u + 4 + 2 + 16);
    EXPECT_EQ(rows[32].kind, Kind::AI);
    EXPECT_EQ(rows[36].kind, Kind::AO);
    EXPECT_EQ(rows[36].text, "032 [020]");
    for (Kind k : mapping::kKinds) {
        const auto list = RowsOf(k);
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const auto& a, const auto& b) {
            return a.address < b.address;
        }));
    }
}

TEST(VersionTexts, ControllerTwoDecimalsModuleOne) {
    EXPECT_EQ(mapping::McuVersionText(156), "v1.56");
    EXPECT_EQ(mapping::McuVersionText(301), "v3.01");
    EXPECT_EQ(mapping::McuVersionText(5), "v0.05");
    EXPECT_EQ(mapping::ModuleVersionText(12), "v1.2");
    EXPECT_EQ(mapping::ModuleVersionText(0), "v0.0");
    EXPECT_EQ(mapping::SlotText(0), "00");
    EXPECT_EQ(mapping::SlotText(7), "07");
}

TEST(ModuleKind, TableOfTheRackLabels) {
    const std::pair<const char*, const char*> table[] = {
        {"KB-560", "DI"}, {"KB-570", "DO"},  {"KB-522", "AI"},  {"KB-521", "AI"}, {"KB-524", "AI"},
        {"KB-523", "AI"}, {"KB-540", "TC"},  {"KB-510", "RTD"}, {"KB-551", "AO"}, {"KB-553", "AO"},
        {"KB-552", "AO"}, {"KD-611", "AIO"}, {"KD-612", "AIO"}, {"KB-580", "PI"}, {"KB-590", "PO"},
        {"KA-360", ""},   {"KB-531", ""},    {"KB-532", ""},    {"", ""},         {"kb-560", ""}};
    for (const auto& [model, kind] : table)
        EXPECT_EQ(mapping::ModuleKindText(model), kind) << model;
    EXPECT_EQ(mapping::StackedLetters("DI"), "D\r\nI");
    EXPECT_EQ(mapping::StackedLetters("RTD"), "R\r\nT\r\nD");
    EXPECT_EQ(mapping::StackedLetters(""), "");
}

}  // namespace
