// The main window's menus and toolbar as designed, and the commands they run.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QToolBar>

#include "config/ConfigDefaults.h"
#include "config/ConfigFile.h"
#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "mainwindow/WindowLog.h"
#include "mainwindow/frmAbout.h"
#include "mainwindow/frmAdvancedOptions.h"
#include "mainwindow/frmMain.h"
#include "platform/diag.h"
#include "platform/dialogs.h"
#include "platform/ticks.h"

namespace {

// Pictures of the toolbar's image list, in index order from 1.
const char* const kToolbarImages[] = {"Toolbar_Connect.png",    "Toolbar_Disconnect.png",
                                      "Toolbar_Upload.png",     "Toolbar_Download.png",
                                      "Toolbar_Tread.png",      "Toolbar_Load.png",
                                      "Toolbar_Save.png",       "Toolbar_Exit.png",
                                      "Toolbar_MonitorOff.png", "Toolbar_MonitorOn.png"};

}  // namespace

// ---- Menus -------------------------------------------------------------------

void frmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto item = [](ui::MenuItem& m, QMenu* menu, const char* caption) {
        m.Create(menu->addAction(caption));
    };
    auto line = [](ui::MenuItem& m, QMenu* menu) { m.Create(menu->addSeparator()); };

    QMenu* file = bar->addMenu("File");
    mnuFile.Create(file->menuAction());
    item(mnuFileLoad, file, "Load setting");
    item(mnuFileLoadFrom, file, "Load setting from ...");
    item(mnuFileSave, file, "Save setting");
    item(mnuFileSaveAs, file, "Save setting as ...");
    line(mnuLine, file);
    item(mnuMCUFWUpgrade, file, "GW-7010 FW upgrade...");
    item(mnuIOFWUpgrade, file, "I/O FW upgrade...");
    item(mnuFileExit, file, "Exit");

    QMenu* online = bar->addMenu("Online");
    mnuOnline.Create(online->menuAction());
    item(mnuConnect, online, "Connect");
    item(mnuDisconnect, online, "Disconnect");

    QMenu* setting = bar->addMenu("Setting");
    mnuSetting.Create(setting->menuAction());
    QMenu* monitor = setting->addMenu("Monitor");
    mnuMonitor.Create(monitor->menuAction());
    item(mnuTimerEnable, monitor, "Enable");
    item(mnuTimerInterval, monitor, "Time Interval");
    item(mnuTread, setting, "Tread");
    item(mnuHart, setting, "HART");
    line(mnuLine1, setting);
    item(mnuMappingTable, setting, "MappingTable");
    item(mnuEventLog, setting, "EventLog");
    line(mnuLine2, setting);
    item(mnuAdvancedOptions, setting, "Advanved Options...");

    QMenu* help = bar->addMenu("Help");
    mnuHelp.Create(help->menuAction());
    item(mnuHelpAbout, help, "About");

    // Design states: the monitor, trend, HART and advanced-options items
    // wait for a connection; the panel pair starts on the mapping tables.
    mnuMonitor.SetEnabled(false);
    mnuTimerEnable.SetEnabled(false);
    mnuTread.SetEnabled(false);
    mnuHart.SetEnabled(false);
    mnuAdvancedOptions.SetEnabled(false);
    mnuMappingTable.SetChecked(true);
    mnuEventLog.SetChecked(false);

    mnuFileLoad.Click = [] { mnuFileLoad_Click(); };
    mnuFileLoadFrom.Click = [] { mnuFileLoadFrom_Click(); };
    mnuFileSave.Click = [] { mnuFileSave_Click(); };
    mnuFileSaveAs.Click = [] { mnuFileSaveAs_Click(); };
    mnuMCUFWUpgrade.Click = [this] { mnuMCUFWUpgrade_Click(); };
    mnuIOFWUpgrade.Click = [this] { mnuIOFWUpgrade_Click(); };
    mnuFileExit.Click = [this] { mnuFileExit_Click(); };
    mnuConnect.Click = [this] { mnuConnect_Click(); };
    mnuDisconnect.Click = [this] { mnuDisconnect_Click(); };
    mnuTimerEnable.Click = [this] { mnuTimerEnable_Click(); };
    mnuTimerInterval.Click = [this] { mnuTimerInterval_Click(); };
    mnuTread.Click = [this] { mnuTread_Click(); };
    mnuHart.Click = [this] { mnuHart_Click(); };
    mnuMappingTable.Click = [this] { mnuMappingTable_Click(); };
    mnuEventLog.Click = [this] { mnuEventLog_Click(); };
    mnuAdvancedOptions.Click = [this] { mnuAdvancedOptions_Click(); };
    mnuHelpAbout.Click = [this] { mnuHelpAbout_Click(); };
}

// ---- Toolbar -------------------------------------------------------------------

