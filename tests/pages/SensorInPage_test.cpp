// The sensor input page inside the main window: a range choice fills the
// value boxes, the scale and alarm checks, cold-junction and mains settings
// per model family, Default then Set, tabs and the read-only duplex slot.
#include "pages/SensorInPage.h"

#include <gtest/gtest.h>

#include <QTabWidget>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

struct SlotModel {
    const char* model;
    int16_t channels, code;
};
// Slots 0..6.
constexpr SlotModel kSlots[] = {{"KA-340", 8, 14},  {"KB-540", 16, 15}, {"KA-310", 8, 133},
                                {"KB-523", 8, 8},   {"KB-524", 16, 8},  {"KA-330", 8, 14},
                                {"KB-510", 12, 132}};

class SensorInTest : public testsupport::PageTest<pages::SensorInPage, &frmMain::sensorPage> {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        NodeConfig& n = ConfigReal[0];
        for (int s = 0; s < 7; ++s) {
            PutWorking(s, kSlots[s].model);
            n.AIChannel[s] = kSlots[s].channels;
            for (int ch = 0; ch < 16; ++ch) n.RangeCode(s, ch) = kSlots[s].code;
        }
        // Slot 4, +/- 10.0 V: scale -10..10, alarms -5..5.
        for (int ch = 0; ch < 16; ++ch) {
            n.UserDefLRange(4, ch) = 0;
            n.UserDefHRange(4, ch) = 10000;
            n.LowAlarmVal(4, ch) = 2500;
            n.HighAlarmVal(4, ch) = 7500;
        }
        Commit();
    }
    void Click(ui::CommandButton& button) { Answer(button); }
    static void Choose(ui::ComboBox& combo, const std::string& text) {
        for (int i = 0; i < combo.ListCount(); ++i)
            if (combo.List(i) == text) return combo.SetListIndex(i);
        ADD_FAILURE() << "no item " << text;
    }
    static std::vector<std::string> Boxes(pages::SensorInPage& p, int ch) {
        return {p.txtCAISScaleLowRange(ch).Text(), p.txtCAISScaleHighRange(ch).Text(),
                p.txtCAISLowAlarm(ch).Text(), p.txtCAISHighAlarm(ch).Text()};
    }
};

TEST_F(SensorInTest, ARangeChoiceFillsTheFourValueBoxes) {
    const struct {
        int slot;
        const char* range;
        std::vector<std::string> boxes;
    } cases[] = {
        {4, "+1.0 To +5.0 V", {"1.0", "5.0", "0.5", "5.5"}},
        {6, "(JPt100) -200.0 To +630.0 C", {"-200.0", "630.0", "-200.0", "630.0"}},
        {0, "K-type (-270.0 ~ +1372.0 C)", {"-270.0", "1372.0", "-270.0", "1372.0"}},
        {0, "+/- 150.0 mV", {"-150.0", "150.0", "-150.0", "150.0"}},
        {2, "(Pt100) -200.0 To +850.0 C", {"-200.0", "850.0", "-200.0", "850.0"}},
    };
    for (const auto& c : cases) {
        pages::SensorInPage& page = Show(c.slot);
        // The other channels keep the stored values.
        const std::vector<std::string> before = Boxes(page, 0);
        Choose(page.cboCAISRangeCode(1), c.range);
        EXPECT_EQ(Boxes(page, 1), c.boxes) << c.range;
        EXPECT_EQ(Boxes(page, 0), before) << c.range;
    }
}

