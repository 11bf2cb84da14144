// The analog output page inside the main window: values stored as raw
// counts and shown back, the range choice, Default per model, the field
// checks with their messages, the tabs of small modules, the duplex rules,
// and the edits downloaded to the station stand-in.
#include "pages/AnalogOutPage.h"

#include <gtest/gtest.h>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"
#include "pages/RangeChoice.h"

namespace {

class AnalogOutTest : public testsupport::PageTest<pages::AnalogOutPage, &frmMain::aoPage> {
  protected:
    // Slots 0..3 hold `model` with `channels` channels on `code`.
    void Put(const char* model, int channels, int16_t code) {
        for (int s = 0; s <= 3; ++s) {
            NodeConfig& n = PutWorking(s, model);
            n.AOChannel[s] = channels;
            for (int ch = 0; ch < 16; ++ch) n.RangeCode(s, ch) = code;
        }
        Commit();
    }
};

TEST_F(AnalogOutTest, ValuesAreStoredAsCountsOfTheirRangeAndShownBack) {
    const struct {
        const char* model;
        int16_t code;
        const char* value;
        int16_t count;
    } cases[] = {
        {"KA-353", 49, "4.0", 0},      {"KA-353", 49, "12.0", 5000},  {"KA-353", 49, "20.0", 10000},
        {"KA-353", 48, "20.0", 10000}, {"KB-552", 52, "1.0", 0},      {"KB-552", 52, "5.0", 10000},
        {"KB-553", 51, "-10.0", 0},    {"KB-553", 51, "10.0", 10000}, {"KB-553", 51, "0.0", 5000},
    };
    for (const auto& c : cases) {
        Put(c.model, 8, c.code);
        pages::AnalogOutPage& page = Show(2);
        page.txtCAOPowerOn(7).SetText(c.value);
        page.txtCAOSafe(0).SetText(c.value);
        Answer(page.cmdCAOSetConf);
        EXPECT_EQ(ConfigSetting[0].PowerOnValue(2, 7), c.count) << c.model << " " << c.value;
        EXPECT_EQ(ConfigSetting[0].SafeValue(2, 0), c.count) << c.model << " " << c.value;
        EXPECT_EQ(ConfigSetting[0].RangeCode(2, 7), c.code);
        Show(2);
        EXPECT_EQ(page.txtCAOPowerOn(7).Text(), c.value) << c.model;
    }
}

TEST_F(AnalogOutTest, ChoosingARangeFillsTheChannelsBoxes) {
    Put("KA-353", 8, 50);
    pages::AnalogOutPage& page = Show(0);
    page.cboCAOFaultMode(3).SetListIndex(1);
    page.cboCAORangeCode(3).SetListIndex(1);
    EXPECT_EQ(page.cboCAORangeCode(3).Text(), "+4.0 To +20.0 mA");
    EXPECT_EQ(page.txtCAOPowerOn(3).Text(), "4.0");
    EXPECT_EQ(page.txtCAOSafe(3).Text(), "4.0");
    EXPECT_EQ(page.txtCAOLowAlarm(3).Text(), "2.0");
    EXPECT_EQ(page.txtCAOHighAlarm(3).Text(), "22.0");
    EXPECT_EQ(page.cboCAOFaultMode(3).ListIndex(), 1);
    EXPECT_EQ(page.txtCAOPowerOn(2).Text(), "0.0");
}

TEST_F(AnalogOutTest, DefaultSelectsTheModelsRangeAndModesAndStoresNothing) {
    const struct {
        const char* model;
        int16_t stored;
        const char* range;
        const char *value, *low, *high;
    } cases[] = {
        {"KB-553", 52, "-10.0 To +10.0 V", "0.0", "-11.0", "11.0"},
        {"KB-552", 51, "+1.0 To +5.0 V", "1.0", "0.5", "5.5"},
        {"KA-353", 50, "+4.0 To +20.0 mA", "4.0", "2.0", "22.0"},
        {"KA-351", 49, "+4.0 To +20.0 mA", "4.0", "2.0", "22.0"},
        {"KA-351", 53, "-5.0 To +5.0 V", "0.0", "-5.5", "5.5"},
    };
    for (const auto& c : cases) {
        Put(c.model, 8, c.stored);
        const NodeConfig before = ConfigSetting[0];
        pages::AnalogOutPage& page = Show(1);
        window->txtStatus.SetText("before");
        Answer(page.cmdCAODefault);
        for (int ch : {0, 7}) {
            EXPECT_EQ(page.cboCAORangeCode(ch).Text(), c.range) << c.model;
            EXPECT_EQ(page.txtCAOPowerOn(ch).Text(), c.value) << c.model;
            EXPECT_EQ(page.txtCAOSafe(ch).Text(), c.value) << c.model;
            EXPECT_EQ(page.txtCAOLowAlarm(ch).Text(), c.low) << c.model;
            EXPECT_EQ(page.txtCAOHighAlarm(ch).Text(), c.high) << c.model;
            EXPECT_EQ(page.cboCAOPowerOnMode(ch).Text(), "OFF");
            EXPECT_EQ(page.cboCAOFaultMode(ch).Text(), "HOLD");
            EXPECT_EQ(page.cboCAOAlarmMode(ch).Text(), "Disable");
            EXPECT_EQ(page.cboCAOPerChBreakLineMode(ch).Text(), "Enable");
            EXPECT_FALSE(page.txtCAOPowerOn(ch).Enabled());
            EXPECT_FALSE(page.txtCAOSafe(ch).Enabled());
        }
        EXPECT_EQ(window->txtStatus.Text(), "before");
        EXPECT_TRUE(ConfigSetting[0] == before);
    }
}

TEST_F(AnalogOutTest, LeavingABoxChecksItAgainstTheChannelsRange) {
    Put("KA-353", 8, 49);
    using P = pages::AnalogOutPage;
    const std::string range = "IOM 3 Range: +4.0 To +20.0 mA";
    const std::string alarm = "IOM 3 Alarm Val. Range: 2mA ~ 22mA";
    const std::string lowOrder = " The low alarm value must be lower than the high alarm value.";
    const std::string highOrder = " The high alarm value must be bigger than the low alarm value.";
    const struct {
        ui::ControlArray<ui::TextBox> P::*box;
        const char *low, *high, *typed, *after;
        std::vector<std::string> messages;
    } cases[] = {
        {&P::txtCAOHighAlarm, "2", "20", "25", "22.0", {alarm}},
        {&P::txtCAOHighAlarm, "2", "20", "22", "22.0", {}},
        {&P::txtCAOLowAlarm, "10", "10", "10", "2.0", {lowOrder}},
        {&P::txtCAOLowAlarm, "1", "20", "1", "2.0", {alarm}},
        {&P::txtCAOHighAlarm, "22", "20", "25", "22.0", {alarm, highOrder}},
        {&P::txtCAOPowerOn, "2", "20", "", "4.0", {range}},
        {&P::txtCAOSafe, "2", "20", "19.96", "20.0", {}},
        {&P::txtCAOSafe, "2", "20", "3.9", "4.0", {range}},
    };
    for (const auto& c : cases) {
        pages::AnalogOutPage& page = Show(3);
        page.txtCAOLowAlarm(5).SetText(c.low);
        page.txtCAOHighAlarm(5).SetText(c.high);
        (page.*c.box)(5).SetText(c.typed);
        dialogs.shown.clear();
        for (size_t i = 0; i < c.messages.size(); ++i) dialogs.AnswerMsgBox(rt::vbOK);
        (page.*c.box)(5).LostFocus();
        EXPECT_EQ((page.*c.box)(5).Text(), c.after) << c.typed;
        ASSERT_EQ(dialogs.shown.size(), c.messages.size()) << c.typed;
        for (size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_EQ(dialogs.shown[i].prompt, c.messages[i]);
            EXPECT_EQ(dialogs.shown[i].title, "Detail Set Error");
        }
    }
}

TEST_F(AnalogOutTest, EightChannelModulesShowOneTabAndTheMasksOfTheirChannels) {
    Put("KB-553", 16, 51);
    ConfigReal[0].AOChannel[0] = 8;
    pages::AnalogOutPage& page = Show(1);
    EXPECT_TRUE(page.txtCAOPowerOn(15).Visible());
    EXPECT_TRUE(page.labCAOSafe(1).Visible());
    page.cboCAOAlarmMode(0).SetListIndex(1);
    page.cboCAOAlarmMode(15).SetListIndex(1);
    Answer(page.cmdCAOSetConf);
    EXPECT_EQ(ConfigSetting[0].AlarmMode[1], 32769);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[1], kTrue);
    // An unchanged Set leaves the pending flag of another slot alone.
    Show(2);
    Answer(page.cmdCAOSetConf);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], 0);

    Show(0);
    EXPECT_EQ(page.sstCAOConf.TabCaption(0), "Ch0~Ch7");
    EXPECT_FALSE(page.labCAOSafe(1).Visible());
    EXPECT_TRUE(page.txtCAOPowerOn(7).Visible());
    EXPECT_FALSE(page.txtCAOPowerOn(8).Visible());
    EXPECT_FALSE(page.cboCAOPerChBreakLineMode(8).Visible());
}

