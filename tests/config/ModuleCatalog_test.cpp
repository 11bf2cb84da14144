#include "config/ModuleCatalog.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/NodeConfig.h"
#include "tests/support/ConfigRecords.h"

namespace {

class ModuleCatalogTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetConfigRecordsForStartup(); }
    void TearDown() override { ResetConfigRecordsForStartup(); }

    static void PutModule(int slot, const std::string& model, int16_t present = kTrue) {
        ConfigReal[0].Module[slot] = model;
        ConfigReal[0].SlotPresent[slot] = present;
    }
    static std::vector<int16_t> CountsOf(const NodeConfig& c, int slot) {
        return {c.DIChannel[slot], c.DOChannel[slot], c.AIChannel[slot],
                c.AOChannel[slot], c.PIChannel[slot], c.POChannel[slot]};
    }
    static void SetAllCounts(int slot, int16_t v) {
        NodeConfig& c = ConfigReal[0];
        c.DIChannel[slot] = c.DOChannel[slot] = c.AIChannel[slot] = v;
        c.AOChannel[slot] = c.PIChannel[slot] = c.POChannel[slot] = v;
    }
};

using Counts = std::vector<int16_t>;  // DI, DO, AI, AO, PI, PO

}  // namespace

TEST(ModuleCatalog, EveryStationIdNamesItsModel) {
    const std::pair<int32_t, const char*> ids[] = {
        {1, "KB-560"},     {16, "KB-570"},    {32, "KB-510"},  {49, "KB-540"},  {73, "KB-522"},
        {74, "KB-521"},    {81, "KB-532"},    {82, "KB-531"},  {97, "KB-524"},  {98, "KB-523"},
        {113, "KB-553"},   {114, "KB-552"},   {145, "KB-551"}, {160, "KB-580"}, {241, "KB-590"},
        {4097, "GW-7010"}, {24577, "KP-220"},
    };
    for (const auto& [id, model] : ids) {
        const int32_t arg = id;
        EXPECT_EQ(GetModelNameById(arg), model) << "ID " << id;
        EXPECT_EQ(arg, id);  // by reference, left unchanged
    }
    // Exactly those 17 IDs are known.
    int named = 0;
    for (int32_t id = -70000; id <= 70000; ++id)
        if (!GetModelNameById(id).empty()) ++named;
    EXPECT_EQ(named, 17);
}

TEST(ModuleCatalog, UnknownIdsGiveTheEmptyName) {
    for (int32_t id : {0, 2, 0x1002, 0x6002, 15, 17, 240, 242, -1, 0x10001, 0x10020, -24577})
        EXPECT_EQ(GetModelNameById(id), "") << "ID " << id;
}

