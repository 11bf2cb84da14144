// The slot, power-module and controller clicks of the rack picture and
// the module pages they bring to the front.
#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "pages/PagePattern.h"
#include "platform/runtime.h"

namespace {

// The channel boxes of the analog and pulse pages.
constexpr int kPageFieldBoxes = 16;

}  // namespace

std::string frmMain::SlotModel(int slot) { return optSlot(slot).ToolTipText(); }

ui::Frame& frmMain::PageFrame(pages::PageKind kind) {
    using pages::PageKind;
    switch (kind) {
        case PageKind::AnalogOutput:
            return fmeCAOConf;
        case PageKind::AnalogInput:
            return fmeCAIConf;
        case PageKind::SensorInput:
            return fmeCAISConf;
        case PageKind::DigitalOutput:
            return fmeDigitalOut;
        case PageKind::PulseInput:
            return fmePIIOMConf;
        case PageKind::PulseOutput:
            return fmePOIOMConf;
        case PageKind::NoModule:
            break;
    }
    return fmeNoModule;
}

pages::ModulePage* frmMain::ModulePageOf(pages::PageKind kind) {
    if (kind == pages::PageKind::DigitalOutput) return &doPage;
    if (kind == pages::PageKind::AnalogInput) return &aiPage;
    if (kind == pages::PageKind::SensorInput) return &sensorPage;
    if (kind == pages::PageKind::PulseInput) return &piPage;
    if (kind == pages::PageKind::PulseOutput) return &poPage;
    if (kind == pages::PageKind::AnalogOutput) return &aoPage;
    return nullptr;
}

void frmMain::optSlot_Click(int index) {
    fmeQ300.ZOrder(0);
    fmeController.ZOrder(0);
    SelSlot = static_cast<int16_t>(index);
    const std::string model = optSlot(index).ToolTipText();
    if (model.empty())
        lbCurrentModule.SetVisible(false);
    else
        ShowCurrentModule(optSlot(index), model, 175);

    const int16_t node = SelectedNode();
    if (!pages::StateShowsPage(ConfigReal[node].NMTState(SelSlot))) {
        fmeNoModule.ZOrder(0);
        return;
    }
    const pages::PageKind kind = pages::DispatchPage(model);
    if (kind == pages::PageKind::SensorInput)
        fmeCAISConf.SetCaption(pages::SensorPageCaption(model));
    if (pages::ModulePage* page = ModulePageOf(kind)) {
        if (!page->Fill(node, SelSlot)) fmeNoModule.ZOrder(0);
        return;
    }
    if (kind != pages::PageKind::NoModule)
        PageChannelCount = pages::PageCount(kind, ConfigReal[node], SelSlot, kPageFieldBoxes);
    PageFrame(kind).ZOrder(0);
}

void frmMain::optPower_Click(int index) {
    const int16_t node = SelectedNode();
    ShowCurrentModule(optPower(index), ConfigReal[node].PowerName[index], 250);
    fmeNoModule.ZOrder(0);
}

void frmMain::optMCU_Click(int index) {
    const int16_t node = SelectedNode();
    TxtNetID.SetText(rt::Trim(std::to_string(ConfigReal[node].NetID)));
    if (optMCU(index).ToolTipText().empty()) {
        fmeNoModule.ZOrder(0);
        return;
    }
    ShowCurrentModule(optMCU(index), ConfigReal[node].McuName[index], 250);
    controllerPage.Fill(node);
}
