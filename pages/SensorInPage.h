// The sensor input page for thermocouple, RTD and scaled voltage input
// modules: a value sub-page (per channel the range, the scale low and high
// values, the alarm values and the alarm enable) and a mode sub-page (per
// channel the break-line detection; for thermocouple modules the cold-
// junction compensation and the mains filter frequency), switched by two
// buttons lying on one spot.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "platform/ui/controls.h"

namespace pages {

class SensorInPage : public ModulePage {
  public:
    explicit SensorInPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmeCAISConf).
    void Create(ui::Frame& frame);

    bool Fill(int16_t node, int16_t slot) override;

    void cboCAISRangeCode_Click(int index);
    void cmdSensorModeSetting_Click();
    void cmdSensorValueSetting_Click();
    void cmdCAISSetConf_Click();
    void cmdCAISDefault_Click();
    // The value boxes' focus, key and focus-loss handlers.
    void txtCAISScaleLowRange_GotFocus(int index);
    void txtCAISScaleLowRange_KeyPress(int index, int& keyAscii);
    void txtCAISScaleLowRange_LostFocus(int index);
    void txtCAISScaleHighRange_GotFocus(int index);
    void txtCAISScaleHighRange_KeyPress(int index, int& keyAscii);
    void txtCAISScaleHighRange_LostFocus(int index);
    void txtCAISLowAlarm_GotFocus(int index);
    void txtCAISLowAlarm_KeyPress(int index, int& keyAscii);
    void txtCAISLowAlarm_LostFocus(int index);
    void txtCAISHighAlarm_GotFocus(int index);
    void txtCAISHighAlarm_KeyPress(int index, int& keyAscii);
    void txtCAISHighAlarm_LostFocus(int index);

    ui::Frame frmCAIS_Value, frmCAIS_Mode;
    ui::TabStrip sstCAISConf, sstCAISConf_Mode;
    ui::ControlArray<ui::Label> lbCAISChannel, lbCAISChannel_Mode;
    ui::ControlArray<ui::ComboBox> cboCAISRangeCode;
    ui::ControlArray<ui::TextBox> txtCAISScaleLowRange, txtCAISScaleHighRange;
    ui::ControlArray<ui::TextBox> txtCAISLowAlarm, txtCAISHighAlarm;
    ui::ControlArray<ui::ComboBox> cboCAISAlarmMode, cboCAISPerChBreakLineMode;
    // Column headings, index 0 on the first tab and 1 on the second.
    ui::ControlArray<ui::Label> lbCAIS_Range, lbCAISScaleLowRange, lbCAISScaleHighRange,
        labCAISLowAlarm, labCAISHighAlarm, lblCAISAlarmMode, lbCAIS_PreChBreakLineMode;
    ui::Frame frmCJCSetting;
    ui::Label LblCJC, LblTransformer;
    ui::ComboBox cboCJCSetting, cboTransformerSetting;
    ui::CommandButton cmdSensorModeSetting, cmdSensorValueSetting;
    ui::CommandButton cmdCAISSetConf, cmdCAISDefault;

  private:
    int ChannelCount();
    std::string Model();
    // Every control of channel row `ch`.
    std::array<ui::Control*, 9> RowControls(int ch);
    void ShowRow(int ch, bool shown);
    void EnableRow(int ch, bool enabled);
    // The four value boxes of a row from the limits of `code`.
    void ShowLimits(int ch, int16_t code);

    PageHost& host_;
    ui::Frame* frame_ = nullptr;
};

}  // namespace pages
