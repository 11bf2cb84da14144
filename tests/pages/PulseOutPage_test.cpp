// The pulse output page inside the main window: values beyond the signed
// 16-bit range, the box checks, the mode rule, Set, Default, the read-only
// odd slot of a duplex pair, and the edits downloaded to the station
// stand-in.
#include "pages/PulseOutPage.h"

#include <gtest/gtest.h>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

class PulseOutTest : public testsupport::PageTest<pages::PulseOutPage, &frmMain::poPage> {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        for (int s = 0; s <= 3; ++s) {
            NodeConfig& n = PutWorking(s, "KA-371");
            n.POChannel[s] = 16;
            for (int ch = 0; ch < 16; ++ch) n.RangeCode(s, ch) = 98;
        }
        Commit();
    }
};

TEST_F(PulseOutTest, WholeNumbersAndSixteenBitPatternsGoBothWays) {
    const struct {
        ui::ControlArray<ui::TextBox> pages::PulseOutPage::*box;
        ChannelRow<int16_t> POConfig::*field;
        const char* typed;
        int16_t stored;
        const char* shownAgain;
    } cases[] = {
        {&pages::PulseOutPage::txtPOReferenceTime, &POConfig::RefTime, "5.5", 6, "6"},
        {&pages::PulseOutPage::txtPOReferenceTime, &POConfig::RefTime, "6.5", 6, "6"},
        {&pages::PulseOutPage::txtPOCounter, &POConfig::PWMCount, "40000", -25536, "40000"},
        {&pages::PulseOutPage::txtPOCounter, &POConfig::PWMCount, "65535", -1, "65535"},
        {&pages::PulseOutPage::txtPOOutputCycle, &POConfig::CyclicSteps, "32768", -32768, "32768"},
        {&pages::PulseOutPage::txtPODytyCycle, &POConfig::DutySteps, "32767", 32767, "32767"},
    };
    for (const auto& c : cases) {
        pages::PulseOutPage& page = Show(2);
        (page.*c.box)(9).SetText(c.typed);
        Answer(page.cmdCPOSetConf);
        EXPECT_EQ((ConfigSetting[0].PO[2].*c.field)(9), c.stored) << c.typed;
        Show(2);
        EXPECT_EQ((page.*c.box)(9).Text(), c.shownAgain) << c.typed;
    }
}

TEST_F(PulseOutTest, TheCycleBoundFollowsTheChannelsBaseTime) {
    const struct {
        int16_t storedBase;
        const char* typedCycle;
        const char* cycleAfter;
    } cases[] = {{30000, "100", "2"}, {5, "20000", "13107"}, {0, "60000", "60000"}};
    for (const auto& c : cases) {
        ConfigSetting[0].PO[1].RefTime(4) = c.storedBase;
        pages::PulseOutPage& page = Show(1);
        page.txtPOOutputCycle(4).SetText(c.typedCycle);
        page.txtPOOutputCycle(4).LostFocus();
        EXPECT_EQ(page.txtPOOutputCycle(4).Text(), c.cycleAfter) << c.storedBase;
    }
}

TEST_F(PulseOutTest, ModeRuleOnTheChannelsBoxes) {
    pages::PulseOutPage& page = Show(0);
    page.txtPOCounter(5).SetText("7");
    const struct {
        int mode;
        bool timing, counter;
        const char* counterText;
    } steps[] = {
        {2, true, true, "7"}, {1, true, false, "0"}, {2, true, true, "0"}, {0, false, false, "0"}};
    for (const auto& s : steps) {
        page.cboCPOChannelMode(5).SetListIndex(s.mode);
        page.cboCPOChannelMode_Click(5);
        for (auto* boxes : {&page.txtPOReferenceTime, &page.txtPOOutputCycle, &page.txtPODytyCycle,
                            &page.txtPOOffset})
            EXPECT_EQ((*boxes)(5).Enabled(), s.timing) << s.mode;
        EXPECT_EQ(page.txtPOCounter(5).Enabled(), s.counter) << s.mode;
        EXPECT_EQ(page.txtPOCounter(5).Text(), s.counterText) << s.mode;
        EXPECT_TRUE(page.cboCPOFaultMode(5).Enabled());
    }
}

