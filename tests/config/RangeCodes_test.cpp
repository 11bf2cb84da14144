#include "config/RangeCodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/ModuleCatalog.h"

namespace {

class RangeCodesTest : public ::testing::Test {
  protected:
    void SetUp() override { InitRangeNames(); }
};

// A combo box that records what FillRangeCodeCombo does to it and selects
// the way the pages' drop-down list does.
class FakeCombo : public RangeCombo {
  public:
    void Clear() override {
        calls.push_back("Clear");
        items.clear();
        listIndex = -1;
    }
    void AddItem(const std::string& text) override {
        calls.push_back("AddItem");
        items.push_back(text);
    }
    void SetListIndex(int index) override {
        calls.push_back("SetListIndex " + std::to_string(index));
        listIndex = index;
    }
    void SetText(const std::string& text) override {
        calls.push_back("SetText " + text);
        listIndex = -1;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i] == text) {
                listIndex = static_cast<int>(i);
                break;
            }
        }
    }
    std::string Selected() const {
        return listIndex >= 0 ? items[static_cast<size_t>(listIndex)] : std::string();
    }

    std::vector<std::string> calls;
    std::vector<std::string> items;
    int listIndex = -1;
};

struct LimitSet {
    double LimitLo, LimitHi, RangeHi, RangeLo, RealHi, RealLo, ManuHi, ManuLo;
};

LimitSet Limits(int16_t code) {
    LimitSet l{};
    GetRealAndRangeAndManuVal(l.LimitLo, l.LimitHi, code, l.RangeHi, l.RangeLo, l.RealHi, l.RealLo,
                              l.ManuHi, l.ManuLo);
    return l;
}

void ExpectLimits(int16_t code, LimitSet e) {
    SCOPED_TRACE("code " + std::to_string(code));
    const LimitSet l = Limits(code);
    EXPECT_EQ(l.LimitLo, e.LimitLo);
    EXPECT_EQ(l.LimitHi, e.LimitHi);
    EXPECT_EQ(l.RangeHi, e.RangeHi);
    EXPECT_EQ(l.RangeLo, e.RangeLo);
    EXPECT_EQ(l.RealHi, e.RealHi);
    EXPECT_EQ(l.RealLo, e.RealLo);
    EXPECT_EQ(l.ManuHi, e.ManuHi);
    EXPECT_EQ(l.ManuLo, e.ManuLo);
}

TEST_F(RangeCodesTest, NamesWhoseSpellingIsEasyToGetWrong) {
    EXPECT_EQ(RangeName[0], "+/- 15.0 mV");
    EXPECT_EQ(RangeName[7], "+4.0 ~ 20.0 mA");
    EXPECT_EQ(RangeName[13], "+/- 20.0 mV");
    EXPECT_EQ(RangeName[20], "B-type (0.0 ~ +1820.0 C)");
    EXPECT_EQ(RangeName[22], "C-type (0.0 ~ +2320.0 C)");
    EXPECT_EQ(RangeName[25], "L2-type (-200.0 ~ +900.0 C)(DIN43710)");
    EXPECT_EQ(RangeName[33], "(Pt100) +0.0 To +100.0 C");
    EXPECT_EQ(RangeName[40], "(Ni120) -80.0 To +100.0 C");
    EXPECT_EQ(RangeName[44], "(Cu100) 0.0 To +200.0 C");
    EXPECT_EQ(RangeName[45], "(Cu1000) -20.0 To +150.0 C");
    EXPECT_EQ(RangeName[133], "(JPt100) -200.0 To +630.0 C");
    EXPECT_EQ(RangeName[134], "(Pt1000)-200.0 To +630.0 C");
    EXPECT_EQ(RangeName[51], "-10.0 To +10.0 V");
    EXPECT_EQ(RangeName[54], "+4.0 To +20.0 mA & HART");
    EXPECT_EQ(RangeName[64], "Digital module");
    EXPECT_EQ(RangeName[80], "Dir/Pulse");
    EXPECT_EQ(RangeName[83], "Up Counter");
    EXPECT_EQ(RangeName[97], "Continuous");
    // Shared texts.
    EXPECT_EQ(RangeName[3], RangeName[11]);
    EXPECT_EQ(RangeName[4], RangeName[10]);
    EXPECT_EQ(RangeName[9], RangeName[52]);
    EXPECT_EQ(RangeName[9], "+1.0 To +5.0 V");
}

