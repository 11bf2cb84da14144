#include "mainwindow/frmMain.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <fstream>

#include "config/ConfigFile.h"
#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "mainwindow/frmAbout.h"
#include "mainwindow/frmAdvancedOptions.h"
#include "mainwindow_support.h"
#include "tests/support/CaptionsFit.h"
#include "tests/support/ConfigRecords.h"

namespace {

using testsupport::MainWindowTest;
using testsupport::WaitFor;
using Style = ui::ToolbarButton::Style;

const std::string kStartCaption = std::string(" NX-4410 Utility  ver ") + NX_PROJECT_VERSION + " ";

// A file that would change the records if the load read it.
class IniBesideProgram {
  public:
    IniBesideProgram() : path_(frmMain::ProgramFolder() + "/NX-4410_MCU.ini") {
        std::ofstream f(path_);
        f << "[Config0]\r\nController=GW-7010\r\nTotalSlot=8\r\nMCU Version=300\r\n"
             "NetID=5\r\n";
    }
    ~IniBesideProgram() { std::remove(path_.c_str()); }

  private:
    std::string path_;
};

// ---- Start-up --------------------------------------------------------------------

TEST_F(MainWindowTest, StartsWithVersionCaptionAndReadsNoFile) {
    IniBesideProgram ini;
    frmMain& w = Open();
    EXPECT_EQ(w.Caption(), kStartCaption);
    EXPECT_EQ(frmMain::StartCaption(), kStartCaption);
    EXPECT_EQ(frmMain::Instance(), &w);
    // Both copies keep their all-zero start, the file beside the program
    // notwithstanding.
    EXPECT_TRUE(ConfigReal[0] == NodeConfig{});
    EXPECT_TRUE(ConfigSetting[0] == NodeConfig{});
    EXPECT_EQ(McuIniPath, frmMain::ProgramFolder() + "/NX-4410_MCU.ini");
    EXPECT_EQ(MonitorTimerInterval, 100);
    EXPECT_EQ(RangeName[0], "+/- 15.0 mV");
    EXPECT_TRUE(dialogs.shown.empty());
    // No connection, no timers.
    EXPECT_EQ(w.WskTCP502.State(), rt::sckClosed);
    EXPECT_EQ(w.WskTCP10K.State(), rt::sckClosed);
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.Timer1.Running());
    EXPECT_EQ(w.Timer1.Interval(), 0);
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_FALSE(w.Timer2.Running());
    EXPECT_EQ(w.Timer2.Interval(), 500);
}

TEST_F(MainWindowTest, EmptySlotPageIsInFrontOfEveryPage) {
    frmMain& w = Open();
    for (ui::Frame* page : w.PageFrames()) {
        if (page == &w.fmeNoModule) continue;
        EXPECT_LT(w.fmeNoModule.ZPosition(), page->ZPosition());
        EXPECT_EQ(page->Left(), 6000);
        EXPECT_EQ(page->Top(), 120);
    }
    EXPECT_EQ(w.PageFrames().size(), 8u);
}

TEST_F(MainWindowTest, RackStartsEmptyWithNothingSelected) {
    frmMain& w = Open();
    for (int i = 0; i <= 1; ++i) EXPECT_FALSE(w.optMCU(i).Value());
    for (int i = 0; i <= 2; ++i) EXPECT_FALSE(w.optPower(i).Value());
    for (int s = 0; s <= 8; ++s) {
        EXPECT_FALSE(w.optSlot(s).Value());
        EXPECT_FALSE(w.optSlot(s).HasPicture());
    }
    for (int s = 0; s <= 7; ++s) EXPECT_EQ(w.lblIOMName(s).Caption(), "");
    EXPECT_FALSE(w.lbCurrentModule.Visible());
    EXPECT_EQ(w.fmeController.Caption(), "");
    EXPECT_FALSE(w.lblIOMName.Exists(8));
    EXPECT_FALSE(w.optMCU.Exists(2));
}