TEST_F(AnalogOutTest, AFixedRangeModuleShowsAndKeepsACodeOutsideItsMenu) {
    Put("KA-351", 8, 0);
    ConfigReal[0].RangeCode(2, 1) = ConfigSetting[0].RangeCode(2, 1) = 49;
    ConfigReal[0].SafeValueMode(2, 4) = ConfigSetting[0].SafeValueMode(2, 4) = 7;
    pages::AnalogOutPage& page = Show(2);
    EXPECT_FALSE(page.cboCAORangeCode(0).Enabled());
    EXPECT_EQ(pages::ShownRangeText(page.cboCAORangeCode(0)), "+/- 15.0 mV");
    EXPECT_EQ(page.cboCAORangeCode(1).Text(), "+4.0 To +20.0 mA");
    EXPECT_EQ(page.cboCAOFaultMode(4).ListIndex(), -1);
    Answer(page.cmdCAOSetConf);
    EXPECT_EQ(ConfigSetting[0].RangeCode(2, 0), 0);
    EXPECT_EQ(ConfigSetting[0].RangeCode(2, 1), 49);
    EXPECT_EQ(ConfigSetting[0].SafeValueMode(2, 4), 7);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], 0);
}

TEST_F(AnalogOutTest, TheOddSlotOfADuplexPairOpensReadOnlyAndConfFollowsItsOwnFlag) {
    Put("KB-552", 8, 52);
    ConfigSetting[0].RedundancyToSlot[2] = 1;
    ConfigSetting[0].PowerOnValueMode(3, 0) = 1;
    pages::AnalogOutPage& page = Show(3);
    EXPECT_EQ(window->fmeCAOConf.ZPosition(), 0);
    EXPECT_LT(page.frmCAOConf_Alarm.ZPosition(), window->frmCAOConf_Value.ZPosition());
    EXPECT_FALSE(page.cboCAORangeCode(0).Enabled());
    EXPECT_FALSE(page.cboCAOFaultMode(7).Enabled());
    EXPECT_FALSE(page.txtCAOLowAlarm(7).Enabled());
    EXPECT_FALSE(page.cmdCAOSetConf.Enabled());
    EXPECT_FALSE(page.cmdCAODefault.Enabled());
    page.cmdCAOAllConf.PerformClick();
    EXPECT_LT(window->frmCAOConf_Value.ZPosition(), page.frmCAOConf_Alarm.ZPosition());
    EXPECT_TRUE(page.txtCAOPowerOn(0).Enabled());
    EXPECT_FALSE(page.txtCAOSafe(0).Enabled());
    EXPECT_FALSE(page.cmdCAOSetConf.Enabled());
    // With its own flag set, Conf. keeps the value boxes off.
    ConfigSetting[0].RedundancyToSlot[3] = 1;
    page.cmdCAOAllConf.PerformClick();
    EXPECT_FALSE(page.txtCAOPowerOn(0).Enabled());
}

