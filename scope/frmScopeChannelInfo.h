// "Channel Information": the address and value of the channel picked in the
// trend window's grid, and for outputs the buttons that write a new value to
// the station (Off, On, Inverse for a digital output; Set for an analog
// output). The writes send one frame and wait for nothing; Set writes nothing
// for a value that is not a number or is beyond a single, and says so.
#pragma once

#include <QWidget>

#include "platform/ui/controls.h"

namespace scope {

class frmScope;

class frmScopeChannelInfo : public QWidget {
  public:
    explicit frmScopeChannelInfo(frmScope& scope);

    // Index 0 "Off", 1 "On", 2 "Inverse" (the opposite of what txtValue
    // shows); any other index does nothing.
    void cmdSetDO_Click(int16_t index);
    void cmdSetValue_Click();
    void Unload();

    ui::Label labIO;
    ui::TextBox txtValue;
    ui::ControlArray<ui::CommandButton> cmdSetDO;  // 0 to 2
    ui::CommandButton cmdSetValue;

  private:
    frmScope& scope_;
};

}  // namespace scope