TEST_F(RangeCodesTest, ExactlySixtyThreeCodesHaveATextAndTheGapsAreEmpty) {
    int named = 0;
    for (const std::string& n : RangeName) named += n.empty() ? 0 : 1;
    EXPECT_EQ(named, 63);
    for (int code : {26, 31, 55, 63, 65, 79, 85, 95, 99, 127, 130, 131, 135, 200, 256})
        EXPECT_EQ(RangeName[code], "") << code;
}

TEST_F(RangeCodesTest, InitStartsFromAnEmptyTable) {
    RangeName[200] = "left over";
    InitRangeNames();
    EXPECT_EQ(RangeName[200], "");
    EXPECT_EQ(RangeName[98], "PWM");
}

TEST_F(RangeCodesTest, NameLookupOutsideTheTableIsEmpty) {
    EXPECT_EQ(RangeNameOf(-1), "");
    EXPECT_EQ(RangeNameOf(257), "");
    EXPECT_EQ(RangeNameOf(-32768), "");
    EXPECT_EQ(RangeNameOf(256), "");
    EXPECT_EQ(RangeNameOf(132), "(Pt100) -200.0 To +850.0 C");
    EXPECT_THROW(RangeName[257], rt::RuntimeError);
}

TEST_F(RangeCodesTest, CodeByNameTakesTheFirstMatchOfTheModelsWindow) {
    EXPECT_EQ(GetRangeCodeByName("KB-540", "L-type (-200.0 ~ +800.0 C)"), 23);
    EXPECT_EQ(GetRangeCodeByName("KB-540", "PWM"), 0);
    EXPECT_EQ(GetRangeCodeByName("KB-560", "Digital module"), 0);
    EXPECT_EQ(GetRangeCodeByName("KB-521", "+/- 500.0 mV"), 11);
    EXPECT_EQ(GetRangeCodeByName("KB-521", "+/- 1.0 V"), 10);
    EXPECT_EQ(GetRangeCodeByName("KA-340", "+/- 500.0 mV"), 3);
    EXPECT_EQ(GetRangeCodeByName("KA-340", "+/- 1.0 V"), 4);
    EXPECT_EQ(GetRangeCodeByName("KB-523", "+1.0 To +5.0 V"), 9);
    EXPECT_EQ(GetRangeCodeByName("KB-524", "+1.0 To +5.0 V"), 9);
    EXPECT_EQ(GetRangeCodeByName("KB-552", "+1.0 To +5.0 V"), 52);
    EXPECT_EQ(GetRangeCodeByName("KA-353", "+1.0 To +5.0 V"), 52);
    EXPECT_EQ(GetRangeCodeByName("KB-580", "Dir/Pulse"), 80);
    EXPECT_EQ(GetRangeCodeByName("KB-510", "(JPt100) -200.0 To +600.0 C"), 129);
    EXPECT_EQ(GetRangeCodeByName("KA-310", "(Pt1000)-200.0 To +630.0 C"), 134);
    EXPECT_EQ(GetRangeCodeByName("KB-590", "PWM"), 98);
    // Exact comparison of both the model and the text.
    EXPECT_EQ(GetRangeCodeByName("kb-590", "PWM"), 0);
    EXPECT_EQ(GetRangeCodeByName("KB-590", "PWM "), 0);
    EXPECT_EQ(GetRangeCodeByName("KB-590", ""), 0);
}

