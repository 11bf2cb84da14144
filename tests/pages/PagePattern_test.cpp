// The pattern every page shares: the page of each model, the module states
// that show a page, the duplex read-only rule, and the Set and Default runs
// (question, staging, compare, pending flag, report, copy to the partner).
#include "pages/PagePattern.h"

#include <gtest/gtest.h>

#include "config/Conversions.h"
#include "config/ModuleCatalog.h"
#include "mainwindow_support.h"
#include "tests/support/CaptionsFit.h"

namespace {

using pages::PageKind;
using testsupport::MainWindowTest;

// The page a model's family leads to; the PO module KB-590 and the models
// without a family have none.
PageKind PageOfFamily(const CatalogEntry& e) {
    if (std::string(e.Model) == "KB-590") return PageKind::NoModule;
    switch (e.Family) {
        case ModuleFamily::AOFamily:
            return PageKind::AnalogOutput;
        case ModuleFamily::AIFamily:
            return PageKind::AnalogInput;
        case ModuleFamily::TCFamily:
        case ModuleFamily::ScaledAIFamily:
        case ModuleFamily::RTDFamily:
            return PageKind::SensorInput;
        case ModuleFamily::DOFamily:
            return PageKind::DigitalOutput;
        case ModuleFamily::PIFamily:
            return PageKind::PulseInput;
        case ModuleFamily::POFamily:
            return PageKind::PulseOutput;
        default:
            return PageKind::NoModule;
    }
}

TEST(Dispatch, EveryCatalogModelGetsThePageOfItsFamily) {
    for (const CatalogEntry* e = CatalogBegin(); e != CatalogEnd(); ++e)
        EXPECT_EQ(pages::DispatchPage(e->Model), PageOfFamily(*e)) << e->Model;
    for (const char* other : {"", "KA-390", "KD-611", "KD-612", "ka-370", "KA-370 "})
        EXPECT_EQ(pages::DispatchPage(other), PageKind::NoModule) << other;
}

TEST(Dispatch, ChannelCountsAreLimitedToThePageControls) {
    NodeConfig n;
    n.DOChannel(3) = 40;
    n.AIChannel(3) = -2;
    n.POChannel(3) = 12;
    EXPECT_EQ(pages::PageCount(PageKind::DigitalOutput, n, 3, 32), 32);
    EXPECT_EQ(pages::PageCount(PageKind::AnalogInput, n, 3, 16), 0);
    EXPECT_EQ(pages::PageCount(PageKind::PulseOutput, n, 3, 16), 12);
    EXPECT_EQ(pages::PageCount(PageKind::NoModule, n, 3, 16), 0);
}

TEST(Duplex, OnlyTheOddSlotOfAMarkedPairIsReadOnly) {
    const struct {
        int slot, flagBefore, flagOwn;
        bool readOnly;
    } cases[] = {
        {0, 0, 1, false}, {1, 1, 0, true},  {1, 0, 1, true}, {1, 0, 0, false},
        {2, 1, 1, false}, {3, 0, 0, false}, {7, 1, 0, true}, {5, 2, 0, false},
    };
    for (const auto& c : cases) {
        NodeConfig n;
        if (c.slot > 0) n.RedundancyToSlot(c.slot - 1) = static_cast<int16_t>(c.flagBefore);
        n.RedundancyToSlot(c.slot) = static_cast<int16_t>(c.flagOwn);
        EXPECT_EQ(pages::DuplexReadOnly(n, c.slot), c.readOnly) << c.slot;
    }
}

class SetRunTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Open();
        for (int s = 0; s < 8; ++s) ConfigReal[0].Module[s] = ConfigSetting[0].Module[s] = "KA-370";
    }
    // A Set whose page stores `mask` into the slot's power-on low mask.
    void SetMask(int slot, int32_t mask) {
        SelSlot = static_cast<int16_t>(slot);
        dialogs.AnswerMsgBox(rt::vbYes);
        pages::RunSet(*window, words, [mask](pages::SlotStore& s) {
            s.Put(&NodeConfig::DO_PowerONValue_Low, mask);
        });
    }
    pages::PageWords words{"Would you want to modify IOM parameters?", " Set DO IOM ",
                           " configuration error!", ""};
};

TEST_F(SetRunTest, PendingFollowsTheCompareWithTheReadRecord) {
    const struct {
        int32_t real, stored;
        int16_t pendingBefore, pendingAfter;
    } cases[] = {{5, 5, 0, 0}, {5, 5, kTrue, kTrue}, {5, 6, 0, kTrue}, {5, 6, kTrue, kTrue}};
    for (const auto& c : cases) {
        ConfigReal[0].DO_PowerONValue_Low(3) = c.real;
        ConfigSetting[0].DownloadPending(3) = c.pendingBefore;
        window->txtStatus.SetText("");
        SetMask(3, c.stored);
        EXPECT_EQ(ConfigSetting[0].DO_PowerONValue_Low(3), c.stored);
        EXPECT_EQ(ConfigSetting[0].DownloadPending(3), c.pendingAfter) << c.stored;
        const std::string line = window->txtStatus.Text();
        EXPECT_EQ(line.substr(8), " Set DO IOM 3 configuration ok!");
        EXPECT_EQ(window->lvwEventLog.ListItems(window->lvwEventLog.ListItemCount()).Text(), line);
    }
    EXPECT_EQ(dialogs.shown[0].title, "Tool Operation");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbYesNo);
}