TEST_F(MainWindowTest, ConnectionBarAsDesigned) {
    frmMain& w = Open();
    EXPECT_EQ(w.TxtCtlIP.Text(), "192.168.1.16");
    EXPECT_EQ(w.lblCtlIP.Caption(), "IP");
    EXPECT_EQ(w.LblNetID.Caption(), "Modbus ID");
    EXPECT_EQ(w.TxtNetID.Text(), "1");
    EXPECT_EQ(w.CmdSetNetID.Caption(), "Set");
    EXPECT_FALSE(w.LblNetID.Visible());
    EXPECT_FALSE(w.TxtNetID.Visible());
    EXPECT_FALSE(w.CmdSetNetID.Visible());
    EXPECT_TRUE(w.TxtCtlIP.Visible());
    EXPECT_EQ(w.ComboNODE.ListCount(), 1);
    EXPECT_EQ(w.ComboNODE.ListIndex(), 0);
    EXPECT_EQ(w.SelectedNode(), 0);
}

TEST_F(MainWindowTest, TablesStartEmptyWithTheirColumns) {
    frmMain& w = Open();
    ASSERT_EQ(w.sstExport.Tabs(), 7);
    const char* tabs[] = {"DI Mapping", "DO Mapping", "AI Mapping", "AO Mapping",
                          "PI Mapping", "PO Mapping", "Summary"};
    for (int t = 0; t < 7; ++t) EXPECT_EQ(w.sstExport.TabCaption(t), tabs[t]);
    EXPECT_EQ(w.sstExport.Tab(), 0);
    EXPECT_EQ(w.lablvw(2).Caption(), "Analog Intput  (3xxxx)");
    EXPECT_EQ(w.lablvw(7).Caption(), "MCU Summary");
    for (ui::ListView* lv : {&w.lvwDIMapping, &w.lvwDOMapping, &w.lvwAIMapping, &w.lvwAOMapping,
                             &w.lvwPIMapping, &w.lvwPOMapping}) {
        ASSERT_EQ(lv->ColumnHeaderCount(), 6);
        EXPECT_EQ(lv->ColumnHeaderText(1), "Address");
        EXPECT_EQ(lv->ColumnHeaderText(5), "Value");
        EXPECT_EQ(lv->ColumnHeaderAlignment(5), ui::Align::Right);
        EXPECT_EQ(lv->ColumnHeaderText(6), "Comment");
        EXPECT_EQ(lv->ListItemCount(), 0);
    }
    ASSERT_EQ(w.lvwIOMSummary.ColumnHeaderCount(), 13);
    EXPECT_EQ(w.lvwIOMSummary.ColumnHeaderText(12), "Exceed highighlimit");
    ASSERT_EQ(w.lvwMCUSummary.ColumnHeaderCount(), 10);
    EXPECT_EQ(w.lvwMCUSummary.ColumnHeaderText(5), "AnotherMCU status");
    EXPECT_EQ(w.lvwIOMSummary.ListItemCount(), 0);
    EXPECT_EQ(w.lvwMCUSummary.ListItemCount(), 0);
    EXPECT_EQ(w.lvwEventLog.ColumnHeaderText(1), "Event Log");
    EXPECT_EQ(w.lvwEventLog.ListItemCount(), 0);
    EXPECT_FALSE(w.CmdSaveSummary.Visible());
    EXPECT_EQ(w.cmdEventLogSave.Caption(), "SaveLog");
    EXPECT_EQ(w.cmdEventLogClear.Caption(), "ClearLog");
    EXPECT_LT(w.fmeIOMMapping.ZPosition(), w.fmeEventLog.ZPosition());
    EXPECT_EQ(w.txtStatus.Text(), "");
}

TEST_F(MainWindowTest, WindowSnapsBackToItsContentSize) {
    frmMain& w = Open();
    w.show();
    const QSize designed = w.size();
    const int toolbar = w.Toolbar.widget()->sizeHint().height();
    EXPECT_EQ(designed.width(), ui::ToPixels(w.fmeQ300.Width() + 100));
    EXPECT_EQ(designed.height(), ui::ToPixels(w.fmeQ300.Height() + ui::ToTwips(toolbar) + 700));
    w.resize(320, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.size(), designed);
    w.showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.size(), designed);
}

TEST_F(MainWindowTest, WindowIsCentredWithTheSizeItKeeps) {
    frmMain& w = Open();
    w.show();
    QCoreApplication::processEvents();
    const QPoint screen = w.screen()->geometry().center();
    const QPoint window = w.frameGeometry().center();
    // Within the window frame the platform adds after the load.
    EXPECT_NEAR(window.x(), screen.x(), 3);
    EXPECT_NEAR(window.y(), screen.y(), 3);
}

