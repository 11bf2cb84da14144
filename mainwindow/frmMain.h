// The main window of NX-4410: the start-up window and the only one that
// lives for the whole run. It holds the connection bar, the rack picture,
// the module pages, the mapping and summary tables, the event log, the
// status line, the two timers, the menus and the toolbar. Other windows
// reach it through its single instance (frmMain::Instance()).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "config/FileCommandsHost.h"
#include "hart/frmHart.h"
#include "link/LinkWindow.h"
#include "mainwindow/frmAdvancedOptions.h"
#include "pages/AnalogInPage.h"
#include "pages/AnalogOutPage.h"
#include "pages/ControllerPage.h"
#include "pages/DigitalOutPage.h"
#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "pages/PulseInPage.h"
#include "pages/PulseOutPage.h"
#include "pages/SensorInPage.h"
#include "platform/WinsockControl.h"
#include "platform/ui/controls.h"
#include "platform/ui/listview.h"
#include "platform/ui/toolbar.h"
#include "scope/ScopeHost.h"
#include "scope/frmScope.h"

class QCloseEvent;

// Milliseconds per monitor tick; the load sets 100.
extern int16_t MonitorTimerInterval;

class frmMain : public QMainWindow,
                public FileCommandsHost,
                public nxlink::LinkWindow,
                public pages::PageHost,
                public scope::ScopeHost {
  public:
    // Builds the window in its design state and runs Form_Load, as the
    // window system does when it creates the start-up window.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The single instance, or nullptr while none exists.
    static frmMain* Instance();
    // The folder of the running program (pictures, default INI file and
    // the firmware programs lie there).
    static std::string ProgramFolder();
    // " NX-4410 Utility  ver <major>.<minor>.<revision> ".
    static std::string StartCaption();

    // ---- Life cycle ------------------------------------------------------
    void Form_Load();
    void Form_Resize();
    // Asks "Exit Utility Tool?"; No sets cancel to 1, Yes closes both
    // sockets and ends the program.
    void Form_Unload(int16_t& cancel);
    // What ending the program does (the program quits its event loop);
    // tests put a recorder in its place.
    void SetEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }
    std::string Caption() const;
    void SetCaption(const std::string& caption);

    // A status report: txtStatus gets the text, lvwEventLog a row with it.
    void ReportStatus(const std::string& text) override;
    // ---- PageHost: what the module pages use of the window ------------------
    std::string SlotModel(int slot) override;

    // The folder the rack pictures are read from: the program folder
    // unless a test points it elsewhere.
    void SetPictureFolder(const std::string& folder) { pictureFolder_ = folder; }

    // ---- Menu and toolbar commands ---------------------------------------
    void Toolbar_ButtonClick(ui::ToolbarButton& button);
    void Toolbar_ButtonMenuClick(ui::ButtonMenu& menu);
    void mnuFileExit_Click();
    void mnuHelpAbout_Click();
    void mnuMappingTable_Click();
    void mnuEventLog_Click();
    void mnuIOFWUpgrade_Click();
    void mnuMCUFWUpgrade_Click();
    void sstExport_Click(int previousTab);
    // Clears a slot button, pauses 1 ms and selects it again, so that its
    // click runs even when it was selected already.
    void ReselectSlot(int16_t slot);

    // ---- The controller link: connection, transfers, watchdog, Net ID ------
    void mnuConnect_Click();
    void mnuDisconnect_Click();
    void UploadConfiguration(int16_t node);
    void DownloadConfiguration(int16_t node);
    void Timer2_Timer();
    void CmdSetNetID_Click();

    // ---- Rack picture and slot choice ----------------------------------------
    void optSlot_Click(int index);
    void optPower_Click(int index);
    void optMCU_Click(int index);
    // The kind letters of a model, stacked one per line, into `label`.
    static void SetModuleKindLabel(const std::string& model, ui::Label& label);

    // ---- Output writes and commands from the tables ---------------------------
    void lvwAOMapping_DblClick();
    void lvwDOMapping_DblClick();
    void lvwPIMapping_DblClick();
    void lvwPOMapping_DblClick();
    void lvwIOMSummary_DblClick();

    // ---- Monitor -------------------------------------------------------------
    // One poll step per tick of Timer1: a request for the step's image or
    // status block, and the refresh of the step's table from what the
    // replies left in the live values and in ConfigReal.
    void Timer1_Timer();
    // Switches monitoring on (only while WskTCP502 is connected) or off.
    void mnuTimerEnable_Click();
    // Asks for the tick interval in ms (500 to 32767) and starts monitoring.
    void mnuTimerInterval_Click();
    // The step of the next tick, 0 to 7.
    int16_t PollStep = 0;

    // ---- Trend window ----------------------------------------------------------
    // Shows the trend window, modeless, loading it on first use.
    void mnuTread_Click();
    // The trend window, loaded (not shown) when it is not loaded yet.
    scope::frmScope& ScopeWindow();
    // The loaded trend window, or nullptr.
    scope::frmScope* LoadedScope() const { return scope_.get(); }
    ui::ListView& MappingList(int kind) override;
    bool MonitorChecked() override;
    void SwitchMonitorOn() override;
    void SetMonitorTimerInterval(int ms) override;

    // ---- Event log and summary files (EventLogFiles.cpp), and the windows
    // the Setting menu opens ------------------------------------------------------
    void mnuHart_Click();
    void mnuAdvancedOptions_Click();
    void cmdEventLogSave_Click();
    void cmdEventLogClear_Click();
    void CmdSaveSummary_Click();
    // The open advanced-options window, or nullptr.
    frmAdvancedOptions* AdvancedOptionsWindow() const { return advancedOptions_; }
    // The open HART console, or nullptr.
    frmHart* HartWindow() const { return hart_; }

    // ---- LinkWindow: what the controller link drives --------------------------
    void SetStatusText(const std::string& text) override;
    void ClearEventLog() override;
    void ShowConnectedState() override;
    void ShowDisconnectedState() override;
    void SetConnectEnabled(bool enabled) override;
    std::string TxtCtlIPText() override;
    std::string TxtNetIDText() override;
    void SetTxtNetIDText(const std::string& text) override;
    bool Timer1Enabled() override;
    void SetTimer1Enabled(bool enabled) override;
    bool Timer2Enabled() override;
    void SetTimer2Enabled(bool enabled) override;
    bool TimerEnableChecked() override;
    void ClearRackPicture() override;
    void SetOptPower0Selected(bool selected) override;
    void RestoreStartupCaption() override;
    void UnloadScope() override;

    // ---- FileCommandsHost: what the configuration-file commands drive -----
    int16_t SelectedNode() override;
    void SelectFirstNode() override;
    void ShowAnalogOutputFrame() override;
    void SetControllerCaption(const std::string& caption) override;
    void ClearSlotButton(int16_t slot) override;
    // Empties and refills the six mapping tables and the two summaries from
    // ConfigReal, and empties the live-value arrays.
    void FillMappingAndSummaryLists(int16_t node) override;
    void ShowRackPictures(int16_t node) override;
    void SelectSlot(int16_t slot) override;
    void SetModuleKindLabel(int16_t slot, const std::string& model) override;
    void SetModeCaption(const std::string& mode) override;

    // ---- Menus -------------------------------------------------------------
    ui::MenuItem mnuFile, mnuFileLoad, mnuFileLoadFrom, mnuFileSave, mnuFileSaveAs, mnuLine,
        mnuMCUFWUpgrade, mnuIOFWUpgrade, mnuFileExit;
    ui::MenuItem mnuOnline, mnuConnect, mnuDisconnect;
    ui::MenuItem mnuSetting, mnuMonitor, mnuTimerEnable, mnuTimerInterval, mnuTread, mnuHart,
        mnuLine1, mnuMappingTable, mnuEventLog, mnuLine2, mnuAdvancedOptions;
    ui::MenuItem mnuHelp, mnuHelpAbout;

    // ---- Toolbar -------------------------------------------------------------
    ui::ImageList ImageListToolBar;
    ui::Toolbar Toolbar;

    // ---- Connection bar ------------------------------------------------------
    ui::Label lblCtlIP;
    ui::TextBox TxtCtlIP;
    ui::Label lblNode;
    ui::ComboBox ComboNODE;
    ui::Label LblNetID;
    ui::TextBox TxtNetID;
    ui::CommandButton CmdSetNetID;

    // ---- Rack picture --------------------------------------------------------
    ui::Frame fmeQ300;
    ui::Frame fmeController;
    ui::Frame fmeController_Q300;
    ui::OptionGroup rackButtons;
    ui::ControlArray<ui::OptionButton> optMCU;    // 0 to 1
    ui::ControlArray<ui::OptionButton> optPower;  // 0 to 2
    ui::ControlArray<ui::OptionButton> optSlot;   // 0 to 8
    ui::ControlArray<ui::Label> lblIOMName;       // 0 to 7
    ui::Label lbCurrentModule;

    // ---- Module pages, stacked on one spot -----------------------------------
    ui::Frame fmeQ410, fmeCAIConf, fmeCAISConf, fmeCAOConf, frmCAOConf_Value, fmeDigitalOut,
        fmePIIOMConf, fmePOIOMConf, fmeIOMPoolConf, fmeNoModule;
    pages::DigitalOutPage doPage{*this};
    pages::ControllerPage controllerPage{*this};
    pages::AnalogInPage aiPage{*this};
    pages::SensorInPage sensorPage{*this};
    pages::PulseInPage piPage{*this};
    pages::PulseOutPage poPage{*this};
    pages::AnalogOutPage aoPage{*this};
    // The frame of a page kind, and the built page that fills it (nullptr
    // while a kind has only its frame).
    ui::Frame& PageFrame(pages::PageKind kind);
    // The page of a kind, its controls built on the first call.
    pages::ModulePage* ModulePageOf(pages::PageKind kind);
    // The controller page, its controls built on the first call.
    pages::ControllerPage& Controller();

    // ---- Mapping tables, summaries and event log ------------------------------
    ui::Frame fmeIOMMapping;
    ui::TabStrip sstExport;
    ui::ControlArray<ui::Label> lablvw;  // 0 to 7
    ui::ListView lvwDIMapping, lvwDOMapping, lvwAIMapping, lvwAOMapping, lvwPIMapping, lvwPOMapping,
        lvwIOMSummary, lvwMCUSummary;
    ui::CommandButton CmdSaveSummary;
    ui::Frame fmeEventLog;
    ui::ListView lvwEventLog;
    ui::CommandButton cmdEventLogSave, cmdEventLogClear;

    ui::TextBox txtStatus;
    ui::Timer Timer1;  // monitor
    ui::Timer Timer2;  // connection watchdog

    // The station connections: Modbus TCP and the text command channel,
    // the program-wide pair that the controller link owns.
    rt::WinsockControl& WskTCP502;
    rt::WinsockControl& WskTCP10K;

    // The page frames in their stacking order of the load and resize.
    std::vector<ui::Frame*> PageFrames();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolbar();
    void BuildConnectionBar(QWidget* parent);
    void BuildRack(QWidget* parent);
    void UseRackLook();
    void BuildPages(QWidget* parent);
    // Runs `create` (which builds controls inside `frame`) the first time,
    // as `built` records.
    static void BuildOnce(ui::Frame& frame, bool& built, const std::function<void()>& create);
    std::array<bool, pages::kPageKinds> pagesBuilt_{};  // by PageKind
    bool controllerPageBuilt_ = false;
    void BuildTables(QWidget* parent);
    void WireControls();
    void ToolbarUpload();
    // Gives the window the size of its content (the outer frame, toolbar
    // and menu bar).
    void FitToContent();
    void EndProgram();
    void StartFirmwareProgram(const std::string& fileName);
    // The connected (true) or disconnected enabled and visible states.
    void SetConnectedControls(bool connected);
    // Picture and tool-tip of a rack button: the picture file and the name
    // when the name is not empty, neither otherwise.
    void ShowRackButton(ui::OptionButton& button, const std::string& pictureFile,
                        const std::string& name);
    // Shows lbCurrentModule with `caption`, `offset` twips left of `button`.
    void ShowCurrentModule(const ui::OptionButton& button, const std::string& caption, int offset);

    // Monitor: the request and the refresh of one tick, and the record of
    // every switch-off (the menu, Disconnect), which a tick compares before
    // it starts Timer1 again.
    bool PollRequest();  // false: the link dropped inside a wait
    void PollRefresh();
    void RefreshMcuSummary();
    void MonitorSwitchedOff() { ++monitorSwitchOffs_; }
    bool tickRunning_ = false;
    unsigned monitorSwitchOffs_ = 0;
    // The controller status request was held back from step 6 (a slow
    // station still owed the module status reply); step 7 sends it.
    bool mcuStatusDeferred_ = false;
    bool mcuStatusSentInIdleStep_ = false;

    std::string pictureFolder_;
    QPointer<frmAdvancedOptions> advancedOptions_;
    QPointer<frmHart> hart_;

    std::function<void()> endProgram_;
    bool resizing_ = false;
    bool unloaded_ = false;

    // The trend window while loaded; an unloaded one waits in retiredScopes_
    // until none of its handlers runs any more (an unload can come from
    // inside one, through a wait or a dialog).
    void DeleteRetiredScopes();
    std::unique_ptr<scope::frmScope> scope_;
    std::vector<std::unique_ptr<scope::frmScope>> retiredScopes_;
};
