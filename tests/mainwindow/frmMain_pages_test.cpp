// The slot, power and controller clicks of the main window: which page
// comes to the front for every model and module state, and the station
// stand-in's configuration edited on the pages and downloaded.
#include <gtest/gtest.h>

#include <QWidget>

#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "mainwindow_support.h"

namespace {

using testsupport::MainWindowTest;
using testsupport::OnlineWindowTest;

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

// A page's controls are built on its first use; built while its frame is
// already on screen, every control that was not hidden on purpose shows.
TEST_F(MainWindowTest, PagesAreBuiltOnFirstUseAndShowTheirControls) {
    frmMain& w = Open();
    w.show();
    for (ui::Frame* f : {&w.fmeDigitalOut, &w.fmeIOMPoolConf, &w.fmeCAIConf, &w.fmePOIOMConf})
        EXPECT_TRUE(f->container()->findChildren<QWidget*>().isEmpty());
    ConfigReal[0].McuName[0] = "GW-7010";
    w.ShowRackPictures(0);
    w.fmeIOMPoolConf.ZOrder(0);
    ASSERT_TRUE(w.fmeIOMPoolConf.container()->isVisible());
    w.optMCU(0).PerformClick();
    const auto built = w.fmeIOMPoolConf.container()->findChildren<QWidget*>();
    EXPECT_FALSE(built.isEmpty());
    for (const QWidget* c : built) {
        if (!c->testAttribute(Qt::WA_WState_ExplicitShowHide)) {
            EXPECT_TRUE(c->isVisible()) << c->metaObject()->className();
        }
    }
    EXPECT_TRUE(w.fmeDigitalOut.container()->findChildren<QWidget*>().isEmpty());
}

TEST_F(OnlineWindowTest, PageEditsReachTheStationAndComeBackWithTheNextUpload) {
    options.station.setModule(2, 0x0010);  // KB-570
    options.station.setModule(3, 0x0010);
    frmMain& w = Start();
    ASSERT_TRUE(ConnectAndUpload());
    // Digital output page of slot 2: power-on Preset with channels 0 and
    // 31, fault mode Hold.
    w.optSlot(2).PerformClick();
    pages::DigitalOutPage& page = w.doPage;
    ASSERT_EQ(w.fmeDigitalOut.ZPosition(), 0);
    page.OptDOPowerOnMode(1).PerformClick();
    page.chkDOPowerOnVal(0).PerformClick();
    page.chkDOPowerOnVal(31).PerformClick();
    page.OptDOSafeValueMode(2).PerformClick();
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdSetDOConf.PerformClick();
    // Controller page: slots 2 and 3 become a duplex pair, slot 2's break
    // line goes on.
    w.optMCU(0).PerformClick();
    ASSERT_EQ(w.fmeIOMPoolConf.ZPosition(), 0);
    w.controllerPage.CobRedundancyMode(2).SetListIndex(1);
    w.controllerPage.CobBreakLineFunc(2).SetListIndex(1);
    dialogs.AnswerMsgBox(rt::vbYes);
    w.controllerPage.Command4.PerformClick();
    ASSERT_EQ(ConfigSetting[0].DownloadPending[2], kTrue);
    ASSERT_EQ(ConfigSetting[0].DownloadPending[3], kTrue);

    w.Toolbar.Buttons("Download").PerformClick();
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], 0);
    EXPECT_EQ(ConfigSetting[0].DownloadPending[3], 0);
    // Forget the copies that Download made, so only the station can give
    // the values back.
    for (int s : {2, 3}) {
        NodeConfig& r = ConfigReal[0];
        r.DO_PowerONValue_Low[s] = r.DO_PowerONValue_High[s] = 0;
        r.PowerOnValueMode(s, 0) = r.SafeValueMode(s, 0) = 0;
        r.RedundancyToSlot[s] = r.BreakLineFunc[s] = 0;
    }
    w.Toolbar.Buttons("Upload").PerformClick();
    const NodeConfig& n = ConfigReal[0];
    for (int s : {2, 3}) {
        EXPECT_EQ(n.DO_PowerONValue_Low[s], 1) << s;
        EXPECT_EQ(n.DO_PowerONValue_High[s], 32768) << s;
        EXPECT_EQ(n.PowerOnValueMode(s, 0), 1) << s;
        EXPECT_EQ(n.SafeValueMode(s, 0), 2) << s;
        EXPECT_EQ(n.RedundancyToSlot[s], 1) << s;
    }
    EXPECT_EQ(n.BreakLineFunc[2], 1);
    EXPECT_EQ(n.BreakLineFunc[3], 0);
    // The page shows what was read back.
    w.optSlot(2).SetValue(false);
    w.optSlot(2).PerformClick();
    EXPECT_EQ(page.chkDOPowerOnVal(31).Value(), 1);
    EXPECT_TRUE(page.OptDOSafeValueMode(2).Value());
}

