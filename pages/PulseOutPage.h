// The pulse output page: for each channel of a pulse output module the
// output mode, base time, cycle and duty steps, offset, pulse counter and
// fault mode, on two tabs of eight channels.
#pragma once

#include <cstdint>
#include <string>

#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "platform/ui/controls.h"

namespace pages {

class PulseOutPage : public ModulePage {
  public:
    static constexpr int kChannels = 16;

    explicit PulseOutPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmePOIOMConf).
    void Create(ui::Frame& frame);

    bool Fill(int16_t node, int16_t slot) override;

    void cboCPOChannelMode_Click(int index);
    void cmdCPOSetConf_Click();
    void cmdDefCPOSetConf_Click();
    // The timing boxes' focus, key and focus-loss handlers.
    void txtPOReferenceTime_GotFocus(int index);
    void txtPOReferenceTime_KeyPress(int index, int& keyAscii);
    void txtPOReferenceTime_LostFocus(int index);
    void txtPOOutputCycle_GotFocus(int index);
    void txtPOOutputCycle_KeyPress(int index, int& keyAscii);
    void txtPOOutputCycle_LostFocus(int index);
    void txtPODytyCycle_GotFocus(int index);
    void txtPODytyCycle_KeyPress(int index, int& keyAscii);
    void txtPODytyCycle_LostFocus(int index);
    void txtPOOffset_GotFocus(int index);
    void txtPOOffset_KeyPress(int index, int& keyAscii);
    void txtPOOffset_LostFocus(int index);
    void txtPOCounter_GotFocus(int index);
    void txtPOCounter_KeyPress(int index, int& keyAscii);
    void txtPOCounter_LostFocus(int index);

    ui::TabStrip sstPOConf;                            // "Ch0~Ch7", "Ch8~Ch15"
    ui::ControlArray<ui::Label> LabelPO;               // "Ch0".."Ch15"
    ui::ControlArray<ui::Label> lbPOHeader;            // 7 headers per tab
    ui::ControlArray<ui::ComboBox> cboCPOChannelMode;  // "One Shot", "Continuous", "PWM"
    ui::ControlArray<ui::TextBox> txtPOReferenceTime, txtPOOutputCycle, txtPODytyCycle, txtPOOffset,
        txtPOCounter;
    ui::ControlArray<ui::ComboBox> cboCPOFaultMode;  // "OFF", "HOLD"
    ui::CommandButton cmdCPOSetConf, cmdDefCPOSetConf;

  private:
    int ChannelCount();
    // The boxes a channel's mode leaves editable.
    void ApplyModeEnables(int channel);
    void EnableChannel(int channel, bool enabled);

    PageHost& host_;
    ui::Frame* frame_ = nullptr;
};

// A 16-bit field as the page shows it: 0..65535, a value above 32767 being
// stored as its 16-bit pattern.
std::string UnsignedText(int16_t stored);
// A box's value for a 16-bit field: to the nearest whole number (a half to
// the even neighbour); 32768..65535 give their 16-bit pattern; any other
// value beyond the signed range raises Overflow.
int16_t Word16(const std::string& text);

}  // namespace pages