TEST(ModuleCatalog, FamiliesAndCountsOfEveryModel) {
    struct Row {
        const char* model;
        ModuleFamily family;
        Counts counts;
    };
    using F = ModuleFamily;
    const Row rows[] = {
        {"KA-310", F::RTDFamily, {0, 0, 8, 0, 0, 0}},
        {"KB-510", F::RTDFamily, {0, 0, 12, 0, 0, 0}},
        {"KA-321", F::AIFamily, {0, 0, 8, 0, 0, 0}},
        {"KA-322", F::AIFamily, {0, 0, 16, 0, 0, 0}},
        {"KA-323", F::AIFamily, {0, 0, 8, 0, 0, 0}},
        {"KA-324", F::AIFamily, {0, 0, 8, 0, 0, 0}},
        {"KB-521", F::AIFamily, {0, 0, 8, 0, 0, 0}},
        {"KB-522", F::AIFamily, {0, 0, 16, 0, 0, 0}},
        {"KB-523", F::ScaledAIFamily, {0, 0, 8, 0, 0, 0}},
        {"KB-524", F::ScaledAIFamily, {0, 0, 16, 0, 0, 0}},
        {"KA-330", F::TCFamily, {0, 0, 8, 0, 0, 0}},
        {"KA-340", F::TCFamily, {0, 0, 8, 0, 0, 0}},
        {"KB-540", F::TCFamily, {0, 0, 16, 0, 0, 0}},
        {"KA-351", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KA-352", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KA-353", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KA-354", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KA-355", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KB-551", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KB-552", F::AOFamily, {0, 0, 0, 8, 0, 0}},
        {"KB-553", F::AOFamily, {0, 0, 0, 16, 0, 0}},
        {"KA-360", F::DIFamily, {32, 0, 0, 0, 0, 0}},
        {"KB-560", F::DIFamily, {32, 0, 0, 0, 0, 0}},
        {"KA-370", F::DOFamily, {0, 32, 0, 0, 0, 0}},
        {"KB-570", F::DOFamily, {0, 32, 0, 0, 0, 0}},
        {"KA-380", F::PIFamily, {0, 0, 0, 0, 8, 0}},
        {"KB-580", F::PIFamily, {0, 0, 0, 0, 8, 0}},
        {"KA-371", F::POFamily, {0, 0, 0, 0, 0, 16}},
        {"KB-590", F::POFamily, {0, 0, 0, 0, 0, 16}},
        {"KB-531", F::None, {0, 0, 0, 0, 0, 0}},
        {"KB-532", F::None, {0, 0, 0, 0, 0, 0}},
        {"GW-7010", F::None, {0, 0, 0, 0, 0, 0}},
        {"KP-220", F::None, {0, 0, 0, 0, 0, 0}},
    };
    EXPECT_EQ(CatalogEnd() - CatalogBegin(), static_cast<long>(std::size(rows)));
    for (const Row& r : rows) {
        const CatalogEntry* e = FindCatalogEntry(r.model);
        ASSERT_NE(e, nullptr) << r.model;
        EXPECT_EQ(GetModuleFamily(r.model), r.family) << r.model;
        const Counts got{e->Counts.DI, e->Counts.DO, e->Counts.AI,
                         e->Counts.AO, e->Counts.PI, e->Counts.PO};
        EXPECT_EQ(got, r.counts) << r.model;
        // The KA models come only from a file and carry no ID.
        if (std::string(r.model).rfind("KA-", 0) == 0) {
            EXPECT_EQ(e->Id, 0) << r.model;
        } else {
            EXPECT_EQ(GetModelNameById(e->Id), r.model);
        }
    }
}

TEST(ModuleCatalog, GroupsHoldExactlyTheirModels) {
    std::set<std::string> sensor, analog, selectable;
    for (const CatalogEntry* e = CatalogBegin(); e != CatalogEnd(); ++e) {
        if (IsSensorGroup(e->Model)) sensor.insert(e->Model);
        if (IsAnalogGroup(e->Model)) analog.insert(e->Model);
        if (IsRangeSelectableAO(e->Model)) selectable.insert(e->Model);
    }
    EXPECT_EQ(sensor, (std::set<std::string>{"KA-310", "KB-510", "KB-523", "KB-524", "KA-330",
                                             "KA-340", "KB-540"}));
    EXPECT_EQ(analog.size(), 21u);
    for (const char* m : {"KA-321", "KB-522", "KA-310", "KB-540", "KB-523", "KA-355", "KB-553"})
        EXPECT_TRUE(analog.count(m)) << m;
    for (const char* m : {"KB-560", "KB-580", "KB-590", "KB-531", "GW-7010"})
        EXPECT_FALSE(analog.count(m)) << m;
    EXPECT_EQ(selectable, (std::set<std::string>{"KA-353", "KB-552", "KB-553"}));

    EXPECT_TRUE(IsInFamily("KB-540", ModuleFamily::TCFamily));
    EXPECT_FALSE(IsInFamily("KB-540", ModuleFamily::AIFamily));
    EXPECT_FALSE(IsInFamily("KB-531", ModuleFamily::None));
    EXPECT_FALSE(IsInFamily("", ModuleFamily::None));
}

TEST(ModuleCatalog, NamesMatchExactlyAndCaseSensitively) {
    for (const char* name : {"kb-540", "KB-540 ", " KB-540", "KB540", "KB-5400", ""}) {
        EXPECT_EQ(FindCatalogEntry(name), nullptr) << '"' << name << '"';
        EXPECT_EQ(GetModuleFamily(name), ModuleFamily::None);
        EXPECT_FALSE(IsAnalogGroup(name));
        EXPECT_FALSE(IsSensorGroup(name));
    }
    EXPECT_FALSE(IsRangeSelectableAO("kb-552"));
}

