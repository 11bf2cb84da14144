// The slot, power and controller clicks of the main window: which page
// comes to the front for every model and module state, and the station
// stand-in's configuration edited on the pages and downloaded.
#include <gtest/gtest.h>

#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"

namespace {

using testsupport::MainWindowTest;

// The frame in front among the pages.
ui::Frame* FrontPage(frmMain& w) {
    std::vector<ui::Frame*> frames = w.PageFrames();
    frames.push_back(&w.fmePOIOMConf);
    ui::Frame* front = frames[0];
    for (ui::Frame* f : frames)
        if (f->ZPosition() < front->ZPosition()) front = f;
    return front;
}

void PutModule(int slot, const CatalogEntry& e, int16_t state) {
    NodeConfig& n = ConfigReal[0];
    n.Module[slot] = e.Model;
    n.SlotPresent[slot] = kTrue;
    n.NMTState[slot] = state;
    n.AIChannel[slot] = e.Counts.AI;
    n.AOChannel[slot] = e.Counts.AO;
    n.DOChannel[slot] = e.Counts.DO;
    n.PIChannel[slot] = e.Counts.PI;
    n.POChannel[slot] = e.Counts.PO;
    ConfigSetting[0] = ConfigReal[0];
}

TEST_F(MainWindowTest, SlotClickShowsThePageOfTheModelOnlyInAWorkingState) {
    frmMain& w = Open();
    const std::map<pages::PageKind, ui::Frame*> frameOf = {
        {pages::PageKind::NoModule, &w.fmeNoModule},
        {pages::PageKind::AnalogOutput, &w.fmeCAOConf},
        {pages::PageKind::AnalogInput, &w.fmeCAIConf},
        {pages::PageKind::SensorInput, &w.fmeCAISConf},
        {pages::PageKind::DigitalOutput, &w.fmeDigitalOut},
        {pages::PageKind::PulseInput, &w.fmePIIOMConf},
        {pages::PageKind::PulseOutput, &w.fmePOIOMConf}};
    for (const CatalogEntry* e = CatalogBegin(); e != CatalogEnd(); ++e) {
        for (int16_t state : {0, 1, 2, 4, 8, 16, 32, 64}) {
            PutModule(3, *e, state);
            w.ShowRackPictures(0);
            w.optSlot(3).PerformClick();
            const bool working = state == 16 || state == 32 || state == 64;
            const pages::PageKind kind =
                working ? pages::DispatchPage(e->Model) : pages::PageKind::NoModule;
            EXPECT_EQ(FrontPage(w), frameOf.at(kind)) << e->Model << " state " << state;
            EXPECT_EQ(SelSlot, 3);
            EXPECT_EQ(w.lbCurrentModule.Caption(), e->Model);
            if (working && kind == pages::PageKind::PulseOutput) {
                EXPECT_EQ(w.PageChannelCount, e->Counts.PO);
            }
        }
    }
}

TEST_F(MainWindowTest, SensorPageCaptionFollowsTheModel) {
    frmMain& w = Open();
    const struct {
        const char *model, *caption;
    } cases[] = {{"KA-330", "Configuration (TC)"},
                 {"KB-540", "Configuration (TC)"},
                 {"KB-523", "Configuration (AI)"},
                 {"KA-310", "Configuration (RTD)"},
                 {"KB-510", "Configuration (RTD)"}};
    for (const auto& c : cases) {
        PutModule(2, *FindCatalogEntry(c.model), 32);
        w.ShowRackPictures(0);
        w.optSlot(2).PerformClick();
        EXPECT_EQ(w.fmeCAISConf.Caption(), c.caption) << c.model;
    }
}

TEST_F(MainWindowTest, ADigitalOutputModuleWithoutChannelsShowsTheEmptyPage) {
    frmMain& w = Open();
    PutModule(1, *FindCatalogEntry("KB-570"), 32);
    ConfigReal[0].DOChannel[1] = 0;
    w.ShowRackPictures(0);
    w.fmeIOMPoolConf.ZOrder(0);
    w.optSlot(1).PerformClick();
    EXPECT_EQ(FrontPage(w), &w.fmeNoModule);
    EXPECT_EQ(w.PageChannelCount, 0);
}

TEST_F(MainWindowTest, ControllerClickOpensTheControllerPageOnlyForAController) {
    frmMain& w = Open();
    ConfigReal[0].McuName[0] = "GW-7010";
    ConfigReal[0].NetID = 12;
    w.ShowRackPictures(0);
    w.optMCU(0).PerformClick();
    EXPECT_EQ(FrontPage(w), &w.fmeIOMPoolConf);
    EXPECT_EQ(w.TxtNetID.Text(), "12");
    w.optMCU(1).PerformClick();
    EXPECT_EQ(FrontPage(w), &w.fmeNoModule);
}

}  // namespace
