#include "link/ModuleCommands.h"

#include <gtest/gtest.h>

#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "platform/runtime.h"
#include "sequence_support.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace nxlink;
using Words = std::vector<uint16_t>;

int (&ErrorOf)(const std::function<void()>&) = ErrorNumberOf;

class ModuleCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetConfigRecordsForStartup();
        ConfigReal[0].NetID = 1;
    }
    NodeConfig& set() { return ConfigSetting[0]; }
    // Puts a model into slot s of ConfigSetting with its catalog counts.
    void Put(int s, const std::string& model) {
        set().Module(s) = model;
        const CatalogEntry* e = FindCatalogEntry(model);
        set().AIChannel(s) = e ? e->Counts.AI : 0;
        set().AOChannel(s) = e ? e->Counts.AO : 0;
        set().PIChannel(s) = e ? e->Counts.PI : 0;
        set().POChannel(s) = e ? e->Counts.PO : 0;
    }
    static Words Codes(const std::vector<ModuleCommand>& cmds) {
        Words codes;
        for (const auto& c : cmds) codes.push_back(c.Code);
        return codes;
    }
    Words BlockOf(int s, const std::string& model) {
        Put(s, model);
        return Codes(FamilyBlock(0, s));
    }
    static std::string Frame(const ModuleCommand& c, uint8_t unit = 1) {
        return HexBytes(BuildModuleCommandFrame(unit, c));
    }
};

// ---- Frames ----------------------------------------------------------------

TEST_F(ModuleCommands, NmtFrameIsNineteenBytesToTheCommandRegister) {
    EXPECT_EQ(Frame(NmtCommand(3, NmtToPreOp)),
              "00 00 00 00 00 0D 01 10 80 00 00 03 06 00 01 00 03 00 01");
    EXPECT_EQ(Frame(NmtCommand(7, NmtToOp), 247),
              "00 00 00 00 00 0D F7 10 80 00 00 03 06 00 01 00 07 00 02");
    EXPECT_EQ(NmtCommand(3, NmtToPreOp).Text, " NMT to PreOp-Mode");
    EXPECT_EQ(NmtCommand(3, NmtToOp).Text, " NMT to OP-Mode");
}

TEST_F(ModuleCommands, EveryFrameCarriesItsLengthAndByteCount) {
    const char* models[] = {"KB-560", "KB-570", "KA-322", "KB-540", "KB-523", "KA-310",
                            "KB-553", "KA-352", "KA-351", "KB-580", "KB-590", "KA-330"};
    for (const char* m : models) {
        Put(2, m);
        for (const ModuleCommand& c : SlotSeries(0, 2)) {
            const ModbusFrame f = BuildModuleCommandFrame(1, c);
            const size_t q = c.Registers().size();
            const size_t length = static_cast<size_t>(f[4] << 8 | f[5]);
            EXPECT_EQ(f.size(), 13 + 2 * q) << m << " command " << c.Code;
            EXPECT_EQ(length, f[12] + 7u);
            EXPECT_EQ(f.size(), length + 6);
            EXPECT_EQ(f[12], 2 * q);
            EXPECT_EQ(f[10] << 8 | f[11], static_cast<int>(q));
            EXPECT_EQ(f[8], 0x80);
            EXPECT_EQ(f[9], 0x00);
            EXPECT_EQ(f[7], 0x10);
        }
    }
}

TEST_F(ModuleCommands, DigitalOutputMasksSendTheirLowSixteenBits) {
    set().DO_PowerONValue_High(1) = 0x12345;  // bit 16 is not sent
    set().DO_PowerONValue_Low(1) = 0x00FF;
    set().DO_SafeValue_High(1) = -1;
    set().DO_SafeValue_Low(1) = 0x8001;
    EXPECT_EQ(Frame(DoPowerOnSafeCommand(0, 1)),
              "00 00 00 00 00 13 01 10 80 00 00 06 0C 00 20 00 01 23 45 00 FF FF FF 80 01");
    set().PowerOnValueMode(1, 0) = 1;
    set().SafeValueMode(1, 0) = 2;
    EXPECT_EQ(DoFaultModeCommand(0, 1).Data, Words{0x0102});
}

