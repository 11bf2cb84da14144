// The pulse input page inside the main window: the two-bit channel words,
// the mode rule, the interval check, Set, Default, the read-only odd slot
// of a duplex pair, and the edits downloaded to the station stand-in.
#include "pages/PulseInPage.h"

#include <gtest/gtest.h>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

class PulseInTest : public testsupport::PageTest<pages::PulseInPage, &frmMain::piPage> {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        for (int s = 0; s <= 3; ++s) {
            NodeConfig& n = PutWorking(s, "KB-580");
            n.PIChannel[s] = 8;
            for (int ch = 0; ch < 8; ++ch) n.RangeCode(s, ch) = 83;
        }
        Commit();
    }
};

TEST_F(PulseInTest, ChannelWordsShowTwoBitsPerChannel) {
    const struct {
        int32_t edge;
        double impedance;
        uint8_t lpf;
        std::vector<int> edges, impedances, lpfs;  // channels 0..3
    } cases[] = {
        {9, 0, 0, {1, 2, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {12, 4 + 3 * 64, 4, {0, 0, 0, 0}, {0, 1, 0, 3}, {0, 0, 1, 0}},
        // A stored impedance beyond 32 bits shows every channel "NONE".
        {0, 1e20, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {0, -1e20, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        ConfigSetting[0].PI[2].EdgeTrig = c.edge;
        ConfigSetting[0].PI[2].Impendance = c.impedance;
        ConfigSetting[0].PI[2].LPFMode = c.lpf;
        pages::PulseInPage& page = Show(2);
        for (int ch = 0; ch < 4; ++ch) {
            EXPECT_EQ(page.cboPITrigMode(ch).ListIndex(), c.edges[ch]) << c.edge << " ch" << ch;
            EXPECT_EQ(page.cboPIImpendance(ch).ListIndex(), c.impedances[ch]) << ch;
            EXPECT_EQ(page.cboPILPFMode(ch).ListIndex(), c.lpfs[ch]) << ch;
        }
    }
}

TEST_F(PulseInTest, SetPacksTheListsIntoTheSlotWords) {
    pages::PulseInPage& page = Show(3);
    for (int ch = 0; ch < 8; ++ch) page.cboPIImpendance(ch).SetListIndex(3);
    page.cboPILPFMode(2).SetListIndex(1);
    page.cboPITrigMode(7).SetListIndex(2);
    page.txtPILPFInterval.SetText("1.5");
    Answer(page.cmdCPISetConf);
    const PIConfig& pi = ConfigSetting[0].PI[3];
    EXPECT_EQ(pi.Impendance, 65535);
    EXPECT_EQ(pi.LPFMode, 4);
    EXPECT_EQ(pi.EdgeTrig, 2 << 14);
    EXPECT_EQ(pi.FilterInterval, 1.5);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[3], kTrue);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set PI IOM 3 configuration ok!");
    Show(0);
    Show(3);
    EXPECT_EQ(page.txtPILPFInterval.Text(), "1.5");
    EXPECT_EQ(page.cboPITrigMode(7).ListIndex(), 2);
}

TEST_F(PulseInTest, IntervalCheckOnLeavingTheBox) {
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {{"40000", "32767"}, {"", "1"},      {"-5", "1"},
                 {"0", "0"},         {"abc", "abc"}, {"32767", "32767"}};
    pages::PulseInPage& page = Show(0);
    for (const auto& c : cases) {
        page.txtPILPFInterval.SetText(c.typed);
        page.txtPILPFInterval.LostFocus();
        EXPECT_EQ(page.txtPILPFInterval.Text(), c.shown) << c.typed;
    }
}

TEST_F(PulseInTest, FrequencyGreysTriggerAndFilterButNotImpedance) {
    pages::PulseInPage& page = Show(0);
    page.cboPIImpendance(3).SetEnabled(false);
    page.cboCPIChannelMode(3).SetListIndex(0);
    EXPECT_EQ(page.cboCPIChannelMode(3).Text(), "Frequency");
    EXPECT_FALSE(page.cboPITrigMode(3).Enabled());
    EXPECT_FALSE(page.cboPILPFMode(3).Enabled());
    EXPECT_FALSE(page.cboPIImpendance(3).Enabled());
    EXPECT_TRUE(page.cboPITrigMode(2).Enabled());
    page.cboCPIChannelMode(3).SetListIndex(1);
    EXPECT_TRUE(page.cboPITrigMode(3).Enabled());
    EXPECT_TRUE(page.cboPILPFMode(3).Enabled());
    EXPECT_TRUE(page.cboPIImpendance(3).Enabled());
}

TEST_F(PulseInTest, TheOddSlotOfADuplexPairIsShownReadOnly) {
    ConfigSetting[0].RedundancyToSlot[0] = 1;
    pages::PulseInPage& page = Show(1);
    for (int ch = 0; ch < 8; ++ch)
        for (ui::ComboBox* list : {&page.cboCPIChannelMode(ch), &page.cboPITrigMode(ch),
                                   &page.cboPIImpendance(ch), &page.cboPILPFMode(ch)})
            EXPECT_FALSE(list->Enabled()) << ch;
    EXPECT_FALSE(page.txtPILPFInterval.Enabled());
    EXPECT_FALSE(page.cmdCPISetConf.Enabled());
    EXPECT_FALSE(page.cmdCPIDefConf.Enabled());
    Show(0);
    EXPECT_TRUE(page.cmdCPISetConf.Enabled());
}

TEST_F(PulseInTest, DefaultThenSetStoresTheDefaultsAndAModeOutsideTheMenuSurvives) {
    NodeConfig& n = ConfigSetting[0];
    n.PI[2] = PIConfig{255, 0, 0x5555, 9, 0xAAAA};
    for (int ch = 0; ch < 8; ++ch) n.RangeCode(2, ch) = 82;
    pages::PulseInPage& page = Show(2);
    Answer(page.cmdCPIDefConf);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set IOM default value OK!!");
    EXPECT_EQ(n.PI[2].FilterInterval, 9);  // Default changes the controls only
    Answer(page.cmdCPISetConf);
    EXPECT_TRUE((n.PI[2] == PIConfig{0, 0, 0, 50, 0}));
    for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(n.RangeCode(2, ch), 83) << ch;

    // A code of the model's window that its menu lacks is shown, not
    // replaced, and a Set keeps it.
    n.RangeCode(2, 5) = 80;
    Show(2);
    EXPECT_EQ(page.cboCPIChannelMode(5).ListIndex(), -1);
    Answer(page.cmdCPISetConf);
    EXPECT_EQ(n.RangeCode(2, 5), 80);
}

class PulseInOnlineTest : public testsupport::OnlineWindowTest {};

TEST_F(PulseInOnlineTest, EditsReachTheStationAndComeBackWithTheNextUpload) {
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    ASSERT_EQ(ConfigReal[0].Module[5], "KB-580");
    w.optSlot(5).PerformClick();
    ASSERT_EQ(w.fmePIIOMConf.ZPosition(), 0);
    pages::PulseInPage& page = w.piPage;
    page.cboCPIChannelMode(4).SetListIndex(0);
    page.cboPITrigMode(0).SetListIndex(1);
    page.cboPIImpendance(1).SetListIndex(2);
    page.cboPILPFMode(2).SetListIndex(1);
    page.txtPILPFInterval.SetText("120");
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdCPISetConf.PerformClick();
    ASSERT_EQ(ConfigSetting[0].DownloadPending[5], kTrue);
    w.Toolbar.Buttons("Download").PerformClick();
    EXPECT_EQ(ConfigSetting[0].DownloadPending[5], 0);
    ConfigReal[0].PI[5] = PIConfig{};
    ConfigReal[0].RangeCode(5, 4) = 0;
    w.Toolbar.Buttons("Upload").PerformClick();
    const NodeConfig& n = ConfigReal[0];
    EXPECT_EQ(n.RangeCode(5, 4), 82);
    EXPECT_EQ(n.RangeCode(5, 3), 83);
    EXPECT_EQ(n.PI[5].EdgeTrig, 1);
    EXPECT_EQ(n.PI[5].Impendance, 2 * 4);
    EXPECT_EQ(n.PI[5].LPFMode, 4);
    EXPECT_EQ(n.PI[5].FilterInterval, 120);
    w.optSlot(5).SetValue(false);
    w.optSlot(5).PerformClick();
    EXPECT_EQ(page.cboCPIChannelMode(4).Text(), "Frequency");
    EXPECT_EQ(page.txtPILPFInterval.Text(), "120");
}

}  // namespace
