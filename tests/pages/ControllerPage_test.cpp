// The controller page inside the main window: the duplex lists keep a pair
// consistent, the page opens from the edited record, and Set stores every
// slot's choices and copies newly joined pairs.
#include "pages/ControllerPage.h"

#include <gtest/gtest.h>

#include "config/NodeConfig.h"
#include "mainwindow_support.h"

namespace {

class ControllerPageTest : public testsupport::MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Open();
        ConfigReal[0].McuName[0] = "GW-7010";
        window->ShowRackPictures(0);
    }
    void Models(std::initializer_list<const char*> models) {
        int s = 0;
        for (const char* m : models) {
            ConfigReal[0].Module[s] = m;
            ++s;
        }
        ConfigSetting[0] = ConfigReal[0];
    }
    pages::ControllerPage& Show() {
        window->optMCU(0).SetValue(false);
        window->optMCU(0).PerformClick();
        return window->controllerPage;
    }
    std::vector<std::string> Warnings() const {
        std::vector<std::string> w;
        for (const auto& d : dialogs.shown)
            if (d.title == "IOM Setting Warning") w.push_back(d.prompt);
        return w;
    }
};

TEST_F(ControllerPageTest, ChoosingDuplexMirrorsTheSameModelAndWarnsOtherwise) {
    const struct {
        const char *even, *odd;
        int slot, choice;
        int evenShown, oddShown;
        bool warned;
    } cases[] = {
        {"KA-370", "KA-370", 2, 1, 1, 1, false}, {"KA-370", "KA-370", 3, 1, 1, 1, false},
        {"KA-370", "KA-380", 2, 1, 0, 0, true},  {"KA-370", "", 2, 1, 0, 0, true},
        {"KA-380", "KA-370", 3, 1, 0, 0, true},
    };
    for (const auto& c : cases) {
        Models({"", "", c.even, c.odd});
        pages::ControllerPage& page = Show();
        dialogs.shown.clear();
        if (c.warned) dialogs.AnswerMsgBox(rt::vbOK);
        page.CobRedundancyMode(c.slot).SetListIndex(c.choice);
        EXPECT_EQ(page.CobRedundancyMode(2).ListIndex(), c.evenShown) << c.even << c.odd;
        EXPECT_EQ(page.CobRedundancyMode(3).ListIndex(), c.oddShown) << c.even << c.odd;
        const int other = c.slot == 2 ? 3 : 2;
        EXPECT_EQ(Warnings(),
                  c.warned
                      ? std::vector<std::string>{"Duplex IOM" + std::to_string(c.slot) + " & IOM" +
                                                 std::to_string(other) + " not match!!!"}
                      : std::vector<std::string>{});
        EXPECT_EQ(page.CobRedundancyMode(3).Enabled(), std::string(c.odd) != "");
    }
    // Single on the odd slot takes the even slot back to Single.
    Models({"", "", "KA-370", "KA-370"});
    pages::ControllerPage& page = Show();
    page.CobRedundancyMode(2).SetListIndex(1);
    page.CobRedundancyMode(3).SetListIndex(0);
    EXPECT_EQ(page.CobRedundancyMode(2).ListIndex(), 0);
}

TEST_F(ControllerPageTest, OpeningShowsTheStoredChoicesAndWarnsOfAMismatchedPair) {
    Models({"KA-370", "KA-370", "KB-570", "", "KA-370", "KB-570"});
    ConfigSetting[0].RedundancyToSlot[0] = ConfigSetting[0].RedundancyToSlot[1] = 1;
    ConfigSetting[0].RedundancyToSlot[4] = 1;
    ConfigSetting[0].BreakLineFunc[2] = 5;
    dialogs.AnswerMsgBox(rt::vbOK);
    pages::ControllerPage& page = Show();
    EXPECT_EQ(Warnings(), std::vector<std::string>{"Duplex IOM4 & IOM5 not match!!!"});
    const int duplex[] = {1, 1, 0, 0, 0, 0, 0, 0};
    for (int s = 0; s < 8; ++s) EXPECT_EQ(page.CobRedundancyMode(s).ListIndex(), duplex[s]) << s;
    EXPECT_EQ(page.CobBreakLineFunc(2).ListIndex(), 1);
    EXPECT_FALSE(page.CobBreakLineFunc(3).Enabled());
    EXPECT_FALSE(page.CobRedundancyMode(7).Enabled());
    EXPECT_TRUE(page.CobRedundancyMode(5).Enabled());
}

TEST_F(ControllerPageTest, SetMarksOnlyChangedSlotsAndCopiesNewPairsFromTheEvenSlot) {
    Models(
        {"KA-370", "KA-370", "KA-370", "KA-370", "KB-570", "KB-570", "KA-370", "KA-370", "KA-370"});
    NodeConfig& n = ConfigSetting[0];
    n.DO_PowerONValue_Low[2] = 9;
    n.DownloadPending[3] = kTrue;
    n.BreakLineFunc[8] = 7;
    pages::ControllerPage& page = Show();
    // Nothing chosen: nothing pending, the line all the same.
    dialogs.AnswerMsgBox(rt::vbYes);
    page.Command4.PerformClick();
    EXPECT_EQ(dialogs.shown.back().prompt, "Will you set MCU parameter modify?");
    for (int s : {0, 1, 2, 4, 5, 6, 7}) EXPECT_EQ(n.DownloadPending[s], 0) << s;
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set common IOM configuration ok!");
    // Break line of slot 6 alone; slots 2 and 3 joined, slot 3 with its own
    // break line.
    page.CobBreakLineFunc(6).SetListIndex(1);
    page.CobRedundancyMode(2).SetListIndex(1);
    page.CobBreakLineFunc(3).SetListIndex(1);
    dialogs.AnswerMsgBox(rt::vbYes);
    page.Command4.PerformClick();
    const struct {
        int slot;
        int16_t pending, redundancy, breakLine;
        int32_t mask;
    } expected[] = {{2, kTrue, 1, 0, 9},
                    {3, kTrue, 1, 1, 9},
                    {6, kTrue, 0, 1, 0},
                    {7, 0, 0, 0, 0},
                    {8, 0, 0, 7, 0}};
    for (const auto& e : expected) {
        EXPECT_EQ(n.DownloadPending[e.slot], e.pending) << e.slot;
        EXPECT_EQ(n.RedundancyToSlot[e.slot], e.redundancy) << e.slot;
        EXPECT_EQ(n.BreakLineFunc[e.slot], e.breakLine) << e.slot;
        EXPECT_EQ(n.DO_PowerONValue_Low[e.slot], e.mask) << e.slot;
    }
}

}  // namespace