TEST_F(ModuleCommands, SignedValuesGoOutInTwosComplement) {
    Put(2, "KB-523");
    set().UserDefLRange(2, 0) = -100;
    set().UserDefHRange(2, 0) = 10000;
    set().UserDefLRange(2, 7) = -32768;
    set().UserDefHRange(2, 7) = 32767;
    const ModuleCommand c = ScaleLowHighCommand(0, 2, 8);
    ASSERT_EQ(c.Data.size(), 2u + 16u);
    EXPECT_EQ(c.Data[0], 0);
    EXPECT_EQ(c.Data[1], 8);
    EXPECT_EQ(c.Data[2], 0xFF9C);
    EXPECT_EQ(c.Data[3], 10000);
    EXPECT_EQ(c.Data[16], 0x8000);
    EXPECT_EQ(c.Data[17], 0x7FFF);
    EXPECT_EQ(c.Text, " scale low/high value OK!");
}

TEST_F(ModuleCommands, AlarmAndBreakLineMasks) {
    set().AlarmMode(2) = (1 << 0) | (1 << 1) | (1 << 16);
    EXPECT_EQ(AlarmEnableCommand(0, 2).Data, Words{0x0003});
    set().CHBreakLineMode(2) = (1 << 0) | (1 << 17) | (1 << 24);
    EXPECT_EQ(BreakLineCommand(0, 2, BreakLineOf::SensorModule).Data, (Words{0x0002, 0x0001}));
    set().CHBreakLineMode(2) = -1;
    EXPECT_EQ(BreakLineCommand(0, 2, BreakLineOf::OutputModule).Data, (Words{0x00FF, 0xFFFF}));
    EXPECT_EQ(BreakLineCommand(0, 2, BreakLineOf::OutputModule).Text,
              " Channel breakline detected function OK!");
    EXPECT_EQ(BreakLineCommand(0, 2, BreakLineOf::SensorModule).Text,
              " channel breakline detected function OK!");
}

TEST_F(ModuleCommands, DoublesAreRoundedHalfToEvenIntoTwoWords) {
    auto interval = [&](double v) {
        set().PI(5).FilterInterval = v;
        return PiFilterIntervalCommand(0, 5).Data;
    };
    EXPECT_EQ(interval(2.5), (Words{0x0000, 0x0002}));
    EXPECT_EQ(interval(3.5), (Words{0x0000, 0x0004}));
    EXPECT_EQ(interval(100), (Words{0x0000, 0x0064}));
    EXPECT_EQ(interval(70000), (Words{0x0001, 0x1170}));
    EXPECT_EQ(interval(-2), (Words{0xFFFF, 0xFFFE}));
    set().PI(5).Impendance = 5.5;
    EXPECT_EQ(PiImpedanceLimitCommand(0, 5).Data, (Words{0x0000, 0x0006}));
    set().PI(5).FilterInterval = 3e9;
    EXPECT_EQ(ErrorOf([&] { PiFilterIntervalCommand(0, 5); }), rt::ErrOverflow);
}

TEST_F(ModuleCommands, PulseInputFilterConfiguration) {
    set().PI(5).LPFMode = 0x81;
    set().PI(5).EdgeTrig = (1 << 0) | (1 << 2) | (1 << 14) | (1 << 16);
    EXPECT_EQ(PiFilterConfigCommand(0, 5).Data, (Words{0x0081, 0x0000, 0x4005}));
}

TEST_F(ModuleCommands, PulseOutputListsAndPairs) {
    Put(6, "KB-590");
    POConfig& po = set().PO(6);
    po.OffsetTime(0) = 65535;
    po.PWMCount(0) = 7;
    po.OffsetTime(1) = 70000;  // bits 0-15 only
    po.CyclicSteps(1) = 10;
    po.DutySteps(1) = 5;
    po.RefTime(2) = 30000;
    set().SafeValueMode(6, 3) = 0xAB;
    EXPECT_EQ(PoOffsetTimeCommand(0, 6, 2).Data, (Words{0, 2, 0xFFFF, 7, 0x1170, 0}));
    EXPECT_EQ(PoCycleDutyCommand(0, 6, 2).Data, (Words{0, 2, 0, 0, 10, 5}));
    EXPECT_EQ(PoReferenceTimeCommand(0, 6, 3).Data, (Words{0, 3, 0, 0, 30000}));
    EXPECT_EQ(PoFaultModeCommand(0, 6, 4).Data, (Words{0, 4, 0, 0, 0, 0x00AB}));
}

