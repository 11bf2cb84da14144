// The main window's side of the trend window: the "Tread" command that
// shows it, its unload (Disconnect, closing it), and what it reads and
// switches of the main window (the mapping tables and the monitor).
#include "mainwindow/frmMain.h"

namespace {

// Toolbar button 6 ("Monitor") and its picture while on.
constexpr int kMonitorButton = 6;
constexpr int kImageMonitorOn = 10;

}  // namespace

void frmMain::mnuTread_Click() {
    scope::frmScope& w = ScopeWindow();
    w.show();
    w.raise();
    w.activateWindow();
}

scope::frmScope& frmMain::ScopeWindow() {
    DeleteRetiredScopes();
    if (!scope_) scope_ = std::make_unique<scope::frmScope>(*this, nullptr, this);
    return *scope_;
}

void frmMain::UnloadScope() {
    if (!scope_) return;
    scope_->Form_Unload();
    scope_->Timer1.SetEnabled(false);
    scope_->hide();
    retiredScopes_.push_back(std::move(scope_));
    DeleteRetiredScopes();
}

void frmMain::DeleteRetiredScopes() {
    std::erase_if(retiredScopes_, [](const auto& w) { return w->Busy() == 0; });
}

ui::ListView& frmMain::MappingList(int kind) {
    switch (kind) {
        case 0:
            return lvwDIMapping;
        case 1:
            return lvwDOMapping;
        case 2:
            return lvwAIMapping;
        default:
            return lvwAOMapping;
    }
}

bool frmMain::MonitorChecked() { return mnuTimerEnable.Checked(); }

void frmMain::SwitchMonitorOn() {
    mnuTimerEnable.SetChecked(true);
    ui::ToolbarButton& button = Toolbar.Buttons(kMonitorButton);
    button.SetImage(kImageMonitorOn);
    button.ButtonMenus(1).SetText("Disable");
    Timer1.SetInterval(MonitorTimerInterval);
    Timer1.SetEnabled(true);
}

void frmMain::SetMonitorTimerInterval(int ms) { Timer1.SetInterval(ms); }