// Each control of the connection bar shows its longest text in full and
// ends before the next control begins.
TEST_F(MainWindowTest, ConnectionBarTextsFitAndNothingOverlaps) {
    frmMain& w = Open();
    struct Place {
        ui::Control* control;
        const char* text;
        int margin;  // pixels besides the text: frame, padding, drop-down arrow
    };
    const Place bar[] = {{&w.lblCtlIP, "IP", 4},        {&w.TxtCtlIP, "255.255.255.255", 8},
                         {&w.lblNode, "Node", 4},       {&w.ComboNODE, "0", 24},
                         {&w.LblNetID, "Modbus ID", 4}, {&w.TxtNetID, "247", 8},
                         {&w.CmdSetNetID, "Set", 8},    {&w.fmeNoModule, "", 0}};
    for (size_t i = 0; i + 1 < std::size(bar); ++i) {
        const QWidget* c = bar[i].control->widget();
        const QWidget* next = bar[i + 1].control->widget();
        const int text = QFontMetrics(c->font()).horizontalAdvance(bar[i].text);
        EXPECT_LE(text + bar[i].margin, c->width()) << bar[i].text;
        EXPECT_LE(c->geometry().right(), next->x()) << bar[i].text;
    }
}

// ---- Menus and toolbar as designed ------------------------------------------------

struct MenuDesign {
    ui::MenuItem frmMain::*item;
    const char* caption;
    bool enabled;
    bool checked;
};

TEST_F(MainWindowTest, MenuItemsHaveTheirDesignCaptionsAndStates) {
    frmMain& w = Open();
    const MenuDesign design[] = {
        {&frmMain::mnuFile, "File", true, false},
        {&frmMain::mnuFileLoad, "Load setting", true, false},
        {&frmMain::mnuFileLoadFrom, "Load setting from ...", true, false},
        {&frmMain::mnuFileSave, "Save setting", true, false},
        {&frmMain::mnuFileSaveAs, "Save setting as ...", true, false},
        {&frmMain::mnuMCUFWUpgrade, "GW-7010 FW upgrade...", true, false},
        {&frmMain::mnuIOFWUpgrade, "I/O FW upgrade...", true, false},
        {&frmMain::mnuFileExit, "Exit", true, false},
        {&frmMain::mnuOnline, "Online", true, false},
        {&frmMain::mnuConnect, "Connect", true, false},
        {&frmMain::mnuDisconnect, "Disconnect", true, false},
        {&frmMain::mnuSetting, "Setting", true, false},
        {&frmMain::mnuMonitor, "Monitor", false, false},
        {&frmMain::mnuTimerEnable, "Enable", false, false},
        {&frmMain::mnuTimerInterval, "Time Interval", true, false},
        {&frmMain::mnuTread, "Tread", false, false},
        {&frmMain::mnuHart, "HART", false, false},
        {&frmMain::mnuMappingTable, "MappingTable", true, true},
        {&frmMain::mnuEventLog, "EventLog", true, false},
        {&frmMain::mnuAdvancedOptions, "Advanved Options...", false, false},
        {&frmMain::mnuHelp, "Help", true, false},
        {&frmMain::mnuHelpAbout, "About", true, false},
    };
    for (const auto& d : design) {
        const ui::MenuItem& item = w.*(d.item);
        EXPECT_EQ(item.Caption(), d.caption);
        EXPECT_EQ(item.Enabled(), d.enabled) << d.caption;
        EXPECT_EQ(item.Checked(), d.checked) << d.caption;
        EXPECT_EQ(item.action()->isChecked(), d.checked) << d.caption;
        EXPECT_TRUE(item.Visible()) << d.caption;
    }
    for (auto line : {&frmMain::mnuLine, &frmMain::mnuLine1, &frmMain::mnuLine2})
        EXPECT_TRUE((w.*line).action()->isSeparator());
    // The submenu items hang under "Monitor", the rest under their menus.
    EXPECT_EQ(w.mnuMonitor.action()->menu()->actions().at(0), w.mnuTimerEnable.action());
}