TEST_F(ModuleCatalogTest, CountsFollowTheModelOfPresentSlots) {
    PutModule(0, "KB-590");
    PutModule(1, "KB-510");
    PutModule(2, "KB-553");
    PutModule(3, "KB-552");
    PutModule(4, "KB-560");
    PutModule(5, "KB-570");
    PutModule(6, "KB-580");
    PutModule(7, "KB-540");
    int16_t node = 0;
    SetChannelCountsByModel(node);
    const NodeConfig& c = ConfigReal[0];
    EXPECT_EQ(CountsOf(c, 0), (Counts{0, 0, 0, 0, 0, 16}));
    EXPECT_EQ(CountsOf(c, 1), (Counts{0, 0, 12, 0, 0, 0}));
    EXPECT_EQ(CountsOf(c, 2), (Counts{0, 0, 0, 16, 0, 0}));
    EXPECT_EQ(CountsOf(c, 3), (Counts{0, 0, 0, 8, 0, 0}));
    EXPECT_EQ(CountsOf(c, 4), (Counts{32, 0, 0, 0, 0, 0}));
    EXPECT_EQ(CountsOf(c, 5), (Counts{0, 32, 0, 0, 0, 0}));
    EXPECT_EQ(CountsOf(c, 6), (Counts{0, 0, 0, 0, 8, 0}));
    EXPECT_EQ(CountsOf(c, 7), (Counts{0, 0, 16, 0, 0, 0}));
    EXPECT_EQ(node, 0);
}

TEST_F(ModuleCatalogTest, OnlyExactlyMinusOneCountsAsPresent) {
    PutModule(0, "KB-540", kFalse);
    PutModule(1, "KB-540", 1);
    PutModule(2, "KB-540", -2);
    PutModule(3, "KB-540", kTrue);
    for (int s = 0; s < 4; ++s) SetAllCounts(s, 5);
    int16_t node = 0;
    SetChannelCountsByModel(node);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(CountsOf(ConfigReal[0], s), Counts(6, 0)) << s;
    EXPECT_EQ(CountsOf(ConfigReal[0], 3), (Counts{0, 0, 16, 0, 0, 0}));
}

TEST_F(ModuleCatalogTest, ModelsWithoutCountsAndUnknownNamesClearTheCounts) {
    PutModule(0, "GW-7010");
    PutModule(1, "KP-220");
    PutModule(2, "KB-531");
    PutModule(3, "kb-540");
    PutModule(4, "KB-540 ");
    PutModule(5, "");
    PutModule(6, "XX-999");
    for (int s = 0; s < 8; ++s) SetAllCounts(s, 7);
    int16_t node = 0;
    SetChannelCountsByModel(node);
    for (int s = 0; s < 8; ++s) EXPECT_EQ(CountsOf(ConfigReal[0], s), Counts(6, 0)) << s;
}

TEST_F(ModuleCatalogTest, SlotEightAndTheEditedCopyAreLeftAlone) {
    PutModule(8, "KB-540");
    SetAllCounts(8, 3);
    ConfigSetting[0].Module[0] = "KB-560";
    ConfigSetting[0].SlotPresent[0] = kTrue;
    PutModule(0, "KB-560");
    const NodeConfig settingBefore = ConfigSetting[0];
    int16_t node = 0;
    SetChannelCountsByModel(node);
    EXPECT_EQ(CountsOf(ConfigReal[0], 8), Counts(6, 3));
    EXPECT_EQ(ConfigReal[0].DIChannel[0], 32);
    EXPECT_TRUE(ConfigSetting[0] == settingBefore);
}

TEST_F(ModuleCatalogTest, ANodeOtherThanZeroRaisesAndWritesNothing) {
    PutModule(0, "KB-560");
    SetAllCounts(1, 9);
    const NodeConfig before = ConfigReal[0];
    for (int16_t bad : {int16_t{1}, int16_t{-1}, int16_t{32767}}) {
        int16_t node = bad;
        try {
            SetChannelCountsByModel(node);
            ADD_FAILURE() << "node " << bad << " did not raise";
        } catch (const rt::RuntimeError& e) {
            EXPECT_EQ(e.Number(), rt::ErrSubscriptOutOfRange);
        }
        EXPECT_TRUE(ConfigReal[0] == before);
    }
}
