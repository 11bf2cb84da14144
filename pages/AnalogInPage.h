// The analog input page: per channel of an analog input module the input
// range (shown, not edited), the low and high alarm values in engineering
// units and the alarm enable; Set stores the alarms as raw counts of the
// channel's range.
#pragma once

#include <cstdint>

#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "platform/ui/controls.h"

namespace pages {

class AnalogInPage : public ModulePage {
  public:
    explicit AnalogInPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmeCAIConf).
    void Create(ui::Frame& frame);

    bool Fill(int16_t node, int16_t slot) override;

    void cmdCAISetConf_Click();
    void cmdCAIDefault_Click();
    // The alarm boxes' focus, key and focus-loss handlers.
    void txtCAILowAlarm_GotFocus(int index);
    void txtCAILowAlarm_KeyPress(int index, int& keyAscii);
    void txtCAILowAlarm_LostFocus(int index);
    void txtCAIHighAlarm_GotFocus(int index);
    void txtCAIHighAlarm_KeyPress(int index, int& keyAscii);
    void txtCAIHighAlarm_LostFocus(int index);

    ui::TabStrip sstCAIConf;
    ui::ControlArray<ui::Label> lbCAIChannel;
    ui::ControlArray<ui::ComboBox> cboCAIRangeCode;
    ui::ControlArray<ui::TextBox> txtCAILowAlarm, txtCAIHighAlarm;
    ui::ControlArray<ui::ComboBox> cboCAIAlarmMode;
    // Column headings, index 0 on the first tab and 1 on the second.
    ui::ControlArray<ui::Label> lbCAI_Range, labCAILowAlarm, labCAIHighAlarm, lblCAIAlarmMode;
    ui::Label lblCAIFilterMode;
    ui::ComboBox cboCAIFilterMode;
    ui::CommandButton cmdCAISetConf, cmdCAIDefault;

  private:
    int ChannelCount();
    void ShowRow(int ch, bool shown);
    void EnableControls(bool enabled);

    PageHost& host_;
    ui::Frame* frame_ = nullptr;
};

}  // namespace pages