TEST_F(SensorInTest, LeavingABoxChecksItAgainstTheRangeOrTheScale) {
    enum Box { ScaleLow, ScaleHigh, LowAlarm, HighAlarm };
    const struct {
        Box box;
        const char* typed;
        std::vector<std::string> boxes;
        const char* message;
    } cases[] = {
        {ScaleHigh, "11.5", {"-10.0", "10.0", "-5.0", "5.0"}, "IOM 4 Range: +/- 10.0 V"},
        {ScaleHigh, "10.8", {"-10.0", "10.8", "-5.0", "5.0"}, nullptr},
        {ScaleHigh, "3", {"-10.0", "3.0", "-5.0", "3.0"}, nullptr},
        {ScaleLow, "", {"-10.0", "10.0", "-5.0", "5.0"}, "IOM 4 Range: +/- 10.0 V"},
        {ScaleLow, "10", {"-10.0", "10.0", "-5.0", "5.0"}, "IOM 4 Range: +/- 10.0 V"},
        {ScaleLow, "-2x", {"-2.0", "10.0", "-2.0", "5.0"}, nullptr},
        {LowAlarm, "-12", {"-10.0", "10.0", "-10.0", "5.0"}, "IOM 4 Scale Range: -10.0 ~ 10.0"},
        {LowAlarm,
         "6",
         {"-10.0", "10.0", "-10.0", "5.0"},
         "The low alarm value must lower than high alarm value"},
        {HighAlarm,
         "-6",
         {"-10.0", "10.0", "-5.0", "10.0"},
         "The high alarm value must bigger than low alarm value"},
        {HighAlarm, "7.25", {"-10.0", "10.0", "-5.0", "7.3"}, nullptr},
    };
    for (const auto& c : cases) {
        pages::SensorInPage& page = Show(4);
        ui::ControlArray<ui::TextBox>* arrays[] = {&page.txtCAISScaleLowRange,
                                                   &page.txtCAISScaleHighRange,
                                                   &page.txtCAISLowAlarm, &page.txtCAISHighAlarm};
        ui::TextBox& box = (*arrays[c.box])(2);
        box.SetFocus();
        box.SetText(c.typed);
        const size_t shown = dialogs.shown.size();
        if (c.message) dialogs.AnswerMsgBox(rt::vbOK);
        page.txtCAISScaleLowRange(5).SetFocus();
        EXPECT_EQ(Boxes(page, 2), c.boxes) << c.typed;
        ASSERT_EQ(dialogs.shown.size(), shown + (c.message ? 1 : 0)) << c.typed;
        if (c.message) {
            EXPECT_EQ(dialogs.shown.back().prompt, c.message);
            EXPECT_EQ(dialogs.shown.back().title, "Detail Set Error");
        }
    }
}

TEST_F(SensorInTest, ColdJunctionAndMainsFollowTheModelFamily) {
    const struct {
        int slot;
        int16_t cjc, mains;
        const char* caption;
        bool cjcFrame;
        int cjcShown, mainsShown;
        int16_t mainsStored;
    } cases[] = {
        {0, 1, 50, "Configuration (TC)", true, 1, 0, 50},
        {1, 7, 0, "Configuration (TC)", true, 0, 1, 60},
        {2, 1, 60, "Configuration (RTD)", false, 0, 0, 50},
        {3, 1, 60, "Configuration (AI)", false, 0, 0, 50},
    };
    for (const auto& c : cases) {
        ConfigReal[0].CJCSetting[c.slot] = ConfigSetting[0].CJCSetting[c.slot] = c.cjc;
        ConfigReal[0].MainsFrequency[c.slot] = ConfigSetting[0].MainsFrequency[c.slot] = c.mains;
        pages::SensorInPage& page = Show(c.slot);
        EXPECT_EQ(window->fmeCAISConf.Caption(), c.caption);
        EXPECT_EQ(page.frmCJCSetting.Visible(), c.cjcFrame) << c.slot;
        EXPECT_EQ(page.cboCJCSetting.ListIndex(), c.cjcShown) << c.slot;
        EXPECT_EQ(page.cboTransformerSetting.ListIndex(), c.mainsShown) << c.slot;
        EXPECT_EQ(ConfigSetting[0].AIDigitalFilterMode[c.slot], c.cjcFrame ? 1 : 0) << c.slot;
        EXPECT_EQ(ConfigSetting[0].DownloadPending[c.slot], 0) << c.slot;
        Click(page.cmdCAISSetConf);
        EXPECT_EQ(ConfigSetting[0].CJCSetting[c.slot], c.cjcShown) << c.slot;
        EXPECT_EQ(ConfigSetting[0].MainsFrequency[c.slot], c.mainsStored) << c.slot;
        EXPECT_EQ(ConfigSetting[0].AIDigitalFilterMode[c.slot], 1) << c.slot;
        EXPECT_EQ(window->txtStatus.Text().substr(8),
                  " Set Sensor IOM " + std::to_string(c.slot) + " configuration ok!");
    }
    // A thermocouple slot whose record is what the page stores stays clean,
    // unless its mains frequency was never read (0): then 60 is stored.
    for (int16_t mains : {50, 0}) {
        ConfigReal[0] = ConfigSetting[0];
        ConfigReal[0].MainsFrequency[0] = ConfigSetting[0].MainsFrequency[0] = mains;
        ConfigSetting[0].DownloadPending[0] = 0;
        Click(Show(0).cmdCAISSetConf);
        EXPECT_EQ(ConfigSetting[0].DownloadPending[0], mains == 0 ? kTrue : 0) << mains;
    }
}