TEST_F(ModuleCommands, AnalogOutputFaultModesPackPowerOnAndSafeModes) {
    set().PowerOnValueMode(4, 1) = 3;
    set().SafeValueMode(4, 1) = 4;
    set().PowerOnValue(4, 0) = -5;
    set().SafeValue(4, 1) = 12000;
    EXPECT_EQ(AoFaultModeCommand(0, 4, 2).Data, (Words{0, 2, 0, 0x0304}));
    EXPECT_EQ(AoPowerOnCommand(0, 4, 2).Data, (Words{0, 2, 0xFFFB, 0}));
    EXPECT_EQ(AoSafeCommand(0, 4, 2).Data, (Words{0, 2, 0, 12000}));
}

// ---- Family blocks ---------------------------------------------------------

TEST_F(ModuleCommands, FamilyBlocksInTheirOrder) {
    EXPECT_EQ(BlockOf(0, "KB-560"), Words{});
    EXPECT_EQ(BlockOf(0, "KA-360"), Words{});
    EXPECT_EQ(BlockOf(0, ""), Words{});
    EXPECT_EQ(BlockOf(0, "KB-531"), Words{});
    EXPECT_EQ(BlockOf(0, "KB-999"), Words{});
    EXPECT_EQ(BlockOf(1, "KB-570"), (Words{32, 33}));
    EXPECT_EQ(BlockOf(2, "KA-322"), (Words{66, 67}));
    EXPECT_EQ(BlockOf(2, "KB-521"), (Words{66, 67}));
    EXPECT_EQ(BlockOf(2, "KB-523"), (Words{64, 65, 66, 67, 81}));
    EXPECT_EQ(BlockOf(2, "KA-310"), (Words{64, 65, 66, 67, 81}));
    EXPECT_EQ(BlockOf(2, "KA-330"), (Words{64, 65, 66, 67, 80, 81}));
    EXPECT_EQ(BlockOf(4, "KB-553"), (Words{64, 81, 66, 67, 48, 49, 50}));
    EXPECT_EQ(BlockOf(4, "KA-353"), (Words{64, 81, 66, 67, 48, 49, 50}));
    EXPECT_EQ(BlockOf(4, "KA-352"), (Words{66, 67, 48, 49, 50, 81}));
    EXPECT_EQ(BlockOf(4, "KB-551"), (Words{66, 67, 48, 49, 50, 81}));
    EXPECT_EQ(BlockOf(4, "KA-351"), (Words{66, 67, 48, 49, 50}));
    EXPECT_EQ(BlockOf(4, "KA-355"), (Words{66, 67, 48, 49, 50}));
    EXPECT_EQ(BlockOf(5, "KB-580"), (Words{64, 97, 98, 99}));
    EXPECT_EQ(BlockOf(6, "KA-371"), (Words{64, 112, 113, 114, 115}));
}

TEST_F(ModuleCommands, AiFilterModeOnlyFromControllerVersion301) {
    for (const char* m : {"KA-340", "KB-540"}) {
        set().McuVersion = 300;
        EXPECT_EQ(BlockOf(3, m), (Words{64, 65, 66, 67, 80, 81})) << m;
        set().McuVersion = 301;
        EXPECT_EQ(BlockOf(3, m), (Words{64, 65, 66, 67, 80, 81, 82})) << m;
    }
    // The gate reads the edited copy, not the read one.
    ConfigReal[0].McuVersion = 301;
    set().McuVersion = 0;
    EXPECT_EQ(BlockOf(3, "KB-540").size(), 6u);
    set().MainsFrequency(3) = 60;
    set().AIDigitalFilterMode(3) = 2;
    set().AIFilterModeHigh(3) = 9;
    EXPECT_EQ(AiFilterModeCommand(0, 3).Data, (Words{2, 9, 60}));
}

