// What the controller link needs of the main window: the status line and the
// event log, the connected and disconnected window states, the connection
// bar, the two timers, the mapping lists, the rack picture, the caption and
// the trend window. The main window implements it; tests use a recording
// fake. Every call runs on the window thread.
#pragma once

#include <cstdint>
#include <string>

namespace nxlink {

class LinkWindow {
  public:
    virtual ~LinkWindow() = default;

    // ---- Status line and event log ---------------------------------------
    // A status report: txtStatus := text, then one row with that text is
    // appended to lvwEventLog.
    virtual void ReportStatus(const std::string& text) = 0;
    // txtStatus := text, without an event-log row.
    virtual void SetStatusText(const std::string& text) = 0;
    // Empties lvwEventLog.
    virtual void ClearEventLog() = 0;

    // ---- Window state ----------------------------------------------------
    // The connected state: toolbar button 1 "Connect" and mnuConnect
    // disabled; buttons 2, 3, 4, 6, 8 and mnuDisconnect, mnuMonitor,
    // mnuTread, mnuHart, mnuAdvancedOptions enabled; LblNetID, TxtNetID and
    // CmdSetNetID visible; mnuTimerEnable left as it is.
    virtual void ShowConnectedState() = 0;
    // The disconnected state: the reverse of the above, plus mnuTimerEnable
    // disabled without its check mark, toolbar button 6 with picture 9 and
    // its first button-menu entry reading "Enable".
    virtual void ShowDisconnectedState() = 0;
    // Toolbar button 1 "Connect" and mnuConnect, enabled or disabled together.
    virtual void SetConnectEnabled(bool enabled) = 0;

    // ---- Connection bar --------------------------------------------------
    virtual std::string TxtCtlIPText() = 0;
    virtual std::string TxtNetIDText() = 0;
    virtual void SetTxtNetIDText(const std::string& text) = 0;

    // ---- Timers ----------------------------------------------------------
    // Timer1: the monitor timer. Timer2: the watchdog (500 ms), whose tick
    // must call nxlink::Timer2_Timer().
    virtual bool Timer1Enabled() = 0;
    virtual void SetTimer1Enabled(bool enabled) = 0;
    virtual bool Timer2Enabled() = 0;
    virtual void SetTimer2Enabled(bool enabled) = 0;
    // The check mark of mnuTimerEnable: monitoring is on.
    virtual bool TimerEnableChecked() = 0;

    // ---- Lists, rack picture, caption, trend window ------------------------
    virtual void FillMappingAndSummaryLists(int16_t node) = 0;
    // The rack reset of Disconnect: slot buttons 0 to 7 deselected, without
    // picture and with tool-tip "", their lblIOMName labels hidden;
    // optMCU and optPower 0 and 1 deselected, without picture and tool-tip.
    // Slot 8 and power position 2 are left alone. The rack frame's caption
    // (the controller's name) is emptied, as the reset records name none.
    virtual void ClearRackPicture() = 0;
    // Selects (running optPower_Click(0)) or deselects optPower(0).
    virtual void SetOptPower0Selected(bool selected) = 0;
    // Caption := " NX-4410 Utility  ver <major>.<minor>.<revision> ".
    virtual void RestoreStartupCaption() = 0;
    // Unloads frmScope (and with it its two dialogs); nothing when not shown.
    virtual void UnloadScope() = 0;
};

}  // namespace nxlink
