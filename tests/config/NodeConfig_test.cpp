#include "config/NodeConfig.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

#include "tests/support/ConfigRecords.h"
#include "tests/support/TestFiles.h"

namespace {

// Field widths are part of the record: a value that does not fit its field
// must fail where it is converted, not be cut silently.
template <typename Arr>
using Elem = std::remove_cvref_t<decltype(std::declval<Arr&>()[0])>;
template <typename Arr2>
using Elem2 = std::remove_cvref_t<decltype(std::declval<Arr2&>()(0, 0))>;

static_assert(std::is_same_v<decltype(NodeConfig::NetID), int16_t>);
static_assert(std::is_same_v<decltype(NodeConfig::Spare3), int32_t>);
static_assert(std::is_same_v<decltype(NodeConfig::LightFault), int32_t>);
static_assert(std::is_same_v<Elem<decltype(NodeConfig::Version)>, int16_t>);
static_assert(std::is_same_v<Elem<decltype(NodeConfig::DO_PowerONValue_Low)>, int32_t>);
static_assert(std::is_same_v<Elem<decltype(NodeConfig::AlarmMode)>, int32_t>);
static_assert(std::is_same_v<Elem<decltype(NodeConfig::Spare8)>, int32_t>);
static_assert(std::is_same_v<Elem<decltype(NodeConfig::ChBrokenStatus)>, int32_t>);
static_assert(std::is_same_v<Elem2<decltype(NodeConfig::RangeCode)>, int16_t>);
static_assert(std::is_same_v<Elem2<decltype(NodeConfig::PowerOnValueMode)>, uint8_t>);
static_assert(std::is_same_v<Elem2<decltype(NodeConfig::SafeValueMode)>, uint8_t>);
static_assert(std::is_same_v<Elem<decltype(POConfig::OffsetTime)>, int32_t>);
static_assert(std::is_same_v<Elem<decltype(POConfig::RefTime)>, int16_t>);
static_assert(std::is_same_v<decltype(PIConfig::LPFMode), uint8_t>);
static_assert(std::is_same_v<decltype(PIConfig::EdgeTrig), int32_t>);
static_assert(std::is_same_v<decltype(PIConfig::Impendance), double>);

class NodeConfigTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetConfigRecordsForStartup(); }
    void TearDown() override { ResetConfigRecordsForStartup(); }
};

}  // namespace

TEST_F(NodeConfigTest, StartUpRecordsAreZeroFilledNotDefaulted) {
    const NodeConfig& r = ConfigReal[0];
    EXPECT_EQ(r.UserDefHRange(0, 0), 0);  // its reset value 10000 comes only later
    EXPECT_EQ(r.HighAlarmVal(8, 16), 0);
    EXPECT_EQ(r.Spare2, 0);
    EXPECT_EQ(r.SpareVersion1, "");
    EXPECT_EQ(r.McuName[2], "");
    EXPECT_EQ(r.Hart[8].Data[512], 0);
    EXPECT_EQ(r.PI[8].FilterInterval, 0.0);
    EXPECT_TRUE(ConfigReal[0] == ConfigSetting[0]);
    EXPECT_TRUE(ConfigReal[0] == NodeConfig{});
}

TEST_F(NodeConfigTest, EveryIndexIsCheckedBeforeTheAccess) {
    NodeConfig& c = ConfigReal[0];
    c.Module[8] = "KB-540";
    c.RangeCode(8, 16) = 7;
    c.McuName[2] = "x";
    c.Hart[7].Data[512] = 1;
    c.PO[8].RefTime[16] = 3;
    const NodeConfig before = c;
    const std::function<void()> bad[] = {
        [] { ConfigReal[1].NetID = 1; },     [] { ConfigSetting[-1].NetID = 1; },
        [&] { c.Module[9] = "KB-560"; },     [&] { c.Module[-1] = "KB-560"; },
        [&] { c.RangeCode(9, 0) = 1; },      [&] { c.RangeCode(0, 17) = 1; },
        [&] { c.RangeCode(-1, 3) = 1; },     [&] { c.RangeCode(3, -1) = 1; },
        [&] { c.McuName[3] = "x"; },         [&] { c.PowerName[-1] = "x"; },
        [&] { c.Hart[9].DataLength = 1; },   [&] { c.Hart[0].Data[513] = 1; },
        [&] { c.PO[0].OffsetTime[17] = 1; }, [&] { c.PI[9].LPFMode = 1; },
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        EXPECT_EQ(ErrorNumberOf(bad[i]), rt::ErrSubscriptOutOfRange) << "access " << i;
        EXPECT_TRUE(ConfigReal[0] == before) << "access " << i;
        EXPECT_TRUE(ConfigSetting[0] == NodeConfig{}) << "access " << i;
    }
}

TEST_F(NodeConfigTest, ComparisonSeesEveryPositionIncludingTheUnusedOnes) {
    const std::function<void(NodeConfig&)> changes[] = {
        [](NodeConfig& c) { c.RangeCode(8, 16) = 1; },
        [](NodeConfig& c) { c.PO[8].PWMCount[16] = 1; },
        [](NodeConfig& c) { c.McuName[2] = "GW-7010"; },
        [](NodeConfig& c) { c.Hart[8].Data[512] = 1; },
        [](NodeConfig& c) { c.PI[0].Impendance = 0.5; },
        [](NodeConfig& c) { c.IPAddress = "127.0.0.1"; },
        [](NodeConfig& c) { c.DipSwitch = 1; },
        [](NodeConfig& c) { c.Spare7[8] = 1; },
    };
    for (size_t i = 0; i < std::size(changes); ++i) {
        NodeConfig a, b;
        changes[i](b);
        EXPECT_FALSE(a == b) << "change " << i;
        changes[i](a);
        EXPECT_TRUE(a == b) << "change " << i;
    }
}

TEST_F(NodeConfigTest, TheTwoCopiesAreIndependent) {
    ConfigReal[0].Module[0] = "KB-560";
    ConfigReal[0].SlotPresent[0] = kTrue;
    ConfigSetting[0] = ConfigReal[0];
    ConfigReal[0].Module[0] += "x";
    EXPECT_EQ(ConfigSetting[0].Module[0], "KB-560");
    ResetConfigRecordsForStartup();
    EXPECT_EQ(ConfigReal[0].Module[0], "");
    EXPECT_EQ(ConfigSetting[0].SlotPresent[0], 0);
}