TEST_F(PulseOutTest, DefaultThenSetStoresTheDefaults) {
    NodeConfig& n = ConfigSetting[0];
    n.SafeValueMode(2, 3) = 1;
    pages::PulseOutPage& page = Show(2);
    EXPECT_EQ(page.cboCPOFaultMode(3).Text(), "OFF");
    window->txtStatus.SetText("before");
    Answer(page.cmdDefCPOSetConf);
    EXPECT_EQ(dialogs.shown.back().prompt,
              "Would you want to set IOM parameters to default setting");
    EXPECT_EQ(window->txtStatus.Text(), "before");
    EXPECT_FALSE(page.txtPOReferenceTime(15).Enabled());
    EXPECT_FALSE(page.txtPOCounter(0).Enabled());
    Answer(page.cmdCPOSetConf);
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(n.RangeCode(2, ch), 96) << ch;
        EXPECT_EQ(n.PO[2].RefTime(ch), 20);
        EXPECT_EQ(n.PO[2].CyclicSteps(ch), 2);
        EXPECT_EQ(n.PO[2].DutySteps(ch), 0);
        EXPECT_EQ(n.PO[2].OffsetTime(ch), 0);
        EXPECT_EQ(n.PO[2].PWMCount(ch), 0);
        EXPECT_EQ(n.SafeValueMode(2, ch), 2);
    }
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set PO IOM 2 configuration ok!");
}

TEST_F(PulseOutTest, TheOddSlotOfADuplexPairStaysReadOnly) {
    ConfigSetting[0].RedundancyToSlot[2] = 1;
    pages::PulseOutPage& page = Show(3);
    page.cboCPOChannelMode(0).SetListIndex(1);
    for (int ch : {0, 15}) {
        EXPECT_FALSE(page.cboCPOChannelMode(ch).Enabled());
        EXPECT_FALSE(page.txtPOOffset(ch).Enabled());
        EXPECT_FALSE(page.cboCPOFaultMode(ch).Enabled());
    }
    EXPECT_FALSE(page.cmdCPOSetConf.Enabled());
    EXPECT_FALSE(page.cmdDefCPOSetConf.Enabled());
}

class PulseOutOnlineTest : public testsupport::OnlineWindowTest {};

TEST_F(PulseOutOnlineTest, EditsReachTheStationAndComeBackWithTheNextUpload) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    // The stand-in's pulse output module in slot 6 is a KB-590, which has
    // no page; a configuration file names the KA-371 that has one, and
    // both take the same commands.
    ASSERT_EQ(ConfigReal[0].Module[6], "KB-590");
    ConfigReal[0].Module[6] = ConfigSetting[0].Module[6] = "KA-371";
    w.ShowRackPictures(0);
    w.optSlot(6).PerformClick();
    ASSERT_EQ(w.fmePOIOMConf.ZPosition(), 0);
    pages::PulseOutPage& page = w.poPage;
    page.cboCPOChannelMode(0).SetListIndex(2);
    page.txtPOReferenceTime(0).SetText("100");
    page.txtPOOutputCycle(0).SetText("50");
    page.txtPODytyCycle(0).SetText("25");
    page.txtPOOffset(0).SetText("40000");
    page.txtPOCounter(0).SetText("40000");
    page.cboCPOFaultMode(15).SetListIndex(0);
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdCPOSetConf.PerformClick();
    ASSERT_EQ(ConfigSetting[0].DownloadPending[6], kTrue);
    w.Toolbar.Buttons("Download").PerformClick();
    EXPECT_EQ(ConfigSetting[0].DownloadPending[6], 0);
    ConfigReal[0].PO[6] = POConfig{};
    ConfigReal[0].RangeCode(6, 0) = 0;
    w.Toolbar.Buttons("Upload").PerformClick();
    const NodeConfig& n = ConfigReal[0];
    EXPECT_EQ(n.RangeCode(6, 0), 98);
    EXPECT_EQ(n.PO[6].RefTime(0), 100);
    EXPECT_EQ(n.PO[6].CyclicSteps(0), 50);
    EXPECT_EQ(n.PO[6].DutySteps(0), 25);
    EXPECT_EQ(n.PO[6].OffsetTime(0), 40000);
    EXPECT_EQ(n.PO[6].PWMCount(0), -25536);
    EXPECT_EQ(n.SafeValueMode(6, 15), 0);
}

}  // namespace