class AnalogOutOnlineTest : public testsupport::OnlineWindowTest {};

TEST_F(AnalogOutOnlineTest, EditsReachTheStationAsCountsAndComeBackWithTheNextUpload) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    ASSERT_EQ(ConfigReal[0].Module[4], "KB-552");
    w.optSlot(4).PerformClick();
    pages::AnalogOutPage& page = w.aoPage;
    page.cboCAOPowerOnMode(1).SetListIndex(1);
    page.cboCAOFaultMode(0).SetListIndex(1);
    page.cmdCAOAllConf.PerformClick();
    ASSERT_LT(w.frmCAOConf_Value.ZPosition(), page.frmCAOConf_Alarm.ZPosition());
    page.cboCAORangeCode(1).SetListIndex(0);  // -10.0 To +10.0 V
    page.txtCAOPowerOn(1).SetText("5.0");
    page.txtCAOSafe(0).SetText("2.5");
    page.cboCAOAlarmMode(0).SetListIndex(1);
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdCAOSetConf.PerformClick();
    ASSERT_EQ(ConfigSetting[0].DownloadPending[4], kTrue);
    w.Toolbar.Buttons("Download").PerformClick();
    EXPECT_EQ(ConfigSetting[0].DownloadPending[4], 0);
    NodeConfig& r = ConfigReal[0];
    r.RangeCode(4, 1) = r.PowerOnValue(4, 1) = r.SafeValue(4, 0) = 0;
    r.PowerOnValueMode(4, 1) = r.SafeValueMode(4, 0) = 0;
    r.AlarmMode[4] = 0;
    w.Toolbar.Buttons("Upload").PerformClick();
    EXPECT_EQ(r.RangeCode(4, 1), 51);
    EXPECT_EQ(r.PowerOnValue(4, 1), 7500);
    EXPECT_EQ(r.SafeValue(4, 0), 3750);
    EXPECT_EQ(r.PowerOnValueMode(4, 1), 1);
    EXPECT_EQ(r.SafeValueMode(4, 0), 1);
    EXPECT_EQ(r.AlarmMode[4], 1);
    w.optSlot(4).SetValue(false);
    w.optSlot(4).PerformClick();
    EXPECT_EQ(page.txtCAOPowerOn(1).Text(), "5.0");
    EXPECT_EQ(page.txtCAOSafe(0).Text(), "2.5");
}

}  // namespace
