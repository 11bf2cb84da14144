// "Change Scope Range": shows and sets the chart's buffer size, the Y range
// of the analog track (track 0), the time span in minutes and the sampling
// interval, which also re-times the main window's monitor (a fifth of it).
#pragma once

#include <QWidget>

#include "platform/ui/controls.h"

namespace scope {

class frmScope;

class frmEditScopeRange : public QWidget {
  public:
    explicit frmEditScopeRange(frmScope& scope);

    // Fills the fields from the chart and the sampling timer.
    void Form_Load();
    void cmdGo_Click();
    void cmdExit_Click();
    // Shows the window modeless, loading it first when it is not loaded.
    void ShowWindow();
    // Hides it; the next show loads it afresh.
    void Unload();
    bool Loaded() const { return loaded_; }

    ui::Label lblYMax, lblYMin, lblTimerInterval, lblXspan, lblXAxis;
    ui::TextBox txtYMax, txtYMin, txtTimerInterval, txtXspan, txtXAxis;
    ui::CommandButton cmdGo, cmdExit;

  private:
    // The steps of Set, in order.
    void ApplyFields();

    frmScope& scope_;
    bool loaded_ = false;
};

}  // namespace scope
