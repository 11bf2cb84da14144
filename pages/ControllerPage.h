// The controller page ("Common IOM Configuration"): for the I/O slots 0..7
// at once, whether a slot works in a duplex pair with its neighbour (pairs
// 0-1, 2-3, 4-5, 6-7, same model only) and whether its line-break function
// is on.
#pragma once

#include <cstdint>

#include "pages/PageHost.h"
#include "platform/ui/controls.h"

namespace pages {

class ControllerPage {
  public:
    static constexpr int kSlots = 8;

    explicit ControllerPage(PageHost& host) : host_(host) {}
    // Builds the page's controls into its frame (fmeIOMPoolConf).
    void Create(ui::Frame& frame);

    // Fills both lists of every slot from ConfigSetting and brings the page
    // to the front.
    void Fill(int16_t node);
    // Keeps a pair consistent when the duplex list of slot `index` changes.
    void CobRedundancyMode_Click(int index);
    // Set: stores every slot's choices into ConfigSetting.
    void Command4_Click();

    ui::ControlArray<ui::Label> lbSolt;  // "IOM_0".."IOM_7"
    ui::Label Label2, Label3;
    ui::ControlArray<ui::ComboBox> CobRedundancyMode;  // "Single", "Duplex"
    ui::ControlArray<ui::ComboBox> CobBreakLineFunc;   // "OFF", "ON"
    ui::CommandButton Command4;

  private:
    PageHost& host_;
    ui::Frame* frame_ = nullptr;
};

}  // namespace pages