TEST_F(MainWindowTest, ToolbarButtonsByIndexAsDesigned) {
    frmMain& w = Open();
    struct Design {
        const char* key;
        Style style;
        bool enabled;
        int image;
    };
    const Design design[] = {
        {"Connect", Style::Default, true, 1}, {"Disconnect", Style::Default, false, 2},
        {"Upload", Style::Default, false, 3}, {"Download", Style::Default, false, 4},
        {"", Style::Separator, true, 0},      {"Monitor", Style::Dropdown, false, 9},
        {"", Style::Separator, true, 0},      {"Tread", Style::Default, false, 5},
        {"", Style::Separator, true, 0},      {"Load", Style::Dropdown, true, 6},
        {"", Style::Separator, true, 0},      {"Save", Style::Dropdown, true, 7},
        {"", Style::Separator, true, 0},      {"Exit", Style::Default, true, 8},
    };
    ASSERT_EQ(w.Toolbar.ButtonCount(), 14);
    for (int i = 1; i <= 14; ++i) {
        const Design& d = design[i - 1];
        ui::ToolbarButton& b = w.Toolbar.Buttons(i);
        EXPECT_EQ(b.Key(), d.key) << i;
        EXPECT_EQ(b.Caption(), d.key) << i;
        EXPECT_EQ(b.ButtonStyle(), d.style) << i;
        EXPECT_EQ(b.Enabled(), d.enabled) << i;
        EXPECT_EQ(b.Image(), d.image) << i;
    }
    EXPECT_EQ(w.Toolbar.Buttons(10).ToolTipText(), "Load configuration file (*.ini)");
    EXPECT_EQ(w.Toolbar.Buttons(12).ToolTipText(), "Save configuration file (*.ini)");
    EXPECT_EQ(w.Toolbar.Buttons(1).ToolTipText(), "");
    auto& monitor = w.Toolbar.Buttons(6);
    ASSERT_EQ(monitor.ButtonMenuCount(), 2);
    EXPECT_EQ(monitor.ButtonMenus(1).Text(), "Enable");
    EXPECT_EQ(monitor.ButtonMenus(1).Key(), "MonitorEnable");
    EXPECT_TRUE(monitor.ButtonMenus(1).Enabled());
    EXPECT_EQ(monitor.ButtonMenus(2).Key(), "MonitorTimeInterval");
    EXPECT_EQ(w.Toolbar.Buttons(10).ButtonMenus(2).Key(), "LoadFile");
    EXPECT_EQ(w.Toolbar.Buttons(12).ButtonMenus(1).Text(), "Default");
    EXPECT_EQ(w.Toolbar.Buttons(12).ButtonMenus(1).Key(), "SaveDefault");
    EXPECT_EQ(w.ImageListToolBar.Count(), 10);
}

// ---- Exit question ------------------------------------------------------------------

