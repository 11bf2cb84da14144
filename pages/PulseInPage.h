// The pulse input page: for an eight-channel pulse input module, per
// channel the input mode, trigger edge, input impedance and low-pass filter
// switch, and the slot's one low-pass filter interval.
#pragma once

#include <cstdint>

#include "pages/PageHost.h"
#include "pages/PagePattern.h"
#include "platform/ui/controls.h"

namespace pages {

class PulseInPage : public ModulePage {
  public:
    static constexpr int kChannels = 8;

    explicit PulseInPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmePIIOMConf).
    void Create(ui::Frame& frame);

    bool Fill(int16_t node, int16_t slot) override;

    void cboCPIChannelMode_Click(int index);
    void txtPILPFInterval_GotFocus();
    void txtPILPFInterval_LostFocus();
    void cmdCPISetConf_Click();
    void cmdCPIDefConf_Click();

    ui::ControlArray<ui::Label> lbPIChannel;           // "Ch0".."Ch7"
    ui::ControlArray<ui::Label> lbPIHeader;            // column headers
    ui::ControlArray<ui::ComboBox> cboCPIChannelMode;  // "Frequency", "Up Counter"
    ui::ControlArray<ui::ComboBox> cboPITrigMode;      // "Raising", "Falling", "Dual"
    ui::ControlArray<ui::ComboBox> cboPIImpendance;    // "NONE" .. "1000 ohm"
    ui::ControlArray<ui::ComboBox> cboPILPFMode;       // "Disable", "Enable"
    ui::Label lbPILPFInterval;
    ui::TextBox txtPILPFInterval;
    ui::CommandButton cmdCPISetConf, cmdCPIDefConf;

  private:
    // Channels of the shown slot's module, limited to the page's rows.
    int ChannelCount();

    PageHost& host_;
    ui::Frame* frame_ = nullptr;
};

// The two-bit list index of channel `channel` in a per-channel word.
int TwoBits(int32_t word, int channel);
// The impedance word of the record: its Double taken to the nearest whole
// number, or 0 (every channel "NONE") for a value beyond 32 bits.
int32_t ImpedanceWord(double stored);

}  // namespace pages
