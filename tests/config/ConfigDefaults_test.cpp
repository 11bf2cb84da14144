#include "config/ConfigDefaults.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "config/NodeConfig.h"
#include "tests/support/ConfigRecords.h"
#include "tests/support/TestFiles.h"

// The expected records below are built from the field groups through
// member-pointer tables, independently of how the operations walk the
// record, and compared whole with operator==, so a write to any field
// outside the documented groups (channel 16, name position 2, the fields
// that belong to the read copy alone) makes the comparison fail.

namespace {

// ---- Field groups ------------------------------------------------------------

PerSlot<int16_t> NodeConfig::*const kSlotInts[] = {
    &NodeConfig::DIChannel,        &NodeConfig::DOChannel,       &NodeConfig::AIChannel,
    &NodeConfig::AOChannel,        &NodeConfig::PIChannel,       &NodeConfig::POChannel,
    &NodeConfig::SlotPresent,      &NodeConfig::DownloadPending, &NodeConfig::RedundancyToSlot,
    &NodeConfig::CJCSetting,       &NodeConfig::CJCValue,        &NodeConfig::AIDigitalFilterMode,
    &NodeConfig::AIFilterModeHigh, &NodeConfig::MainsFrequency,
};
PerSlot<int32_t> NodeConfig::*const kSlotLongs[] = {
    &NodeConfig::DO_PowerONValue_Low, &NodeConfig::DO_PowerONValue_High,
    &NodeConfig::DO_SafeValue_Low,    &NodeConfig::DO_SafeValue_High,
    &NodeConfig::AlarmMode,           &NodeConfig::CHBreakLineMode,
};
PerSlot<std::string> NodeConfig::*const kSlotStrings[] = {&NodeConfig::PredefModule,
                                                          &NodeConfig::Module};
PerChannel<int16_t> NodeConfig::*const kChannelInts[] = {
    &NodeConfig::PowerOnValue,  &NodeConfig::SafeValue,   &NodeConfig::RangeCode,
    &NodeConfig::UserDefLRange, &NodeConfig::LowAlarmVal,
};
PerChannel<int16_t> NodeConfig::*const kChannelHigh[] = {&NodeConfig::UserDefHRange,
                                                         &NodeConfig::HighAlarmVal};
PerChannel<uint8_t> NodeConfig::*const kChannelBytes[] = {&NodeConfig::PowerOnValueMode,
                                                          &NodeConfig::SafeValueMode};
ChannelRow<int16_t> POConfig::*const kPoInts[] = {&POConfig::CyclicSteps, &POConfig::DutySteps,
                                                  &POConfig::RefTime, &POConfig::PWMCount};

// ---- A record with a distinct non-zero value in every field -------------------

class Filler {
  public:
    explicit Filler(int seed) : next_(seed * 37 + 11) {}
    int16_t I() { return static_cast<int16_t>(Next() % 30000 + 1); }
    int32_t L() { return 100000 + Next(); }
    uint8_t B() { return static_cast<uint8_t>(Next() % 250 + 1); }
    double D() { return Next() + 0.25; }
    std::string S() { return "text " + std::to_string(Next()); }

