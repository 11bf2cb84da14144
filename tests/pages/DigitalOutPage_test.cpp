// The digital output page inside the main window: fill from the edited
// record, the mode buttons, Set into the four masks, Default, and the
// read-only odd slot of a duplex pair.
#include "pages/DigitalOutPage.h"

#include <gtest/gtest.h>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

class DigitalOutTest : public testsupport::PageTest<pages::DigitalOutPage, &frmMain::doPage> {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        for (int s = 0; s <= 3; ++s) PutWorking(s, "KA-370").DOChannel[s] = 32;
        Commit();
    }
    void Set(pages::DigitalOutPage& page) { Answer(page.cmdSetDOConf); }
    static std::vector<int> Checked(ui::ControlArray<ui::CheckBox>& boxes) {
        std::vector<int> on;
        for (int ch = 0; ch < 32; ++ch)
            if (boxes(ch).Value() == 1) on.push_back(ch);
        return on;
    }
};

TEST_F(DigitalOutTest, ChannelBitsGoToTheLowOrHighMaskAndComeBack) {
    const struct {
        int channel;
        int32_t low, high;
    } cases[] = {{0, 1, 0}, {15, 32768, 0}, {16, 0, 1}, {31, 0, 32768}};
    for (const auto& c : cases) {
        pages::DigitalOutPage& page = Show(3);
        for (int ch = 0; ch < 32; ++ch) {
            page.chkDOPowerOnVal(ch).SetValue(ch == c.channel ? 1 : 0);
            page.chkDOSafeVal(ch).SetValue(ch == c.channel ? 1 : 0);
        }
        Set(page);
        const NodeConfig& n = ConfigSetting[0];
        EXPECT_EQ(n.DO_PowerONValue_Low[3], c.low) << c.channel;
        EXPECT_EQ(n.DO_PowerONValue_High[3], c.high) << c.channel;
        EXPECT_EQ(n.DO_SafeValue_Low[3], c.low) << c.channel;
        EXPECT_EQ(n.DO_SafeValue_High[3], c.high) << c.channel;
        EXPECT_EQ(n.DownloadPending[3], kTrue);
        // Shown again from the record, only that channel is checked.
        Show(0);
        Show(3);
        EXPECT_EQ(Checked(page.chkDOPowerOnVal), std::vector<int>{c.channel});
        EXPECT_EQ(Checked(page.chkDOSafeVal), std::vector<int>{c.channel});
        ConfigSetting[0].DownloadPending[3] = 0;
    }
}

TEST_F(DigitalOutTest, StoredModesSelectTheButtonsAndEnableTheBoxes) {
    const struct {
        uint8_t powerOn, safe;
        int powerOnShown, safeShown;
        bool powerOnBoxes, safeBoxes;
    } cases[] = {
        {0, 0, 0, 0, false, false}, {1, 0, 1, 0, true, false},  {0, 1, 0, 1, true, true},
        {1, 2, 1, 2, true, false},  {2, 3, 0, 0, false, false},
    };
    for (const auto& c : cases) {
        ConfigSetting[0].PowerOnValueMode(2, 0) = c.powerOn;
        ConfigSetting[0].SafeValueMode(2, 0) = c.safe;
        pages::DigitalOutPage& page = Show(2);
        EXPECT_TRUE(page.OptDOPowerOnMode(c.powerOnShown).Value()) << int(c.powerOn);
        EXPECT_TRUE(page.OptDOSafeValueMode(c.safeShown).Value()) << int(c.safe);
        for (int ch : {0, 31}) {
            EXPECT_EQ(page.chkDOPowerOnVal(ch).Enabled(), c.powerOnBoxes) << int(c.powerOn);
            EXPECT_EQ(page.chkDOSafeVal(ch).Enabled(), c.safeBoxes) << int(c.safe);
        }
        EXPECT_EQ(page.sstDOConf.Tab(), 0);
        // A Set without an edit stores the modes shown.
        Set(page);
        EXPECT_EQ(ConfigSetting[0].PowerOnValueMode(2, 0), c.powerOnShown);
        EXPECT_EQ(ConfigSetting[0].SafeValueMode(2, 0), c.safeShown);
    }
}