TEST_F(ModuleCommands, SixteenChannelListsHaveTheirLengths) {
    Put(2, "KA-322");
    const auto block = FamilyBlock(0, 2);
    ASSERT_EQ(block.size(), 2u);
    EXPECT_EQ(block[0].Registers().size(), 36u);
    EXPECT_EQ(BuildModuleCommandFrame(1, block[0]).size(), 85u);
    EXPECT_EQ(block[1].Registers().size(), 3u);

    Put(4, "KB-553");
    const auto ao = FamilyBlock(0, 4);
    ASSERT_EQ(ao[4].Code, CmdAoPowerOn);
    EXPECT_EQ(ao[4].Registers().size(), 20u);
    const ModbusFrame f = BuildModuleCommandFrame(1, ao[4]);
    EXPECT_EQ(f.size(), 53u);
    EXPECT_EQ(f[5], 47);
}

TEST_F(ModuleCommands, SeriesIsFramedByTheTwoNmtCommands) {
    Put(2, "KB-521");
    set().RedundancyToSlot(2) = 1;
    set().BreakLineFunc(2) = 1;
    const auto series = SlotSeries(0, 2);
    EXPECT_EQ(Codes(series), (Words{1, 16, 17, 66, 67, 1}));
    EXPECT_EQ(series.front().Data, Words{NmtToPreOp});
    EXPECT_EQ(series[1].Data, Words{1});
    EXPECT_EQ(series[1].Text, " redundancy status");
    EXPECT_EQ(series[2].Data, Words{1});
    EXPECT_EQ(series[2].Text, " terminal line detect function OK!");
    EXPECT_EQ(series.back().Data, Words{NmtToOp});
    for (const auto& c : series) EXPECT_EQ(c.Slot, 2);
}

TEST_F(ModuleCommands, ChannelCountsThatDoNotFitTheRecordAreRefused) {
    Put(2, "KB-521");
    set().AIChannel(2) = 17;  // the record's last channel column
    EXPECT_EQ(FamilyBlock(0, 2)[0].Data.size(), 2u + 2u * 17u);
    for (int16_t bad : {18, 40, -1}) {
        set().AIChannel(2) = bad;
        EXPECT_EQ(ErrorOf([&] { SlotSeries(0, 2); }), rt::ErrSubscriptOutOfRange) << bad;
    }
    set().AIChannel(2) = 0;  // list commands go out with N = 0
    EXPECT_EQ(FamilyBlock(0, 2)[0].Data, (Words{0, 0}));
    EXPECT_EQ(ErrorOf([&] { SlotSeries(1, 2); }), rt::ErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { SlotSeries(0, 9); }), rt::ErrSubscriptOutOfRange);
}

// ---- Immediate commands ----------------------------------------------------

TEST_F(ModuleCommands, RedundancySwitchTargetsTheMasterCandidate) {
    NodeConfig& r = ConfigReal[0];
    for (int s : {2, 3}) {
        r.NMTState(s) = 32;
        r.RedundancyToSlot(s) = 1;
    }
    r.DuplexStatus(3) = 5;
    auto c = RedundancySwitchFor(0, 3);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->Registers(), (Words{0, 2, 5}));
    EXPECT_EQ(HexBytes(BuildModuleCommandFrame(1, *c)),
              "00 00 00 00 00 0D 01 10 80 00 00 03 06 00 00 00 02 00 05");
    r.DuplexStatus(2) = 1;
    EXPECT_EQ(RedundancySwitchFor(0, 2)->Registers(), (Words{0, 2, 5}));

    r.NMTState(3) = 16;
    EXPECT_FALSE(RedundancySwitchFor(0, 2).has_value());
    r.NMTState(3) = 32;
    r.RedundancyToSlot(2) = 0;
    EXPECT_FALSE(RedundancySwitchFor(0, 3).has_value());
}

TEST_F(ModuleCommands, CounterClearMaskIsOneBitPerChannel) {
    EXPECT_EQ(PiCounterClearCommand(5, 0).Registers(), (Words{96, 5, 1}));
    EXPECT_EQ(PiCounterClearCommand(5, 7).Registers(), (Words{96, 5, 128}));
    EXPECT_EQ(PiCounterClearCommand(5, 15).Data, Words{0x8000});
    EXPECT_EQ(ErrorOf([] { PiCounterClearCommand(5, 16); }), rt::ErrOverflow);
}

}  // namespace