TEST_F(MainWindowTest, NoToTheExitQuestionKeepsEverythingFromEveryWayOut) {
    frmMain& w = Open();
    w.show();
    dialogs.AnswerMsgBox(rt::vbNo);
    dialogs.AnswerMsgBox(rt::vbNo);
    dialogs.AnswerMsgBox(rt::vbNo);
    EXPECT_FALSE(w.close());                   // close box
    w.mnuFileExit.PerformClick();              // File "Exit"
    w.Toolbar.Buttons("Exit").PerformClick();  // toolbar "Exit"
    ASSERT_EQ(dialogs.shown.size(), 3u);
    for (const auto& s : dialogs.shown) {
        EXPECT_EQ(s.prompt, "Exit Utility Tool?");
        EXPECT_EQ(s.title, "Message");
        EXPECT_EQ(s.style, rt::vbYesNo);  // no icon
    }
    EXPECT_TRUE(dialogs.unexpected.empty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(programEnds, 0);
    EXPECT_EQ(w.Caption(), kStartCaption);
    EXPECT_FALSE(ui::HourglassShown());
}

class LocalStation {
  public:
    LocalStation() { server.listen(QHostAddress(QHostAddress::LocalHost), 0); }
    void Attach(rt::WinsockControl& socket) {
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(server.serverPort());
        socket.Connect();
    }
    // The station-side ends of the accepted connections.
    std::vector<QTcpSocket*> Accepted() {
        while (server.hasPendingConnections()) accepted.push_back(server.nextPendingConnection());
        return accepted;
    }
    QTcpServer server;
    std::vector<QTcpSocket*> accepted;
};

TEST_F(MainWindowTest, NoToTheExitQuestionLeavesConnectionsOpen) {
    frmMain& w = Open();
    LocalStation station;
    ASSERT_TRUE(station.server.isListening());
    station.Attach(w.WskTCP502);
    station.Attach(w.WskTCP10K);
    ASSERT_TRUE(WaitFor(
        [&] {
            return w.WskTCP502.State() == rt::sckConnected &&
                   w.WskTCP10K.State() == rt::sckConnected;
        },
        5000));
    dialogs.AnswerMsgBox(rt::vbNo);
    EXPECT_FALSE(w.close());
    EXPECT_EQ(w.WskTCP502.State(), rt::sckConnected);
    EXPECT_EQ(w.WskTCP10K.State(), rt::sckConnected);
    EXPECT_EQ(programEnds, 0);
}

TEST_F(MainWindowTest, YesClosesBothConnectionsAndEndsTheProgram) {
    frmMain& w = Open();
    w.show();
    LocalStation station;
    station.Attach(w.WskTCP502);
    station.Attach(w.WskTCP10K);
    ASSERT_TRUE(WaitFor(
        [&] {
            return w.WskTCP502.State() == rt::sckConnected &&
                   w.WskTCP10K.State() == rt::sckConnected && station.Accepted().size() == 2;
        },
        5000));
    w.Timer2.SetEnabled(true);
    dialogs.AnswerMsgBox(rt::vbYes);
    EXPECT_TRUE(w.close());
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.WskTCP502.State(), rt::sckClosed);
    EXPECT_EQ(w.WskTCP10K.State(), rt::sckClosed);
    // The station sees both connections end.
    EXPECT_TRUE(WaitFor(
        [&] {
            for (QTcpSocket* s : station.accepted)
                if (s->state() == QAbstractSocket::ConnectedState) return false;
            return true;
        },
        5000));
    EXPECT_EQ(dialogs.shown.size(), 1u);  // nothing but the question
}

TEST_F(MainWindowTest, ToolbarExitYesEndsTheProgram) {
    frmMain& w = Open();
    w.show();
    dialogs.AnswerMsgBox(rt::vbYes);
    w.Toolbar.Buttons(14).PerformClick();
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(ui::HourglassShown());
}

// ---- Toolbar commands ------------------------------------------------------------------

TEST_F(MainWindowTest, LoadAndSaveButtonsAskFirstAndNoDoesNothing) {
    frmMain& w = Open();
    QTemporaryDir dir;
    McuIniPath = dir.filePath("NX-4410_MCU.ini").toStdString();
    dialogs.AnswerMsgBox(rt::vbNo);
    dialogs.AnswerMsgBox(rt::vbNo);
    w.Toolbar_ButtonClick(w.Toolbar.Buttons("Load"));
    w.Toolbar_ButtonClick(w.Toolbar.Buttons("Save"));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Would you want to load IOM parameters from file?");
    EXPECT_EQ(dialogs.shown[0].title, "Tool Operation");
    EXPECT_EQ(dialogs.shown[0].style, rt::vbYesNo);
    EXPECT_EQ(dialogs.shown[1].prompt, "Would you want to save IOM parameters into file?");
    EXPECT_EQ(w.txtStatus.Text(), "");
    EXPECT_EQ(w.Caption(), kStartCaption);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(McuIniPath)));
}

TEST_F(MainWindowTest, SaveYesWritesTheDefaultFileAndLoadYesReadsIt) {
    frmMain& w = Open();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    McuIniPath = dir.filePath("NX-4410_MCU.ini").toStdString();
    ConfigReal[0].Controller = "GW-7010";
    ConfigReal[0].McuVersion = 300;
    dialogs.AnswerMsgBox(rt::vbYes);
    w.Toolbar_ButtonClick(w.Toolbar.Buttons("Save"));
    EXPECT_EQ(w.txtStatus.Text(), "Save data into ini file.");
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(McuIniPath)));

    ResetConfigRecordsForStartup();
    dialogs.AnswerMsgBox(rt::vbYes);
    w.Toolbar_ButtonClick(w.Toolbar.Buttons("Load"));
    EXPECT_EQ(w.txtStatus.Text(), "Load data from ini file.");
    EXPECT_EQ(ConfigReal[0].Controller, "GW-7010");
    EXPECT_EQ(ConfigReal[0].McuVersion, 300);
    EXPECT_EQ(w.Caption(), kStartCaption + "(Offline Mode)");
    EXPECT_EQ(w.fmeController.Caption(), "GW-7010");
}

