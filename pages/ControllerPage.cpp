#include "pages/ControllerPage.h"

#include <exception>
#include <string>
#include <vector>

#include "config/NodeConfig.h"
#include "link/Connection.h"
#include "pages/PagePattern.h"
#include "pages/PagesLog.h"
#include "platform/dialogs.h"

namespace pages {

namespace {

int Partner(int slot) { return slot % 2 == 1 ? slot - 1 : slot + 1; }

}  // namespace

void ControllerPage::Create(ui::Frame& frame) {
    frame_ = &frame;
    frame.SetCaption("Common IOM Configuration");
    QWidget* area = frame.container();
    Label2.Create(area, "Duplex Mode");
    Label2.Move(1560, 360, 1800, 300);
    Label3.Create(area, "Break Line");
    Label3.Move(3600, 360, 1800, 300);
    for (int s = 0; s < kSlots; ++s) {
        const int top = 720 + s * 480;
        lbSolt.Load(s).Create(area, "IOM_" + std::to_string(s));
        lbSolt(s).Move(360, top + 45, 1080, 300);
        ui::ComboBox& duplex = CobRedundancyMode.Load(s);
        duplex.Create(area, ui::ComboBox::Style::DropdownList);
        duplex.Move(1560, top, 1800, 345);
        duplex.AddItem("Single");
        duplex.AddItem("Duplex");
        duplex.Click = [this, s] { CobRedundancyMode_Click(s); };
        ui::ComboBox& breakLine = CobBreakLineFunc.Load(s);
        breakLine.Create(area, ui::ComboBox::Style::DropdownList);
        breakLine.Move(3600, top, 1800, 345);
        breakLine.AddItem("OFF");
        breakLine.AddItem("ON");
    }
    Command4.Create(area, "Set");
    Command4.Move(7920, 600, 1320, 420);
    Command4.Click = [this] { Command4_Click(); };
}

void ControllerPage::Fill(int16_t node) {
    const NodeConfig& setting = ConfigSetting[node];
    for (int s = 0; s < kSlots; ++s) {
        CobRedundancyMode(s).SetListIndex(0);
        CobBreakLineFunc(s).SetListIndex(0);
        if (setting.Module(s).empty()) {
            CobBreakLineFunc(s).SetEnabled(false);
            CobRedundancyMode(s).SetEnabled(false);
            continue;
        }
        if (setting.RedundancyToSlot(s) != 0) {
            CobRedundancyMode(s).SetListIndex(1);
        } else {
            CobRedundancyMode(s).SetListIndex(0);
            if (s % 2 == 1) CobRedundancyMode(s - 1).SetListIndex(0);
        }
        CobBreakLineFunc(s).SetListIndex(setting.BreakLineFunc(s) != 0 ? 1 : 0);
        CobBreakLineFunc(s).SetEnabled(true);
        CobRedundancyMode(s).SetEnabled(true);
    }
    if (frame_) frame_->ZOrder(0);
}

void ControllerPage::CobRedundancyMode_Click(int index) {
    const NodeConfig& setting = ConfigSetting[host_.SelectedNode()];
    const int p = Partner(index);
    const bool duplex = CobRedundancyMode(index).ListIndex() != 0;
    if (setting.Module(p) != setting.Module(index) || setting.Module(index).empty()) {
        if (duplex) {
            rt::MsgBox("Duplex IOM" + std::to_string(index) + " & IOM" + std::to_string(p) +
                           " not match!!!",
                       rt::vbInformation, "IOM Setting Warning");
            CobRedundancyMode(index).SetListIndex(0);
        }
        CobRedundancyMode(p).SetListIndex(0);
        return;
    }
    CobRedundancyMode(p).SetListIndex(duplex ? 1 : 0);
}

void ControllerPage::Command4_Click() {
    auto line = [](const char* end) { return nxlink::TimeOfDayText() + end; };
    try {
        const int16_t node = host_.SelectedNode();
        if (!AskToolOperation("Will you set MCU parameter modify?")) return;
        const NodeConfig& real = ConfigReal[node];
        NodeConfig staging = ConfigSetting[node];
        // Every slot's own choices are stored first; the copies onto the
        // partners of newly joined pairs come after, so that no slot's
        // choice is overwritten by its partner's copy.
        std::vector<int16_t> joined;
        for (int16_t s = 0; s < kSlots; ++s) {
            if (real.Module(s).empty()) continue;
            SlotStore store(staging, real, s);
            const int r = CobRedundancyMode(s).ListIndex() == 0 ? 0 : 1;
            store.Put(&NodeConfig::RedundancyToSlot, r);
            const int16_t even = static_cast<int16_t>(s - s % 2);
            if (store.Changed() && r == 1 && !real.Module(Partner(s)).empty() &&
                (joined.empty() || joined.back() != even))
                joined.push_back(even);
            store.Put(&NodeConfig::BreakLineFunc, CobBreakLineFunc(s).ListIndex() == 0 ? 0 : 1);
            if (store.Changed()) staging.DownloadPending(s) = kTrue;
        }
        ConfigSetting[node] = std::move(staging);
        for (int16_t even : joined) {
            const int16_t odd = static_cast<int16_t>(even + 1);
            const int16_t ownRedundancy = ConfigSetting[node].RedundancyToSlot(odd);
            const int16_t ownBreakLine = ConfigSetting[node].BreakLineFunc(odd);
            CopyToPartner(node, even, odd);
            ConfigSetting[node].RedundancyToSlot(odd) = ownRedundancy;
            ConfigSetting[node].BreakLineFunc(odd) = ownBreakLine;
        }
        host_.ReportStatus(line(" Set common IOM configuration ok!"));
    } catch (const std::exception& e) {
        LogPageError("Controller page Set", e);
        host_.ReportStatus(line(" Set common IOM configuration error!"));
    }
}

}  // namespace pages