TEST_F(RangeCodesTest, WindowsMenusAndDefaultsPerModel) {
    EXPECT_EQ(RangeWindow("KB-510"),
              (std::vector<int16_t>{32, 33, 34, 35, 36, 37,  38,  39,  40,  41, 42,
                                    43, 44, 45, 46, 47, 128, 129, 132, 133, 134}));
    EXPECT_EQ(RangeMenu("KA-310"), (std::vector<int16_t>{132, 133, 134}));
    EXPECT_EQ(RangeMenu("KA-330"), (std::vector<int16_t>{14, 15, 16, 17, 18, 19, 20, 21, 22}));
    EXPECT_EQ(RangeMenu("KB-580"), (std::vector<int16_t>{82, 83}));
    EXPECT_EQ(RangeWindow("KB-580"), (std::vector<int16_t>{80, 81, 82, 83, 84}));
    EXPECT_EQ(RangeMenu("KB-553"), (std::vector<int16_t>{51, 52}));
    EXPECT_TRUE(RangeMenu("KB-570").empty());
    EXPECT_TRUE(RangeWindow("KB-531").empty());
    EXPECT_TRUE(RangeWindow("GW-7010").empty());
    EXPECT_TRUE(RangeWindow("").empty());

    EXPECT_EQ(DefaultRangeCode("KB-510"), 132);
    EXPECT_EQ(DefaultRangeCode("KA-340"), 15);
    EXPECT_EQ(DefaultRangeCode("KB-540"), 15);
    EXPECT_EQ(DefaultRangeCode("KB-523"), 9);
    EXPECT_EQ(DefaultRangeCode("KB-524"), 8);
    EXPECT_EQ(DefaultRangeCode("KA-353"), 49);
    EXPECT_EQ(DefaultRangeCode("KB-552"), 52);
    EXPECT_EQ(DefaultRangeCode("KB-553"), 51);
    for (const char* none : {"KA-330", "KB-521", "KB-551", "KA-355", "KB-580", "KB-590", "KB-560"})
        EXPECT_FALSE(DefaultRangeCode(none).has_value()) << none;
}

TEST_F(RangeCodesTest, EveryMenuCodeIsNamedAndInsideItsWindow) {
    int modelsWithMenu = 0;
    for (const CatalogEntry* e = CatalogBegin(); e != CatalogEnd(); ++e) {
        const std::vector<int16_t> menu = RangeMenu(e->Model);
        const std::vector<int16_t> window = RangeWindow(e->Model);
        const bool ranged = e->Family != ModuleFamily::None &&
                            e->Family != ModuleFamily::DIFamily &&
                            e->Family != ModuleFamily::DOFamily;
        EXPECT_EQ(!menu.empty(), ranged) << e->Model;
        modelsWithMenu += menu.empty() ? 0 : 1;
        for (int16_t code : menu) {
            EXPECT_NE(RangeName[code], "") << e->Model << " " << code;
            EXPECT_NE(std::find(window.begin(), window.end(), code), window.end())
                << e->Model << " " << code;
        }
        if (const auto d = DefaultRangeCode(e->Model)) {
            EXPECT_NE(std::find(menu.begin(), menu.end(), *d), menu.end()) << e->Model;
        }
    }
    EXPECT_EQ(modelsWithMenu, 25);
}

TEST_F(RangeCodesTest, FillComboSelectsPositionOrText) {
    FakeCombo combo;
    FillRangeCodeCombo("KB-551", combo, 0);
    EXPECT_EQ(combo.items.size(), 6u);
    EXPECT_EQ(combo.Selected(), "+0.0 To +10.0 V");
    EXPECT_EQ(combo.calls.front(), "Clear");
    EXPECT_EQ(combo.calls.back(), "SetListIndex 2");
    FillRangeCodeCombo("KA-352", combo, 0);
    EXPECT_EQ(combo.calls.back(), "SetListIndex 2");

    FillRangeCodeCombo("KA-353", combo, 0);
    EXPECT_EQ(combo.calls.back(), "SetListIndex 0");
    EXPECT_EQ(combo.Selected(), "+0.0 To +20.0 mA");

    FillRangeCodeCombo("KA-340", combo, 0);
    ASSERT_EQ(combo.items.size(), 18u);
    EXPECT_EQ(combo.items[0], "J-type (-210.0 ~ +1200.0 C)");
    EXPECT_EQ(combo.items[9], "+/- 15.0 mV");
    EXPECT_EQ(combo.items[12], "+/- 150.0 mV");
    EXPECT_EQ(combo.items[16], "+1.0 To +5.0 V");
    EXPECT_EQ(combo.items[17], "+/- 10.0 V");

    FillRangeCodeCombo("KB-540", combo, 16);
    EXPECT_EQ(combo.calls.back(), "SetText T-type (-270.0 ~ +400.0 C)");
    EXPECT_EQ(combo.Selected(), "T-type (-270.0 ~ +400.0 C)");
}