TEST_F(MainWindowTest, FailedSaveOrLoadFromTheToolbarLeavesItsFailureOnTheStatusLine) {
    frmMain& w = Open();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* key;
        std::string path;  // a folder that does not exist, a file that does not
        const char* failure;
    };
    const Case cases[] = {
        {"Save", dir.filePath("gone/NX-4410_MCU.ini").toStdString(), "Save file error: "},
        {"Load", dir.filePath("missing.ini").toStdString(), "Load file error: "}};
    for (const Case& c : cases) {
        McuIniPath = c.path;
        dialogs.shown.clear();
        dialogs.AnswerMsgBox(rt::vbYes);
        dialogs.AnswerMsgBox(rt::vbOK);
        w.Toolbar_ButtonClick(w.Toolbar.Buttons(c.key));
        ASSERT_EQ(dialogs.shown.size(), 2u) << c.key;
        EXPECT_EQ(dialogs.shown[1].prompt.rfind(c.failure, 0), 0u) << dialogs.shown[1].prompt;
        EXPECT_EQ(w.txtStatus.Text(), dialogs.shown[1].prompt);
    }
    EXPECT_EQ(w.Caption(), kStartCaption);
}

TEST_F(MainWindowTest, ButtonMenuDefaultLoadsWithoutAsking) {
    frmMain& w = Open();
    QTemporaryDir dir;
    McuIniPath = dir.filePath("NX-4410_MCU.ini").toStdString();
    {
        std::ofstream f(McuIniPath);
        f << "[Config0]\r\nController=GW-7010\r\n";
    }
    w.Toolbar.Buttons("Load").ButtonMenus(1).action()->trigger();
    for (const auto& s : dialogs.shown)
        EXPECT_NE(s.prompt, "Would you want to load IOM parameters from file?");
    EXPECT_EQ(ConfigReal[0].Controller, "GW-7010");
    EXPECT_EQ(w.txtStatus.Text(), "");  // no status line from the button menu
}

TEST_F(MainWindowTest, UploadStepsEnableMonitoringSelectTheFirstSlotAndGoOnline) {
    frmMain& w = Open();
    ConfigReal[0].SlotPresent[3] = kTrue;
    ConfigReal[0].Module[3] = "KB-560";
    ConfigReal[0].SlotPresent[5] = kTrue;
    int clicks3 = 0;
    w.optSlot(3).Click = [&] { ++clicks3; };
    w.optSlot(3).SetValue(true);  // already selected before the Upload
    clicks3 = 0;
    // No station: the Upload itself fails, the steps after it still run.
    dialogs.AnswerMsgBox(rt::vbOK);
    w.Toolbar_ButtonClick(w.Toolbar.Buttons(3));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Fail to connect to NX-4410");
    EXPECT_EQ(clicks3, 1);  // the page is shown again
    EXPECT_TRUE(w.optSlot(3).Value());
    EXPECT_FALSE(w.optSlot(5).Value());
    EXPECT_TRUE(w.Toolbar.Buttons(4).Enabled());
    EXPECT_TRUE(w.Toolbar.Buttons(6).Enabled());
    EXPECT_TRUE(w.Toolbar.Buttons(6).ButtonMenus(1).Enabled());
    EXPECT_TRUE(w.mnuTimerEnable.Enabled());
    EXPECT_FALSE(w.Toolbar.Buttons(2).Enabled());  // Connect's business
    EXPECT_EQ(w.Caption(), kStartCaption + "(Online Mode)");
    EXPECT_TRUE(w.Timer2.Enabled());
    EXPECT_TRUE(w.Timer2.Running());
    // The edited copy now holds what was read.
    EXPECT_EQ(ConfigSetting[0].Module[3], "KB-560");
    EXPECT_FALSE(ui::HourglassShown());
}