  private:
    int Next() { return next_ += 3; }
    int next_;
};

NodeConfig Filled(int seed) {
    Filler f(seed);
    NodeConfig c;
    c.ControllerPresent = f.I();
    c.Spare1 = f.I();
    c.Spare2 = f.I();
    c.Controller = f.S();
    c.IPAddress = f.S();
    c.NetID = f.I();
    c.McuFwVersion = f.I();
    c.SpareVersion1 = f.S();
    c.Spare3 = f.L();
    c.SpareVersion2 = f.S();
    c.Spare4 = f.L();
    c.McuVersion = f.I();
    c.McuLibVersion = f.I();
    for (int i = 0; i < kNamePositions; ++i) {
        c.McuName[i] = f.S();
        c.PowerName[i] = f.S();
    }
    c.TotalSlot = f.I();
    for (int s = 0; s < kSlotPositions; ++s) {
        c.Version[s] = f.I();
        c.PredefModule[s] = f.S();
        c.Module[s] = f.S();
        for (auto m : kSlotInts) (c.*m)[s] = f.I();
        for (auto m : kSlotLongs) (c.*m)[s] = f.L();
        c.BreakLineFunc[s] = f.I();
        c.RedundancyInfo[s] = f.I();
        c.DuplexStatus[s] = f.I();
        c.Spare7[s] = f.L();
        c.Spare8[s] = f.L();
        c.PI[s] = PIConfig{f.B(), f.B(), f.L(), f.D(), f.D()};
        c.NMTState[s] = f.I();
        c.LightEmcy[s] = f.L();
        c.HeavyEmcy[s] = f.L();
        c.UnderLowLimit[s] = f.I();
        c.UnderLowLowLimit[s] = f.I();
        c.ExceedHighLimit[s] = f.I();
        c.ExceedHighHighLimit[s] = f.I();
        c.ChBrokenStatus[s] = f.L();
        c.Hart[s].ProcessStatus = f.I();
        c.Hart[s].ErrorCode = f.I();
        c.Hart[s].DataLength = f.I();
        for (int b = 0; b < kHartDataBytes; ++b) c.Hart[s].Data[b] = f.B();
        for (int ch = 0; ch < kChannelPositions; ++ch) {
            for (auto m : kChannelInts) (c.*m)(s, ch) = f.I();
            for (auto m : kChannelHigh) (c.*m)(s, ch) = f.I();
            for (auto m : kChannelBytes) (c.*m)(s, ch) = f.B();
            for (auto m : kPoInts) (c.PO[s].*m)[ch] = f.I();
            c.PO[s].OffsetTime[ch] = f.L();
        }
    }
    c.TcpTimeout = f.I();
    c.McuStatus = f.I();
    c.OtherMcuStatus = f.I();
    c.CanStatus = f.I();
    c.PwmStatus = f.I();
    c.LightFault = f.L();
    c.HeavyFault = f.L();
    c.DipSwitch = f.I();
    return c;
}

// ---- Expected results, from the group tables ------------------------------------

NodeConfig DefaultsOver(NodeConfig c, bool real) {
    c.ControllerPresent = c.Spare1 = c.NetID = c.McuFwVersion = 0;
    c.Spare3 = c.Spare4 = 0;
    c.McuVersion = c.McuLibVersion = c.TotalSlot = 0;
    c.Spare2 = -1;
    c.Controller = "";
    c.SpareVersion1 = c.SpareVersion2 = real ? "v0.0.0" : "";
    for (int i : {0, 1}) c.McuName[i] = c.PowerName[i] = "";
    for (int s = 0; s < 9; ++s) {
        c.Version[s] = 0;
        for (auto m : kSlotStrings) (c.*m)[s] = "";
        for (auto m : kSlotInts) (c.*m)[s] = 0;
        for (auto m : kSlotLongs) (c.*m)[s] = 0;
        c.PI[s] = PIConfig{};
        for (int ch = 0; ch < 16; ++ch) {
            for (auto m : kChannelInts) (c.*m)(s, ch) = 0;
            for (auto m : kChannelHigh) (c.*m)(s, ch) = real ? 10000 : 0;
            for (auto m : kChannelBytes) (c.*m)(s, ch) = 0;
            for (auto m : kPoInts) (c.PO[s].*m)[ch] = 0;
            c.PO[s].OffsetTime[ch] = 0;
        }
    }
    c.McuStatus = c.OtherMcuStatus = c.CanStatus = c.PwmStatus = 0;
    c.LightFault = c.HeavyFault = 0;
    return c;
}

void ExpectSlotCopied(const NodeConfig& from, int fs, NodeConfig& to, int ts, bool identity) {
    for (auto m : kSlotInts) (to.*m)[ts] = (from.*m)[fs];
    for (auto m : kSlotLongs) (to.*m)[ts] = (from.*m)[fs];
    for (auto m : kSlotStrings) (to.*m)[ts] = (from.*m)[fs];
    to.BreakLineFunc[ts] = from.BreakLineFunc[fs];
    to.PI[ts] = from.PI[fs];
    if (identity) {
        to.Version[ts] = from.Version[fs];
        to.Spare8[ts] = from.Spare8[fs];
    }
    for (int ch = 0; ch < 16; ++ch) {
        for (auto m : kChannelInts) (to.*m)(ts, ch) = (from.*m)(fs, ch);
        for (auto m : kChannelHigh) (to.*m)(ts, ch) = (from.*m)(fs, ch);
        for (auto m : kChannelBytes) (to.*m)(ts, ch) = (from.*m)(fs, ch);
        for (auto m : kPoInts) (to.PO[ts].*m)[ch] = (from.PO[fs].*m)[ch];
        to.PO[ts].OffsetTime[ch] = from.PO[fs].OffsetTime[ch];
    }
}

NodeConfig WholeCopyOver(NodeConfig to, const NodeConfig& from, int slots) {
    to.ControllerPresent = from.ControllerPresent;
    to.Spare1 = from.Spare1;
    to.Spare2 = from.Spare2;
    to.Controller = from.Controller;
    to.NetID = from.NetID;
    to.McuFwVersion = from.McuFwVersion;
    to.SpareVersion1 = from.SpareVersion1;
    to.Spare3 = from.Spare3;
    to.SpareVersion2 = from.SpareVersion2;
    to.Spare4 = from.Spare4;
    to.McuVersion = from.McuVersion;
    to.McuLibVersion = from.McuLibVersion;
    to.TotalSlot = from.TotalSlot;
    for (int i : {0, 1}) {
        to.McuName[i] = from.McuName[i];
        to.PowerName[i] = from.PowerName[i];
    }
    to.McuStatus = from.McuStatus;
    to.OtherMcuStatus = from.OtherMcuStatus;
    to.CanStatus = from.CanStatus;
    to.PwmStatus = from.PwmStatus;
    to.LightFault = from.LightFault;
    to.HeavyFault = from.HeavyFault;
    to.DipSwitch = from.DipSwitch;
    for (int s = 0; s < slots; ++s) ExpectSlotCopied(from, s, to, s, true);
    return to;
}

class ConfigDefaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ConfigReal[0] = Filled(1);
        ConfigSetting[0] = Filled(2);
        real_ = ConfigReal[0];
        setting_ = ConfigSetting[0];
    }
    void TearDown() override { ResetConfigRecordsForStartup(); }

    NodeConfig real_, setting_;  // the records before the operation
};

}  // namespace

