// The main window's side of the controller link: the commands that open,
// close and watch the connection and move the configuration, and the window
// steps the link drives (status line, event log, enabled states, timers,
// rack reset, caption).
#include "link/Connection.h"
#include "link/Download.h"
#include "link/TextChannel.h"
#include "link/Upload.h"
#include "mainwindow/frmMain.h"

// ---- Commands ----------------------------------------------------------------

void frmMain::mnuConnect_Click() { nxlink::mnuConnect_Click(); }
void frmMain::mnuDisconnect_Click() { nxlink::mnuDisconnect_Click(); }
void frmMain::UploadConfiguration(int16_t node) { nxlink::UploadConfiguration(node); }
void frmMain::DownloadConfiguration(int16_t node) { nxlink::DownloadConfiguration(node); }
void frmMain::Timer2_Timer() { nxlink::Timer2_Timer(); }
void frmMain::CmdSetNetID_Click() { nxlink::CmdSetNetID_Click(); }

// ---- Status line and event log -------------------------------------------------

void frmMain::SetStatusText(const std::string& text) { txtStatus.SetText(text); }
void frmMain::ClearEventLog() { lvwEventLog.ClearItems(); }

// ---- Window state ----------------------------------------------------------------

void frmMain::SetConnectedControls(bool connected) {
    SetConnectEnabled(!connected);
    for (int button : {2, 3, 4, 6, 8}) Toolbar.Buttons(button).SetEnabled(connected);
    for (ui::MenuItem* item :
         {&mnuDisconnect, &mnuMonitor, &mnuTread, &mnuHart, &mnuAdvancedOptions})
        item->SetEnabled(connected);
    for (ui::Control* c : std::initializer_list<ui::Control*>{&LblNetID, &TxtNetID, &CmdSetNetID})
        c->SetVisible(connected);
}

void frmMain::ShowConnectedState() { SetConnectedControls(true); }

void frmMain::ShowDisconnectedState() {
    MonitorSwitchedOff();
    SetConnectedControls(false);
    mnuTimerEnable.SetEnabled(false);
    mnuTimerEnable.SetChecked(false);
    Toolbar.Buttons(6).SetImage(9);
    Toolbar.Buttons(6).ButtonMenus(1).SetText("Enable");
}

void frmMain::SetConnectEnabled(bool enabled) {
    Toolbar.Buttons(1).SetEnabled(enabled);
    mnuConnect.SetEnabled(enabled);
}

// ---- Connection bar ---------------------------------------------------------------

std::string frmMain::TxtCtlIPText() { return TxtCtlIP.Text(); }
std::string frmMain::TxtNetIDText() { return TxtNetID.Text(); }
void frmMain::SetTxtNetIDText(const std::string& text) { TxtNetID.SetText(text); }

// ---- Timers ---------------------------------------------------------------------------

// A tick stops Timer1 while it runs; the monitor is still polling then, so
// the watchdog sends no keep-alive in between (it would take over the key of
// the tick's request).
bool frmMain::Timer1Enabled() { return Timer1.Enabled() || tickRunning_; }
void frmMain::SetTimer1Enabled(bool enabled) { Timer1.SetEnabled(enabled); }
bool frmMain::Timer2Enabled() { return Timer2.Enabled(); }
void frmMain::SetTimer2Enabled(bool enabled) { Timer2.SetEnabled(enabled); }
bool frmMain::TimerEnableChecked() { return mnuTimerEnable.Checked(); }

// ---- Rack, caption, trend window -------------------------------------------------------

void frmMain::ClearRackPicture() {
    for (int s = 0; s <= 7; ++s) {
        optSlot(s).SetValue(false);
        ShowRackButton(optSlot(s), "", "");
        lblIOMName(s).SetVisible(false);
    }
    for (int i = 0; i <= 1; ++i) {
        for (ui::OptionButton* b : {&optMCU(i), &optPower(i)}) {
            b->SetValue(false);
            ShowRackButton(*b, "", "");
        }
    }
    fmeController.SetCaption("");
}

void frmMain::SetOptPower0Selected(bool selected) { optPower(0).SetValue(selected); }
void frmMain::RestoreStartupCaption() { SetCaption(StartCaption()); }