TEST_F(RangeCodesTest, FillComboWithStoredCodesOutsideTheMenu) {
    FakeCombo combo;
    // In the window but not the menu: the text is set and nothing matches.
    FillRangeCodeCombo("KB-540", combo, 23);
    EXPECT_EQ(combo.calls.back(), "SetText L-type (-200.0 ~ +800.0 C)");
    EXPECT_EQ(combo.listIndex, -1);
    // Beyond the name table: the empty text, no out-of-range access.
    FillRangeCodeCombo("KB-540", combo, 300);
    EXPECT_EQ(combo.calls.back(), "SetText ");
    FillRangeCodeCombo("KB-540", combo, -5);
    EXPECT_EQ(combo.calls.back(), "SetText ");
    // A model without a menu: emptied and nothing selected.
    combo.calls.clear();
    FillRangeCodeCombo("KB-560", combo, 0);
    EXPECT_EQ(combo.calls, std::vector<std::string>{"Clear"});
    EXPECT_TRUE(combo.items.empty());
}

TEST_F(RangeCodesTest, UnitTexts) {
    EXPECT_EQ(GetRangeUnitText(13), "mA");
    EXPECT_EQ(GetRangeUnitText(12), "mV");
    EXPECT_EQ(GetRangeUnitText(11), "mV");
    EXPECT_EQ(GetRangeUnitText(10), "V");
    EXPECT_EQ(GetRangeUnitText(6), "mA");
    EXPECT_EQ(GetRangeUnitText(49), "mA");
    EXPECT_EQ(GetRangeUnitText(53), "V");
    EXPECT_EQ(GetRangeUnitText(14), "DegC");
    EXPECT_EQ(GetRangeUnitText(22), "DegC");
    EXPECT_EQ(GetRangeUnitText(23), "");
    EXPECT_EQ(GetRangeUnitText(132), "");
    EXPECT_EQ(GetRangeUnitText(54), "");
    EXPECT_EQ(GetRangeUnitText(64), "");
    EXPECT_EQ(GetRangeUnitText(-1), "");
}

TEST_F(RangeCodesTest, LimitsComeOutInTheirArgumentPositions) {
    // Every value of code 8 differs, so any two swapped outputs show.
    ExpectLimits(8, {-10.5, 10.5, 10, -10, 11, -11, 10500, -500});
    ExpectLimits(7, {2, 22, 20, 4, 24, 0, 12500, -2500});
    ExpectLimits(48, {0, 22, 20, 0, 24, 0, 12000, 0});
    ExpectLimits(53, {-5.5, 5.5, 5, -5, 6, -6, 11000, -1000});
}

TEST_F(RangeCodesTest, LimitRowsWithTraps) {
    ExpectLimits(5, {-2.5, 2.5, 2.5, -2.5, 2.5, -2.5, 32767, -32768});
    ExpectLimits(16, {-270, 400, 400, -270, 400, -270, 32767, -22118});
    ExpectLimits(24, {-200, 100, 100, -200, 100, -200, 16384, -32768});
    ExpectLimits(40, {-80, 100, 100, -80, 100, -80, 32767, -26214});
    ExpectLimits(44, {0, 200, 200, 0, 200, 0, 32767, 0});
    ExpectLimits(45, {-20, 150, 150, -20, 150, -20, 32767, -4369});
    ExpectLimits(132, {-200, 850, 850, -200, 850, -200, 32767, -7710});
    ExpectLimits(134, {-200, 630, 630, -200, 630, -200, 32767, -10402});
    // Shared rows.
    const LimitSet nine = Limits(9), fiftyTwo = Limits(52);
    EXPECT_EQ(nine.ManuLo, fiftyTwo.ManuLo);
    ExpectLimits(52, {0.5, 5.5, 5, 1, 6, 0, 12500, -2500});
    ExpectLimits(129, {-200, 600, 600, -200, 600, -200, 32767, -10922});
    ExpectLimits(36, {-100, 100, 100, -100, 100, -100, 32767, -32768});
}

TEST_F(RangeCodesTest, CodesWithoutARowGetZeroLimits) {
    for (int16_t code : {6, 13, 54, 64, 82, 98, 135, 200, -1, 256, 32767})
        ExpectLimits(code, {0, 0, 0, 0, 0, 0, 12500, -2500});
}

}  // namespace