TEST(ConfigDefaultsFiller, EveryFieldDiffersBetweenSeedsAndFromTheDefaults) {
    // The expected-record comparisons are only as strong as the filler: a
    // field it leaves equal in both records would hide a wrong copy.
    const NodeConfig a = Filled(1), b = Filled(2);
    EXPECT_FALSE(a == b);
    EXPECT_NE(a.UserDefHRange(8, 16), b.UserDefHRange(8, 16));
    EXPECT_NE(a.Hart[8].Data[512], b.Hart[8].Data[512]);
    EXPECT_NE(a.McuName[2], b.McuName[2]);
    EXPECT_NE(a.PI[8].Impendance, b.PI[8].Impendance);
    EXPECT_NE(a.UserDefHRange(0, 0), 10000);
    EXPECT_NE(a.Spare2, -1);
}

TEST_F(ConfigDefaultsTest, RealDefaultsTouchOnlyTheirGroups) {
    SetConfigRealToDefault(0);
    EXPECT_TRUE(ConfigReal[0] == DefaultsOver(real_, true));
    EXPECT_TRUE(ConfigSetting[0] == setting_);
    const NodeConfig& c = ConfigReal[0];
    for (int s = 0; s < kSlotPositions; ++s) {
        EXPECT_EQ(c.UserDefHRange(s, 15), 10000);
        EXPECT_EQ(c.HighAlarmVal(s, 0), 10000);
        EXPECT_EQ(c.UserDefHRange(s, 16), real_.UserDefHRange(s, 16));
        EXPECT_EQ(c.HighAlarmVal(s, 16), real_.HighAlarmVal(s, 16));
        EXPECT_EQ(c.BreakLineFunc[s], real_.BreakLineFunc[s]);
        EXPECT_EQ(c.Spare8[s], real_.Spare8[s]);
        EXPECT_EQ(c.PO[s].OffsetTime[16], real_.PO[s].OffsetTime[16]);
        EXPECT_TRUE(c.Hart[s] == real_.Hart[s]);
    }
    EXPECT_EQ(c.SpareVersion1, "v0.0.0");
    EXPECT_EQ(c.SpareVersion2, "v0.0.0");
    EXPECT_EQ(c.Spare2, -1);
    EXPECT_EQ(c.DipSwitch, real_.DipSwitch);
    EXPECT_EQ(c.IPAddress, real_.IPAddress);
    EXPECT_EQ(c.McuName[2], real_.McuName[2]);
}