TEST_F(SetRunTest, AFailedConversionLeavesTheEditedRecordUntouched) {
    ConfigSetting[0].DO_PowerONValue_Low(2) = 9;
    const NodeConfig before = ConfigSetting[0];
    SelSlot = 2;
    dialogs.AnswerMsgBox(rt::vbYes);
    pages::RunSet(*window, words, [](pages::SlotStore& s) {
        s.Put(&NodeConfig::DO_PowerONValue_Low, 1);
        s.Put(&NodeConfig::HighAlarmVal, 0,
              ConvRealValToManuVal(1.0e6f, 24, 0, 12500, -2500));  // overflows
    });
    EXPECT_TRUE(ConfigSetting[0] == before);
    EXPECT_EQ(window->txtStatus.Text().substr(8), " Set DO IOM 2 configuration error!");
}

TEST_F(SetRunTest, DuplexCopyGoesFromAnEvenMarkedSlotToTheSameModelOnly) {
    const struct {
        int slot;
        const char* partnerModel;
        int16_t flag;
        bool copied;
    } cases[] = {{4, "KA-370", 1, true}, {4, "KB-570", 1, false}, {4, "KA-370", 0, false},
                 {4, "", 1, false},      {5, "KA-370", 1, false}, {6, "KA-370", 1, true}};
    for (const auto& c : cases) {
        const int partner = c.slot % 2 == 0 ? c.slot + 1 : c.slot - 1;
        ConfigSetting[0].Module[partner] = c.partnerModel;
        ConfigSetting[0].DO_PowerONValue_Low(partner) = 0;
        ConfigSetting[0].RedundancyToSlot(c.slot) = c.flag;
        SetMask(c.slot, 77);
        EXPECT_EQ(ConfigSetting[0].DO_PowerONValue_Low(partner), c.copied ? 77 : 0) << c.slot;
        ConfigSetting[0].Module[partner] = "KA-370";
    }
}

TEST_F(SetRunTest, ACopyKeepsThePartnersOwnPendingFlag) {
    ConfigSetting[0].RedundancyToSlot(2) = 1;
    ConfigSetting[0].DownloadPending(3) = kTrue;
    SetMask(2, 0);  // unchanged: slot 2 stays clear
    EXPECT_EQ(ConfigSetting[0].DownloadPending(2), 0);
    EXPECT_EQ(ConfigSetting[0].DownloadPending(3), kTrue);
    SetMask(2, 8);  // changed: both pending
    EXPECT_EQ(ConfigSetting[0].DownloadPending(3), kTrue);
    EXPECT_EQ(ConfigSetting[0].DO_PowerONValue_Low(3), 8);
}

TEST_F(SetRunTest, NoToTheQuestionChangesNothing) {
    ConfigReal[0].DO_PowerONValue_Low(3) = 1;
    const NodeConfig before = ConfigSetting[0];
    window->txtStatus.SetText("as before");
    SelSlot = 3;
    dialogs.AnswerMsgBox(rt::vbNo);
    bool stored = false;
    pages::RunSet(*window, words, [&](pages::SlotStore&) { stored = true; });
    dialogs.AnswerMsgBox(rt::vbNo);
    pages::RunDefault(*window, words, [&] { return stored = true; });
    EXPECT_FALSE(stored);
    EXPECT_TRUE(ConfigSetting[0] == before);
    EXPECT_EQ(window->txtStatus.Text(), "as before");
}

}  // namespace

namespace {

// Every page, as each model with a page fills it, and both sub-frames of the
// pages that have two, shows its captions, headers and items whole.
class CaptionsTest : public MainWindowTest {
  protected:
    void Expect(const std::string& shown) {
        for (const auto& f : testsupport::CaptionsThatDoNotFit(window.get()))
            ADD_FAILURE() << shown << ": " << f;
    }
};

TEST_F(CaptionsTest, EveryPageShowsItsTextsWhole) {
    Open();
    window->show();
    window->optMCU(0).PerformClick();
    Expect("controller page");
    for (const CatalogEntry* e = CatalogBegin(); e != CatalogEnd(); ++e) {
        if (pages::DispatchPage(e->Model) == PageKind::NoModule) continue;
        NodeConfig& n = ConfigReal[0];
        n.Module[2] = e->Model;
        n.SlotPresent[2] = kTrue;
        n.NMTState[2] = 32;
        n.AOChannel[2] = e->Counts.AO;
        n.AIChannel[2] = e->Counts.AI;
        n.DOChannel[2] = e->Counts.DO;
        n.PIChannel[2] = e->Counts.PI;
        n.POChannel[2] = e->Counts.PO;
        ConfigSetting[0] = n;
        window->ShowRackPictures(0);
        window->optSlot(2).SetValue(false);
        window->optSlot(2).PerformClick();
        Expect(e->Model);
        for (ui::CommandButton* other :
             {&window->aoPage.cmdCAOAllConf, &window->sensorPage.cmdSensorModeSetting}) {
            if (!other->widget() || !other->widget()->isVisible()) continue;
            other->PerformClick();
            Expect(std::string(e->Model) + " after " + other->Caption());
        }
    }
}

}  // namespace