void frmMain::BuildToolbar() {
    const std::string folder = ProgramFolder();
    for (const char* file : kToolbarImages) ImageListToolBar.AddFile(folder + "/" + file);

    QToolBar* bar = addToolBar("Toolbar");
    bar->setObjectName("Toolbar");
    Toolbar.Create(bar, &ImageListToolBar);
    using Style = ui::ToolbarButton::Style;
    Toolbar.AddButton("Connect", Style::Default, 1);
    Toolbar.AddButton("Disconnect", Style::Default, 2);
    Toolbar.AddButton("Upload", Style::Default, 3);
    Toolbar.AddButton("Download", Style::Default, 4);
    Toolbar.AddSeparator();
    ui::ToolbarButton& monitor = Toolbar.AddButton("Monitor", Style::Dropdown, 9);
    Toolbar.AddButtonMenu(monitor, "Enable", "MonitorEnable");
    Toolbar.AddButtonMenu(monitor, "Time Interval", "MonitorTimeInterval");
    Toolbar.AddSeparator();
    Toolbar.AddButton("Tread", Style::Default, 5);
    Toolbar.AddSeparator();
    ui::ToolbarButton& load = Toolbar.AddButton("Load", Style::Dropdown, 6);
    load.SetToolTipText("Load configuration file (*.ini)");
    Toolbar.AddButtonMenu(load, "Default", "LoadDefault");
    Toolbar.AddButtonMenu(load, "File", "LoadFile");
    Toolbar.AddSeparator();
    ui::ToolbarButton& save = Toolbar.AddButton("Save", Style::Dropdown, 7);
    save.SetToolTipText("Save configuration file (*.ini)");
    Toolbar.AddButtonMenu(save, "Default", "SaveDefault");
    Toolbar.AddButtonMenu(save, "File", "SaveFile");
    Toolbar.AddSeparator();
    Toolbar.AddButton("Exit", Style::Default, 8);

    // The offline state: only Connect, Load, Save and Exit can be used.
    for (const char* key : {"Disconnect", "Upload", "Download", "Monitor", "Tread"})
        Toolbar.Buttons(key).SetEnabled(false);

    Toolbar.ButtonClick = [this](ui::ToolbarButton& b) { Toolbar_ButtonClick(b); };
    Toolbar.ButtonMenuClick = [this](ui::ButtonMenu& m) { Toolbar_ButtonMenuClick(m); };
}

void frmMain::Toolbar_ButtonClick(ui::ToolbarButton& button) {
    const std::string key = button.Key();
    // An Upload or Download clicked while one of them runs (the click is
    // handled inside its waits) is refused by the link. Its follow-up must
    // not run either: it would redraw the window and overwrite the edited
    // copy in the middle of the running transfer.
    if ((key == "Upload" || key == "Download") && nxlink::TransferInProgress()) return;
    ui::SetHourglass(true);
    rt::IgnoringErrors(lcWindow(), [&] {
        if (key == "Connect") {
            mnuConnect_Click();
        } else if (key == "Disconnect") {
            mnuDisconnect_Click();
        } else if (key == "Upload") {
            ToolbarUpload();
        } else if (key == "Download") {
            rt::IgnoringErrors(lcWindow(), [&] { DownloadConfiguration(0); });
            rt::IgnoringErrors(lcWindow(), [&] { FillMappingAndSummaryLists(0); });
        } else if (key == "Monitor") {
            mnuTimerEnable_Click();
        } else if (key == "Tread") {
            mnuTread_Click();
        } else if (key == "Load") {
            if (rt::MsgBox("Would you want to load IOM parameters from file?", rt::vbYesNo,
                           "Tool Operation") == rt::vbYes) {
                // A failed load keeps its failure on the status line.
                std::string failure;
                rt::IgnoringErrors(lcWindow(), [&] { failure = mnuFileLoad_Click(); });
                txtStatus.SetText(failure.empty() ? "Load data from ini file." : failure);
            }
        } else if (key == "Save") {
            if (rt::MsgBox("Would you want to save IOM parameters into file?", rt::vbYesNo,
                           "Tool Operation") == rt::vbYes) {
                std::string failure;
                rt::IgnoringErrors(lcWindow(), [&] { failure = mnuFileSave_Click(); });
                txtStatus.SetText(failure.empty() ? "Save data into ini file." : failure);
            }
        } else if (key == "Exit") {
            close();
        }
    });
    ui::SetHourglass(false);
}

void frmMain::ToolbarUpload() {
    rt::IgnoringErrors(lcWindow(), [&] { UploadConfiguration(0); });
    rt::IgnoringErrors(lcWindow(), [&] { ShowRackPictures(0); });
    rt::IgnoringErrors(lcWindow(), [&] { FillMappingAndSummaryLists(0); });
    rt::IgnoringErrors(lcWindow(), [&] { SetConfig_RealToSetting(0); });
    Toolbar.Buttons(4).SetEnabled(true);
    Toolbar.Buttons(6).SetEnabled(true);
    Toolbar.Buttons(6).ButtonMenus(1).SetEnabled(true);
    mnuTimerEnable.SetEnabled(true);
    rt::IgnoringErrors(lcWindow(), [&] {
        for (int16_t s = 0; s <= 7; ++s) {
            if (ConfigReal[0].SlotPresent[s] == kTrue) {
                ReselectSlot(s);
                break;
            }
        }
    });
    for (int16_t i = 0; i <= 7; ++i)
        rt::IgnoringErrors(lcWindow(), [&] { SetModuleKindLabel(i, ConfigReal[0].Module[i]); });
    SetCaption(StartCaption() + "(Online Mode)");
    Timer2.SetEnabled(true);
}