TEST_F(ConfigDefaultsTest, SettingDefaultsDifferOnlyInTheMarkedRows) {
    SetConfigSettingToDefault(0);
    EXPECT_TRUE(ConfigSetting[0] == DefaultsOver(setting_, false));
    EXPECT_TRUE(ConfigReal[0] == real_);
    const NodeConfig& c = ConfigSetting[0];
    EXPECT_EQ(c.UserDefHRange(3, 7), 0);
    EXPECT_EQ(c.HighAlarmVal(8, 15), 0);
    EXPECT_EQ(c.SpareVersion1, "");
    EXPECT_EQ(c.SpareVersion2, "");
    EXPECT_EQ(c.UserDefHRange(3, 16), setting_.UserDefHRange(3, 16));
}

TEST_F(ConfigDefaultsTest, DisconnectSequenceResetsBothCopies) {
    SetConfigRealToDefault(0);
    SetConfigSettingToDefault(0);
    for (const NodeConfig* c : {&ConfigReal[0], &ConfigSetting[0]}) {
        for (int s = 0; s < kSlotPositions; ++s)
            for (int ch = 0; ch < kChannelLoop; ++ch) {
                EXPECT_EQ(c->PowerOnValueMode(s, ch), 0);
                EXPECT_EQ(c->SafeValueMode(s, ch), 0);
            }
    }
    EXPECT_EQ(ConfigReal[0].NMTState[4], real_.NMTState[4]);
    EXPECT_EQ(ConfigReal[0].DuplexStatus[4], real_.DuplexStatus[4]);
    EXPECT_EQ(ConfigReal[0].ChBrokenStatus[4], real_.ChBrokenStatus[4]);
    EXPECT_EQ(ConfigReal[0].TcpTimeout, real_.TcpTimeout);
}

TEST_F(ConfigDefaultsTest, RealToSettingCopiesSlotsZeroToSevenOnly) {
    SetConfig_RealToSetting(0);
    EXPECT_TRUE(ConfigSetting[0] == WholeCopyOver(setting_, real_, kStationSlots));
    EXPECT_TRUE(ConfigReal[0] == real_);
    const NodeConfig& c = ConfigSetting[0];
    EXPECT_EQ(c.Module[8], setting_.Module[8]);
    EXPECT_EQ(c.RangeCode(8, 0), setting_.RangeCode(8, 0));
    EXPECT_EQ(c.Module[7], real_.Module[7]);
    EXPECT_EQ(c.DownloadPending[7], real_.DownloadPending[7]);
    EXPECT_EQ(c.RangeCode(7, 16), setting_.RangeCode(7, 16));
    EXPECT_EQ(c.IPAddress, setting_.IPAddress);
    EXPECT_EQ(c.McuName[2], setting_.McuName[2]);
    EXPECT_EQ(c.DipSwitch, real_.DipSwitch);
}

TEST_F(ConfigDefaultsTest, SettingToRealCopiesSlotEightToo) {
    SetConfig_SettingToReal(0);
    EXPECT_TRUE(ConfigReal[0] == WholeCopyOver(real_, setting_, kSlotPositions));
    EXPECT_TRUE(ConfigSetting[0] == setting_);
    EXPECT_EQ(ConfigReal[0].Module[8], setting_.Module[8]);
    EXPECT_EQ(ConfigReal[0].Version[8], setting_.Version[8]);
    EXPECT_TRUE(ConfigReal[0].Hart[8] == real_.Hart[8]);
}