TEST_F(OnlineWindowTest, AnalogInputAlarmsReachTheStationAsRawCountsAndComeBack) {
    frmMain& w = Start();  // slot 2: KB-521, 4 to 20 mA on every channel
    ASSERT_TRUE(ConnectAndUpload());
    w.optSlot(2).PerformClick();
    pages::AnalogInPage& page = w.aiPage;
    ASSERT_EQ(w.fmeCAIConf.ZPosition(), 0);
    auto type = [](ui::TextBox& box, const char* text) {
        box.SetFocus();  // the box left before runs its check
        box.SetText(text);
    };
    type(page.txtCAIHighAlarm(0), "18");
    type(page.txtCAILowAlarm(0), "12");
    type(page.txtCAIHighAlarm(1), "25");
    dialogs.AnswerMsgBox(rt::vbOK);
    page.txtCAILowAlarm(1).SetFocus();
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().prompt, "IOM 2 Alarm Val. Range: 2mA ~ 22mA");
    EXPECT_EQ(page.txtCAIHighAlarm(1).Text(), "20.0");
    EXPECT_EQ(page.txtCAILowAlarm(0).Text(), "12.0");
    page.cboCAIAlarmMode(0).SetListIndex(1);
    dialogs.AnswerMsgBox(rt::vbYes);
    page.cmdCAISetConf.PerformClick();
    ASSERT_EQ(ConfigSetting[0].DownloadPending[2], kTrue);

    w.Toolbar.Buttons("Download").PerformClick();
    EXPECT_EQ(ConfigSetting[0].DownloadPending[2], 0);
    const nxsim::SlotConfig held = sim.station().slot[2];
    EXPECT_EQ(held.reg(nxsim::BlkAlarmLow, 0), 5000);
    EXPECT_EQ(held.reg(nxsim::BlkAlarmHigh, 0), 8750);
    EXPECT_EQ(held.reg(nxsim::BlkAlarmHigh, 1), 10000);
    // Forget what Download copied, so only the station can give it back.
    NodeConfig& r = ConfigReal[0];
    r.LowAlarmVal(2, 0) = r.HighAlarmVal(2, 0) = 0;
    r.AlarmMode[2] = 0;
    w.Toolbar.Buttons("Upload").PerformClick();
    EXPECT_EQ(ConfigReal[0].LowAlarmVal(2, 0), 5000);
    EXPECT_EQ(ConfigReal[0].HighAlarmVal(2, 0), 8750);
    EXPECT_EQ(ConfigReal[0].AlarmMode[2], 1);
    w.optSlot(2).SetValue(false);
    w.optSlot(2).PerformClick();
    EXPECT_EQ(page.txtCAILowAlarm(0).Text(), "12.0");
    EXPECT_EQ(page.txtCAIHighAlarm(0).Text(), "18.0");
    EXPECT_EQ(page.cboCAIAlarmMode(0).ListIndex(), 1);
}

}  // namespace