void frmMain::Toolbar_ButtonMenuClick(ui::ButtonMenu& menu) {
    const std::string key = menu.Key();
    rt::IgnoringErrors(lcWindow(), [&] {
        if (key == "LoadDefault")
            mnuFileLoad_Click();
        else if (key == "LoadFile")
            mnuFileLoadFrom_Click();
        else if (key == "SaveDefault")
            mnuFileSave_Click();
        else if (key == "SaveFile")
            mnuFileSaveAs_Click();
        else if (key == "MonitorEnable")
            mnuTimerEnable_Click();
        else if (key == "MonitorTimeInterval")
            mnuTimerInterval_Click();
    });
}

void frmMain::ReselectSlot(int16_t slot) {
    optSlot(slot).SetValue(false);
    rt::Sleep(1);
    optSlot(slot).SetValue(true);
}

// ---- Menu commands ---------------------------------------------------------------

void frmMain::mnuFileExit_Click() { close(); }

void frmMain::mnuHelpAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void frmMain::mnuMappingTable_Click() {
    if (mnuMappingTable.Checked()) {
        mnuMappingTable.SetChecked(false);
        mnuEventLog.SetChecked(true);
        fmeEventLog.ZOrder(0);
    } else {
        mnuMappingTable.SetChecked(true);
        mnuEventLog.SetChecked(false);
        fmeIOMMapping.ZOrder(0);
    }
}

void frmMain::mnuEventLog_Click() {
    if (mnuEventLog.Checked()) {
        mnuEventLog.SetChecked(false);
        mnuMappingTable.SetChecked(true);
        fmeIOMMapping.ZOrder(0);
    } else {
        mnuEventLog.SetChecked(true);
        mnuMappingTable.SetChecked(false);
        fmeEventLog.ZOrder(0);
    }
}

void frmMain::sstExport_Click(int /*previousTab*/) {
    CmdSaveSummary.SetVisible(sstExport.Tab() == 6);
}

void frmMain::mnuIOFWUpgrade_Click() { StartFirmwareProgram("modflash"); }
void frmMain::mnuMCUFWUpgrade_Click() { StartFirmwareProgram("gwflash"); }

// Starts a firmware program from the program folder, without arguments and
// without waiting for it. A program that is missing or does not start is
// reported; NX-4410 goes on.
void frmMain::StartFirmwareProgram(const std::string& fileName) {
    const std::string folder = ProgramFolder();
    const std::string path = folder + "/" + fileName;
    const QFileInfo info(ui::Q(path));
    std::string reason;
    if (!info.exists()) {
        reason = "the file does not exist";
    } else if (!info.isFile() || !info.isExecutable()) {
        reason = "the file is not an executable program";
    } else {
        QProcess process;
        process.setProgram(ui::Q(path));
        process.setWorkingDirectory(ui::Q(folder));
        if (!process.startDetached()) reason = ui::S(process.errorString());
    }
    if (!reason.empty())
        rt::MsgBox("Cannot start " + path + ": " + reason, rt::vbCritical, "Error");
}

// ---- What the configuration-file commands drive ------------------------------------

int16_t frmMain::SelectedNode() { return rt::CInt(rt::Val(ComboNODE.Text())); }
void frmMain::SelectFirstNode() { ComboNODE.SetListIndex(0); }

void frmMain::ShowAnalogOutputFrame() {
    fmeCAOConf.SetVisible(true);
    frmCAOConf_Value.ZOrder(0);
}

void frmMain::SetControllerCaption(const std::string& caption) {
    fmeController.SetCaption(caption);
}

void frmMain::ClearSlotButton(int16_t slot) { ShowRackButton(optSlot(slot), "", ""); }

void frmMain::SelectSlot(int16_t slot) { ReselectSlot(slot); }
void frmMain::SetModeCaption(const std::string& mode) { SetCaption(StartCaption() + mode); }

// ---- Joined by later work ------------------------------------------------------------
// ---- Windows of the Setting menu -----------------------------------------------------

// The HART console: modeless, one at a time.
void frmMain::mnuHart_Click() {
    if (!hart_) hart_ = new frmHart(this);
    hart_->show();
    hart_->raise();
    hart_->activateWindow();
}

// Modeless and single-instance: a window that is open is brought back and
// reads nothing; a new one reads the station before it appears.
void frmMain::mnuAdvancedOptions_Click() {
    if (!advancedOptions_) {
        // Remembered before its read waits, so that a click meanwhile finds
        // this window and builds no second one.
        advancedOptions_ = new frmAdvancedOptions(this);
        advancedOptions_->Form_Load();
        if (!advancedOptions_) return;  // closed while it read
    } else if (!advancedOptions_->isVisible()) {
        return;  // still reading: it appears when its read is done
    }
    advancedOptions_->show();
    advancedOptions_->raise();
    advancedOptions_->activateWindow();
}