TEST_F(MainWindowTest, UploadWithoutModulesLeavesThePageAlone) {
    frmMain& w = Open();
    int clicks = 0;
    for (int s = 0; s <= 8; ++s) w.optSlot(s).Click = [&] { ++clicks; };
    dialogs.AnswerMsgBox(rt::vbOK);  // "Fail to connect to NX-4410"
    w.Toolbar_ButtonClick(w.Toolbar.Buttons("Upload"));
    EXPECT_EQ(clicks, 0);
    for (ui::Frame* page : w.PageFrames()) {
        if (page != &w.fmeNoModule) {
            EXPECT_LT(w.fmeNoModule.ZPosition(), page->ZPosition());
        }
    }
    EXPECT_EQ(w.Caption(), kStartCaption + "(Online Mode)");
}

// ---- Panels and tabs -------------------------------------------------------------------

TEST_F(MainWindowTest, MappingTableAndEventLogSwitchPanelsAsAPair) {
    frmMain& w = Open();
    w.mnuMappingTable.PerformClick();  // checked: switches to the log
    EXPECT_FALSE(w.mnuMappingTable.Checked());
    EXPECT_TRUE(w.mnuEventLog.Checked());
    EXPECT_LT(w.fmeEventLog.ZPosition(), w.fmeIOMMapping.ZPosition());
    w.mnuEventLog.PerformClick();  // checked: back to the tables
    EXPECT_TRUE(w.mnuMappingTable.Checked());
    EXPECT_FALSE(w.mnuEventLog.Checked());
    EXPECT_LT(w.fmeIOMMapping.ZPosition(), w.fmeEventLog.ZPosition());
    w.mnuEventLog.PerformClick();
    w.mnuMappingTable.PerformClick();  // not checked: tables again
    EXPECT_TRUE(w.mnuMappingTable.Checked());
    EXPECT_FALSE(w.mnuEventLog.Checked());
    EXPECT_LT(w.fmeIOMMapping.ZPosition(), w.fmeEventLog.ZPosition());
}

// Of the pages and of the two panels stacked on one spot only the front one
// is shown, so that a new row in the log behind the tables paints nothing.
TEST_F(MainWindowTest, OnlyTheFrontPageAndPanelAreShown) {
    frmMain& w = Open();
    for (ui::Frame* page : w.PageFrames())
        EXPECT_EQ(page->widget()->isHidden(), page != &w.fmeNoModule);
    for (bool log : {false, true, false}) {
        if (log != w.mnuEventLog.Checked()) w.mnuEventLog.PerformClick();
        EXPECT_EQ(w.fmeEventLog.widget()->isHidden(), !log);
        EXPECT_EQ(w.fmeIOMMapping.widget()->isHidden(), log);
    }
}

TEST_F(MainWindowTest, OnlyTheSummaryTabShowsItsSaveButton) {
    frmMain& w = Open();
    w.sstExport.SetTab(6);
    EXPECT_TRUE(w.CmdSaveSummary.Visible());
    w.sstExport.SetTab(2);
    EXPECT_FALSE(w.CmdSaveSummary.Visible());
}

// ---- Firmware programs --------------------------------------------------------------------

TEST_F(MainWindowTest, AMissingFirmwareProgramIsReportedAndTheWindowStays) {
    frmMain& w = Open();
    const std::string path = frmMain::ProgramFolder() + "/modflash";
    // (The test folder may hold a folder of that name, which is no program.)
    ASSERT_FALSE(QFileInfo(QString::fromStdString(path)).isFile());
    dialogs.AnswerMsgBox(rt::vbOK);
    w.mnuIOFWUpgrade.PerformClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    // The message names the path and why it did not start.
    const std::string reason = QFileInfo::exists(QString::fromStdString(path))
                                   ? "the file is not an executable program"
                                   : "the file does not exist";
    EXPECT_EQ(dialogs.shown[0].prompt, "Cannot start " + path + ": " + reason);
    EXPECT_EQ(dialogs.shown[0].style, rt::vbCritical);
    EXPECT_EQ(programEnds, 0);
}

