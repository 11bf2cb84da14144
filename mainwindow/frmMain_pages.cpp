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
    using pages::PageKind;
    const auto built = [this, kind](auto& page, auto&&... frames) -> pages::ModulePage* {
        BuildOnce(PageFrame(kind), pagesBuilt_[static_cast<size_t>(kind)],
                  [&page, &frames...] { page.Create(frames...); });
        return &page;
    };
    switch (kind) {
        case PageKind::DigitalOutput:
            return built(doPage, fmeDigitalOut);
        case PageKind::AnalogInput:
            return built(aiPage, fmeCAIConf);
        case PageKind::SensorInput:
            return built(sensorPage, fmeCAISConf);
        case PageKind::PulseInput:
            return built(piPage, fmePIIOMConf);
        case PageKind::PulseOutput:
            return built(poPage, fmePOIOMConf);
        case PageKind::AnalogOutput:
            return built(aoPage, fmeCAOConf, frmCAOConf_Value);
        case PageKind::NoModule:
            break;
    }
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
    pages::ModulePage* page = ModulePageOf(kind);  // built first: it sets its caption
    if (kind == pages::PageKind::SensorInput)
        fmeCAISConf.SetCaption(pages::SensorPageCaption(model));
    if (page != nullptr) {
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
    Controller().Fill(node);
}
