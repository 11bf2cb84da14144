// The digital output page: for a 32-channel digital output module, the
// pattern applied at power-on and the pattern applied on a fault, each with
// its mode, as bit masks of the slot (bit n = channel n; channels 16..31 in
// the high masks).
#pragma once

#include <cstdint>

#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "platform/ui/controls.h"

namespace pages {

class DigitalOutPage : public ModulePage {
  public:
    static constexpr int kChannels = 32;

    explicit DigitalOutPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmeDigitalOut).
    void Create(ui::Frame& frame);

    bool Fill(int16_t node, int16_t slot) override;

    void OptDOPowerOnMode_Click(int index);
    void OptDOSafeValueMode_Click(int index);
    void cmdSetDOConf_Click();
    void cmdCDODefault_Click();

    ui::TabStrip sstDOConf;
    ui::ControlArray<ui::CheckBox> chkDOSafeVal;     // tab 0, "Ch0".."Ch31"
    ui::ControlArray<ui::CheckBox> chkDOPowerOnVal;  // tab 1
    ui::Frame Frame5, Frame6;
    ui::OptionGroup safeModeGroup, powerOnModeGroup;
    ui::ControlArray<ui::OptionButton> OptDOSafeValueMode;  // "OFF", "Preset", "Hold"
    ui::ControlArray<ui::OptionButton> OptDOPowerOnMode;    // "OFF", "Preset"
    ui::CommandButton cmdSetDOConf, cmdCDODefault;

  private:
    // Channels of the shown slot's module, limited to the page's boxes.
    int ChannelCount();
    void EnableBoxes(ui::ControlArray<ui::CheckBox>& boxes, bool enabled, int count);

    PageHost& host_;
    ui::Frame* frame_ = nullptr;
};

}  // namespace pages
