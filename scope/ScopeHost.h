// What the trend window needs of the main window: the four mapping tables
// whose value column it samples, the monitor that keeps them current, and
// the main window's own unload of the trend window. The main window
// implements it; the trend window never reaches the main window otherwise.
#pragma once

namespace ui {
class ListView;
}

namespace scope {

class ScopeHost {
  public:
    virtual ~ScopeHost() = default;

    // The mapping table of kind number 0 DI, 1 DO, 2 AI, 3 AO.
    virtual ui::ListView& MappingList(int kind) = 0;
    // The monitor's menu item carries its check mark: monitoring is on.
    virtual bool MonitorChecked() = 0;
    // Switches the monitor on as its menu command does, without asking
    // whether the station is connected: check mark, the toolbar button's
    // on picture and "Disable" entry, the monitor timer started at its
    // interval.
    virtual void SwitchMonitorOn() = 0;
    // The interval of the monitor timer, in ms.
    virtual void SetMonitorTimerInterval(int ms) = 0;
    // Unloads the trend window (closing it does so).
    virtual void UnloadScope() = 0;
};

}  // namespace scope