TEST_F(MainWindowTest, FirmwareProgramStartsFromTheProgramFolderWithoutArguments) {
    frmMain& w = Open();
    QTemporaryDir dir;
    const QString marker = dir.filePath("started");
    const QString program = QString::fromStdString(frmMain::ProgramFolder() + "/gwflash");
    if (QFileInfo::exists(program))
        GTEST_SKIP() << "the test folder holds " << program.toStdString();
    {
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\necho \"$#\" > '" + marker + "'\n").toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    w.mnuMCUFWUpgrade.PerformClick();
    const bool started = WaitFor([&] { return QFileInfo(marker).size() > 0; }, 5000);
    QFile::remove(program);
    EXPECT_TRUE(started);
    QFile m(marker);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    EXPECT_EQ(m.readAll().trimmed(), "0");  // no arguments
    EXPECT_TRUE(dialogs.shown.empty());
}

// ---- What the file commands drive ----------------------------------------------------------

TEST_F(MainWindowTest, HostStepsReachTheirControls) {
    frmMain& w = Open();
    w.SetModeCaption("(Offline Mode)");
    EXPECT_EQ(w.Caption(), kStartCaption + "(Offline Mode)");
    w.SetControllerCaption("GW-7010");
    EXPECT_EQ(w.fmeController.Caption(), "GW-7010");
    w.optSlot(2).SetPicture(QPixmap(4, 4));
    w.optSlot(2).SetToolTipText("KB-560");
    w.ClearSlotButton(2);
    EXPECT_FALSE(w.optSlot(2).HasPicture());
    EXPECT_EQ(w.optSlot(2).ToolTipText(), "");
    w.fmeCAOConf.SetVisible(false);
    w.ShowAnalogOutputFrame();
    EXPECT_TRUE(w.fmeCAOConf.Visible());
    EXPECT_EQ(w.frmCAOConf_Value.ZPosition(), 0);
    EXPECT_THROW(w.ClearSlotButton(9), rt::RuntimeError);
}

TEST_F(MainWindowTest, StatusReportWritesTheLineAndTheLog) {
    frmMain& w = Open();
    w.ReportStatus("Upload Module ID OK!");
    w.ReportStatus("Upload Version Error!!!");
    EXPECT_EQ(w.txtStatus.Text(), "Upload Version Error!!!");
    ASSERT_EQ(w.lvwEventLog.ListItemCount(), 2);
    EXPECT_EQ(w.lvwEventLog.ListItems(1).Text(), "Upload Module ID OK!");
}

// ---- Pictures shipped beside the program ---------------------------------------------------

TEST(Assets, RackAndToolbarPicturesAreReadable) {
    const QDir assets(NX_ASSETS_DIR);
    for (const char* name : {"Module_Front.gif", "Module_MCU.gif", "Module_PWM.gif"}) {
        const QPixmap p(assets.filePath(name));
        EXPECT_FALSE(p.isNull()) << name;
        // Tall and narrow like a module front, and no larger than its button.
        EXPECT_LE(p.width(), ui::ToPixels(420)) << name;
        EXPECT_LE(p.height(), ui::ToPixels(2700)) << name;
        EXPECT_GT(p.height(), p.width() * 3) << name;
    }
    const QStringList icons = assets.entryList({"Toolbar_*.png"});
    EXPECT_EQ(icons.size(), 10);
    for (const QString& name : icons) EXPECT_FALSE(QPixmap(assets.filePath(name)).isNull());
}

}  // namespace

// The main window online with the stand-in's station (every mapping tab and
// the event log), the advanced options and the About window show their
// texts whole.
namespace {

class CaptionsTest : public testsupport::OnlineWindowTest {
  protected:
    void Expect(const QWidget* w, const std::string& shown) {
        for (const auto& f : testsupport::CaptionsThatDoNotFit(w))
            ADD_FAILURE() << shown << ": " << f;
    }
};

TEST_F(CaptionsTest, EveryWindowShowsItsTextsWhole) {
    Start();
    window->show();
    Expect(window.get(), "at start");
    ASSERT_TRUE(ConnectAndUpload());
    for (int tab = 0; tab < window->sstExport.Tabs(); ++tab) {
        window->sstExport.SetTab(tab);
        Expect(window.get(), "tab " + window->sstExport.TabCaption(tab));
    }
    window->mnuEventLog.PerformClick();
    Expect(window.get(), "event log");
    frmAdvancedOptions& advanced = OpenAdvancedOptions();
    advanced.show();
    Expect(&advanced, "advanced options");
    frmAbout about;
    about.show();
    Expect(&about, "about");
}

}  // namespace