TEST_F(ConfigDefaultsTest, OneSlotCopiesMoveOneSlotInEitherDirection) {
    for (int16_t slot : {int16_t{0}, int16_t{5}, int16_t{8}}) {
        SetUp();
        SetConfig_RealToSetting_OneSlot(0, slot);
        NodeConfig expected = setting_;
        ExpectSlotCopied(real_, slot, expected, slot, true);
        EXPECT_TRUE(ConfigSetting[0] == expected) << "slot " << slot;
        EXPECT_TRUE(ConfigReal[0] == real_);

        SetUp();
        SetConfig_SettingToReal_OneSlot(0, slot);
        expected = real_;
        ExpectSlotCopied(setting_, slot, expected, slot, true);
        EXPECT_TRUE(ConfigReal[0] == expected) << "slot " << slot;
        EXPECT_TRUE(ConfigSetting[0] == setting_);
        EXPECT_EQ(ConfigReal[0].Controller, real_.Controller);  // no header
    }
}

TEST_F(ConfigDefaultsTest, DownloadedSlotKeepsItsPendingMarkInTheReadCopy) {
    ConfigSetting[0].DownloadPending[3] = kTrue;
    ConfigReal[0].DownloadPending[3] = kFalse;
    SetConfig_SettingToReal_OneSlot(0, 3);
    ConfigSetting[0].DownloadPending[3] = kFalse;
    EXPECT_EQ(ConfigReal[0].DownloadPending[3], kTrue);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[3], kFalse);
}

TEST_F(ConfigDefaultsTest, CopySlotSettingKeepsVersionAndSpare8OfTheDestination) {
    CopySlotSetting(0, 2, 3);
    NodeConfig expected = setting_;
    ExpectSlotCopied(setting_, 2, expected, 3, false);
    EXPECT_TRUE(ConfigSetting[0] == expected);
    EXPECT_TRUE(ConfigReal[0] == real_);
    const NodeConfig& c = ConfigSetting[0];
    EXPECT_EQ(c.Version[3], setting_.Version[3]);
    EXPECT_EQ(c.Spare8[3], setting_.Spare8[3]);
    EXPECT_EQ(c.Module[3], setting_.Module[2]);
    EXPECT_EQ(c.SlotPresent[3], setting_.SlotPresent[2]);
    EXPECT_EQ(c.DownloadPending[3], setting_.DownloadPending[2]);
    EXPECT_EQ(c.PO[3].PWMCount[16], setting_.PO[3].PWMCount[16]);
}

TEST_F(ConfigDefaultsTest, CopySlotSettingOntoItselfChangesNothing) {
    CopySlotSetting(0, 4, 4);
    EXPECT_TRUE(ConfigSetting[0] == setting_);
    EXPECT_TRUE(ConfigReal[0] == real_);
}

TEST_F(ConfigDefaultsTest, CopiedStringsAreIndependent) {
    SetConfig_RealToSetting(0);
    ConfigReal[0].Module[1] += " changed";
    ConfigReal[0].Controller.clear();
    EXPECT_EQ(ConfigSetting[0].Module[1], real_.Module[1]);
    EXPECT_EQ(ConfigSetting[0].Controller, real_.Controller);
}

TEST_F(ConfigDefaultsTest, BadNodeOrSlotRaisesBeforeAnyWrite) {
    const std::function<void()> calls[] = {
        [] { SetConfigRealToDefault(1); },
        [] { SetConfigSettingToDefault(-1); },
        [] { SetConfig_RealToSetting(1); },
        [] { SetConfig_SettingToReal(2); },
        [] { SetConfig_RealToSetting_OneSlot(1, 0); },
        [] { SetConfig_RealToSetting_OneSlot(0, 9); },
        [] { SetConfig_RealToSetting_OneSlot(0, -1); },
        [] { SetConfig_SettingToReal_OneSlot(1, 0); },
        [] { SetConfig_SettingToReal_OneSlot(0, 9); },
        [] { SetConfig_SettingToReal_OneSlot(0, -1); },
        [] { CopySlotSetting(1, 0, 1); },
        [] { CopySlotSetting(0, 9, 1); },
        [] { CopySlotSetting(0, 1, 9); },
        [] { CopySlotSetting(0, -1, 0); },
        [] { CopySlotSetting(0, 0, 32767); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_EQ(ErrorNumberOf(calls[i]), rt::ErrSubscriptOutOfRange) << "call " << i;
        EXPECT_TRUE(ConfigReal[0] == real_) << "call " << i;
        EXPECT_TRUE(ConfigSetting[0] == setting_) << "call " << i;
    }
}
