// The analog output page: per channel of an analog output module the output
// range, the power-on and fault values, two alarm limits with their enable,
// and (on the modes sub-frame) the power-on mode, fault mode and break-line
// detection. Values are shown in the range's unit and stored as raw counts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "platform/ui/controls.h"

namespace pages {

class AnalogOutPage : public ModulePage {
  public:
    static constexpr int kChannels = 16;

    explicit AnalogOutPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmeCAOConf) and its values
    // sub-frame (frmCAOConf_Value, a child of the frame).
    void Create(ui::Frame& frame, ui::Frame& valueFrame);

    bool Fill(int16_t node, int16_t slot) override;

    void cboCAORangeCode_Click(int index);
    void cmdCAOAllConf_Click();
    void cmdCAOModeConf_Click();
    void cmdCAODefault_Click();
    void cmdCAOSetConf_Click();
    // The value boxes' focus, key and focus-loss handlers.
    void txtCAOPowerOn_GotFocus(int index);
    void txtCAOPowerOn_KeyPress(int index, int& keyAscii);
    void txtCAOPowerOn_LostFocus(int index);
    void txtCAOSafe_GotFocus(int index);
    void txtCAOSafe_KeyPress(int index, int& keyAscii);
    void txtCAOSafe_LostFocus(int index);
    void txtCAOLowAlarm_GotFocus(int index);
    void txtCAOLowAlarm_KeyPress(int index, int& keyAscii);
    void txtCAOLowAlarm_LostFocus(int index);
    void txtCAOHighAlarm_GotFocus(int index);
    void txtCAOHighAlarm_KeyPress(int index, int& keyAscii);
    void txtCAOHighAlarm_LostFocus(int index);

    // Values sub-frame.
    ui::TabStrip sstCAOConf;
    ui::ControlArray<ui::Label> lbCAOChannel;
    ui::ControlArray<ui::ComboBox> cboCAORangeCode;
    ui::ControlArray<ui::TextBox> txtCAOPowerOn, txtCAOSafe, txtCAOLowAlarm, txtCAOHighAlarm;
    ui::ControlArray<ui::ComboBox> cboCAOAlarmMode;  // "Disable", "Enable"
    ui::ControlArray<ui::Label> lbCAO_Range, labCAOPowerOn, labCAOSafe, labCAOLowAlarm,
        labCAOHighAlarm, lblCAOAlarmMode;  // one per tab
    // Modes sub-frame.
    ui::Frame frmCAOConf_Alarm;
    ui::TabStrip sstCAOConf_Mode;
    ui::ControlArray<ui::Label> lbCAOModeChannel;
    ui::ControlArray<ui::ComboBox> cboCAOPowerOnMode;         // "OFF", "Preset"
    ui::ControlArray<ui::ComboBox> cboCAOFaultMode;           // "OFF", "Preset", "HOLD"
    ui::ControlArray<ui::ComboBox> cboCAOPerChBreakLineMode;  // "Disable", "Enable"
    ui::ControlArray<ui::Label> labCAOPowerOnMode, labCAOFaultMode;
    ui::ControlArray<ui::Label> lbCAIS_PreChBreakLineMode;  // 2 and 3
    ui::CommandButton cmdCAOSetConf, cmdCAODefault, cmdCAOAllConf, cmdCAOModeConf;

  private:
    int ChannelCount();
    std::string Model();
    void CheckValueBox(ui::TextBox& box, int index);
    void CheckAlarmBox(bool high, int index);
    // The eleven controls of a channel's row.
    void ForEachRowControl(int channel, const std::function<void(ui::Control&)>& f);

    PageHost& host_;
    ui::Frame* frame_ = nullptr;
    ui::Frame* value_ = nullptr;
};

}  // namespace pages