TEST_F(DigitalOutTest, TheOddSlotOfADuplexPairIsShownReadOnly) {
    ConfigSetting[0].RedundancyToSlot[0] = 1;
    ConfigSetting[0].SafeValueMode(1, 0) = 1;
    pages::DigitalOutPage& page = Show(1);
    for (int ch = 0; ch < 32; ++ch) {
        EXPECT_FALSE(page.chkDOPowerOnVal(ch).Enabled());
        EXPECT_FALSE(page.chkDOSafeVal(ch).Enabled());
    }
    EXPECT_FALSE(page.cmdSetDOConf.Enabled());
    EXPECT_FALSE(page.cmdCDODefault.Enabled());
    for (int i = 0; i <= 2; ++i) EXPECT_FALSE(page.OptDOSafeValueMode(i).Enabled());
    for (int i = 0; i <= 1; ++i) EXPECT_FALSE(page.OptDOPowerOnMode(i).Enabled());
    // Slot 0 of the same pair is editable.
    Show(0);
    EXPECT_TRUE(page.cmdSetDOConf.Enabled());
    EXPECT_TRUE(page.OptDOPowerOnMode(1).Enabled());
}

TEST_F(DigitalOutTest, DefaultClearsTheBoxesSelectsOffAndHoldAndStoresNothing) {
    ConfigSetting[0].DO_PowerONValue_Low[2] = 5;
    ConfigSetting[0].SafeValueMode(2, 0) = 1;
    ConfigSetting[0].PowerOnValueMode(2, 0) = 1;
    const NodeConfig before = ConfigSetting[0];
    pages::DigitalOutPage& page = Show(2);
    ASSERT_EQ(Checked(page.chkDOPowerOnVal), (std::vector<int>{0, 2}));
    page.sstDOConf.SetTab(1);
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdCDODefault.PerformClick();
    EXPECT_EQ(dialogs.shown.back().prompt,
              "Would you want ot set IOM parameters to default setting?");
    EXPECT_TRUE(page.OptDOPowerOnMode(0).Value());
    EXPECT_TRUE(page.OptDOSafeValueMode(2).Value());
    EXPECT_TRUE(Checked(page.chkDOPowerOnVal).empty());
    for (int ch : {0, 2, 31}) {
        EXPECT_FALSE(page.chkDOPowerOnVal(ch).Enabled());
        EXPECT_FALSE(page.chkDOSafeVal(ch).Enabled());
    }
    EXPECT_EQ(page.sstDOConf.Tab(), 0);
    EXPECT_TRUE(ConfigSetting[0] == before);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set IOM default value OK!!");
    EXPECT_EQ(window->lvwEventLog.ListItemCount(), 0);
}

TEST_F(DigitalOutTest, ASmallerModuleGetsNoBitOfTheSlotShownBefore) {
    ConfigSetting[0].DO_PowerONValue_Low[3] = 0xFFFF;
    ConfigSetting[0].DO_SafeValue_High[3] = 0xFFFF;
    ConfigReal[0].DOChannel[2] = 8;
    Show(3);
    pages::DigitalOutPage& page = Show(2);
    EXPECT_TRUE(page.chkDOPowerOnVal(7).Visible());
    EXPECT_FALSE(page.chkDOPowerOnVal(8).Visible());
    EXPECT_FALSE(page.chkDOSafeVal(31).Visible());
    EXPECT_EQ(window->PageChannelCount, 8);
    Set(page);
    EXPECT_EQ(ConfigSetting[0].DO_PowerONValue_Low[2], 0);
    EXPECT_EQ(ConfigSetting[0].DO_SafeValue_High[2], 0);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], 0);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set DO IOM 2 configuration ok!");
}

TEST_F(DigitalOutTest, NoToEveryQuestionChangesNothing) {
    ConfigReal[0].McuName[0] = "GW-7010";
    window->ShowRackPictures(0);
    pages::DigitalOutPage& page = Show(3);
    page.chkDOSafeVal(4).SetValue(1);
    window->optMCU(0).PerformClick();
    window->controllerPage.CobBreakLineFunc(3).SetListIndex(1);
    window->txtStatus.SetText("before");
    const NodeConfig before = ConfigSetting[0];
    ui::CommandButton* const buttons[] = {&page.cmdSetDOConf, &page.cmdCDODefault,
                                          &window->controllerPage.Command4};
    for (ui::CommandButton* b : buttons) {
        dialogs.AnswerMsgBox(rt::vbNo);
        b->PerformClick();
    }
    EXPECT_EQ(dialogs.shown.size(), 3u);
    EXPECT_TRUE(ConfigSetting[0] == before);
    EXPECT_EQ(window->txtStatus.Text(), "before");
    EXPECT_EQ(page.chkDOSafeVal(4).Value(), 1);
    EXPECT_EQ(window->controllerPage.CobBreakLineFunc(3).ListIndex(), 1);
}

}  // namespace
