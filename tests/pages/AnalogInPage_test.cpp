// The analog input page inside the main window: alarm values shown from and
// stored as raw counts of the channel's range, tabs by channel count, the
// alarm mask, the hidden filter setting, Default and a failed conversion.
#include "pages/AnalogInPage.h"

#include <gtest/gtest.h>

#include <QTabWidget>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

class AnalogInTest : public testsupport::PageTest<pages::AnalogInPage, &frmMain::aiPage> {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        const struct {
            const char* model;
            int16_t channels;
        } modules[] = {{"KB-521", 8}, {"KB-522", 16}, {"KA-321", 8}};
        for (int s = 0; s < 3; ++s) {
            NodeConfig& n = PutWorking(s, modules[s].model);
            n.AIChannel[s] = modules[s].channels;
            for (int ch = 0; ch < 16; ++ch) n.RangeCode(s, ch) = 7;
        }
        Commit();
    }
    void Set(pages::AnalogInPage& page) { Answer(page.cmdCAISetConf); }
};

TEST_F(AnalogInTest, AlarmsAreStoredAsRawCountsOfTheRangeAndShownBack) {
    const struct {
        int16_t code;
        const char *low, *high;
        int16_t rawLow, rawHigh;
        const char *shownLow, *shownHigh;
    } cases[] = {
        {7, "4", "20", 0, 10000, "4.0", "20.0"},
        {7, "12", "21.5", 5000, 10938, "12.0", "21.5"},
        {8, "-10", "10.5", 0, 10250, "-10.0", "10.5"},
        {9, "1", "5.5", 0, 11250, "1.0", "5.5"},
        {11, "-250", "500", -16384, 32767, "-250.0", "500.0"},
        // A range whose span converts to no count keeps the stored counts.
        {13, "5", "6", 123, 456, "0.0", "0.0"},
    };
    for (const auto& c : cases) {
        ConfigSetting[0].RangeCode(0, 3) = c.code;
        ConfigSetting[0].LowAlarmVal(0, 3) = 123;
        ConfigSetting[0].HighAlarmVal(0, 3) = 456;
        pages::AnalogInPage& page = Show(0);
        page.txtCAILowAlarm(3).SetText(c.low);
        page.txtCAIHighAlarm(3).SetText(c.high);
        Set(page);
        EXPECT_EQ(ConfigSetting[0].LowAlarmVal(0, 3), c.rawLow) << c.code << " " << c.low;
        EXPECT_EQ(ConfigSetting[0].HighAlarmVal(0, 3), c.rawHigh) << c.code << " " << c.high;
        Show(1);
        Show(0);
        EXPECT_EQ(page.txtCAILowAlarm(3).Text(), c.shownLow) << c.code;
        EXPECT_EQ(page.txtCAIHighAlarm(3).Text(), c.shownHigh) << c.code;
    }
}

TEST_F(AnalogInTest, ChannelCountDecidesTabsAndRows) {
    const struct {
        int slot;
        const char* firstTab;
        bool secondTab;
        int rows;
    } cases[] = {{0, "Ch0~Ch7", false, 8}, {1, "Ch0~Ch7", true, 16}};
    for (const auto& c : cases) {
        pages::AnalogInPage& page = Show(c.slot);
        EXPECT_EQ(window->fmeCAIConf.ZPosition(), 0);
        EXPECT_EQ(page.sstCAIConf.TabCaption(0), c.firstTab);
        EXPECT_EQ(static_cast<QTabWidget*>(page.sstCAIConf.widget())->isTabVisible(1), c.secondTab);
        EXPECT_EQ(page.lbCAI_Range(1).Visible(), c.secondTab);
        for (int ch = 0; ch < 16; ++ch) {
            EXPECT_EQ(page.txtCAIHighAlarm(ch).Visible(), ch < c.rows) << ch;
            EXPECT_EQ(page.cboCAIRangeCode(ch).Enabled(), ch >= c.rows) << ch;
        }
        EXPECT_EQ(page.cboCAIRangeCode(0).Text(), "+4.0 ~ 20.0 mA");
    }
}

TEST_F(AnalogInTest, AlarmEnablesFormTheMaskAndTheHiddenFilterModeStays) {
    ConfigReal[0].AIDigitalFilterMode[2] = 3;
    ConfigSetting[0].AIDigitalFilterMode[2] = 3;
    ConfigReal[0].AlarmMode[2] = ConfigSetting[0].AlarmMode[2] = 0x300;
    pages::AnalogInPage& page = Show(2);
    EXPECT_FALSE(page.cboCAIFilterMode.Visible());
    EXPECT_EQ(page.cboCAIAlarmMode(0).ListIndex(), 0);
    page.cboCAIAlarmMode(0).SetListIndex(1);
    page.cboCAIAlarmMode(3).SetListIndex(1);
    Set(page);
    EXPECT_EQ(ConfigSetting[0].AlarmMode[2], 9);
    EXPECT_EQ(ConfigSetting[0].AIDigitalFilterMode[2], 3);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], kTrue);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set IOM 2 configuration ok!");
    // Set again without a change from the record read: nothing pending.
    ConfigSetting[0].DownloadPending[2] = 0;
    ConfigReal[0].AlarmMode[2] = 9;
    Set(page);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], 0);
}

TEST_F(AnalogInTest, DefaultWritesTheRangeLimitsAndStoresNothing) {
    ConfigSetting[0].RangeCode(0, 1) = 8;
    ConfigSetting[0].AlarmMode[0] = 3;
    const NodeConfig before = ConfigSetting[0];
    pages::AnalogInPage& page = Show(0);
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdCAIDefault.PerformClick();
    EXPECT_EQ(page.txtCAILowAlarm(0).Text(), "2.0");
    EXPECT_EQ(page.txtCAIHighAlarm(0).Text(), "22.0");
    EXPECT_EQ(page.txtCAILowAlarm(1).Text(), "-10.5");
    EXPECT_EQ(page.txtCAIHighAlarm(1).Text(), "10.5");
    EXPECT_EQ(page.cboCAIAlarmMode(1).ListIndex(), 0);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set IOM default value OK!!");
    EXPECT_TRUE(ConfigSetting[0] == before);
}

TEST_F(AnalogInTest, ACountBeyondSixteenBitsEndsInTheErrorLineAndStoresNothing) {
    ConfigSetting[0].RangeCode(0, 0) = 10;  // +/- 1.0 V over the whole 16 bits
    const NodeConfig before = ConfigSetting[0];
    pages::AnalogInPage& page = Show(0);
    page.txtCAILowAlarm(0).SetText("-0.5");
    page.txtCAIHighAlarm(0).SetText("2");
    Set(page);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set AI IOM 0 configuration error!!");
    EXPECT_TRUE(ConfigSetting[0] == before);
}

}  // namespace