TEST_F(SensorInTest, DefaultThenSetStoresTheModelsDefaults) {
    const struct {
        int slot;
        int16_t code;
        std::vector<std::string> boxes;
        int16_t rawScaleLow, rawScaleHigh, rawLowAlarm, rawHighAlarm;
    } cases[] = {
        {0, 15, {"-270.0", "1372.0", "-270.0", "1372.0"}, -1, -1, -1, -1},
        {5, 15, {"-270.0", "1372.0", "-270.0", "1372.0"}, -1, -1, -1, -1},
        {2, 132, {"-200.0", "850.0", "-200.0", "850.0"}, -1, -1, -1, -1},
        {4, 8, {"-10.0", "10.0", "-10.5", "10.5"}, 0, 10000, -250, 10250},
        {3, 9, {"1.0", "5.0", "0.5", "5.5"}, 0, 10000, -1250, 11250},
    };
    for (const auto& c : cases) {
        ConfigSetting[0].AlarmMode[c.slot] = 5;
        pages::SensorInPage& page = Show(c.slot);
        const NodeConfig before = ConfigSetting[0];
        Click(page.cmdCAISDefault);
        EXPECT_TRUE(ConfigSetting[0] == before) << c.slot;
        EXPECT_EQ(window->txtStatus.Text().substr(8), " Set IOM default value OK!!");
        Click(page.cmdCAISSetConf);
        const NodeConfig& n = ConfigSetting[0];
        const int count = kSlots[c.slot].channels;
        for (int ch = 0; ch < count; ++ch) EXPECT_EQ(n.RangeCode(c.slot, ch), c.code) << c.slot;
        if (c.rawScaleLow != -1) {
            EXPECT_EQ(n.UserDefLRange(c.slot, 1), c.rawScaleLow);
            EXPECT_EQ(n.UserDefHRange(c.slot, 1), c.rawScaleHigh);
            EXPECT_EQ(n.LowAlarmVal(c.slot, 1), c.rawLowAlarm);
            EXPECT_EQ(n.HighAlarmVal(c.slot, 1), c.rawHighAlarm);
        }
        EXPECT_EQ(n.AlarmMode[c.slot], 0);
        EXPECT_EQ(n.CHBreakLineMode[c.slot], (1 << count) - 1);
        EXPECT_EQ(n.CJCSetting[c.slot], 1);
        EXPECT_EQ(n.MainsFrequency[c.slot], 50);
        EXPECT_EQ(n.DownloadPending[c.slot], kTrue);
        // Shown again from the record.
        Show(6);
        Show(c.slot);
        EXPECT_EQ(Boxes(page, count - 1), c.boxes) << c.slot;
    }
}

TEST_F(SensorInTest, TwelveChannelsUseBothTabsAndTheDuplexPartnerIsReadOnly) {
    pages::SensorInPage& twelve = Show(6);
    for (ui::TabStrip* tabs : {&twelve.sstCAISConf, &twelve.sstCAISConf_Mode}) {
        EXPECT_EQ(tabs->TabCaption(0), "Ch0~Ch7");
        EXPECT_TRUE(static_cast<QTabWidget*>(tabs->widget())->isTabVisible(1));
    }
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(twelve.txtCAISHighAlarm(ch).Visible(), ch < 12) << ch;
        EXPECT_EQ(twelve.cboCAISPerChBreakLineMode(ch).Visible(), ch < 12) << ch;
    }
    ConfigSetting[0].RedundancyToSlot[0] = 1;
    pages::SensorInPage& page = Show(1);
    EXPECT_FALSE(page.cmdCAISSetConf.Enabled());
    EXPECT_FALSE(page.cmdCAISDefault.Enabled());
    EXPECT_FALSE(page.frmCJCSetting.Enabled());
    EXPECT_FALSE(page.txtCAISLowAlarm(0).Enabled());
    EXPECT_FALSE(page.cboCAISRangeCode(15).Enabled());
    // The sub-page switch still works.
    auto inFront = [](ui::Control& a, ui::Control& b) { return a.ZPosition() < b.ZPosition(); };
    EXPECT_TRUE(inFront(page.frmCAIS_Value, page.frmCAIS_Mode));
    page.cmdSensorModeSetting.PerformClick();
    EXPECT_TRUE(inFront(page.frmCAIS_Mode, page.frmCAIS_Value));
    EXPECT_TRUE(inFront(page.cmdSensorValueSetting, page.cmdSensorModeSetting));
    page.cmdSensorValueSetting.PerformClick();
    EXPECT_TRUE(inFront(page.frmCAIS_Value, page.frmCAIS_Mode));
    EXPECT_TRUE(inFront(page.cmdSensorModeSetting, page.cmdSensorValueSetting));
}

}  // namespace
