// The slot, power-module and controller clicks of the rack picture and
// the module pages they bring to the front.
#include "config/NodeConfig.h"
#include "mainwindow/frmMain.h"
#include "pages/PagePattern.h"
#include "platform/runtime.h"

namespace {

using pages::PageKind;

// The window's side of each module page kind: the frame it fills and the
// page, whose controls are built into the frame when first needed.
struct WindowPage {
    PageKind kind;
    ui::Frame frmMain::*frame;
    pages::ModulePage& (*page)(frmMain&);
    void (*create)(frmMain&);
};
const WindowPage kWindowPages[] = {
    {PageKind::AnalogOutput, &frmMain::fmeCAOConf,
     [](frmMain& w) -> pages::ModulePage& { return w.aoPage; },
     [](frmMain& w) { w.aoPage.Create(w.fmeCAOConf, w.frmCAOConf_Value); }},
    {PageKind::AnalogInput, &frmMain::fmeCAIConf,
     [](frmMain& w) -> pages::ModulePage& { return w.aiPage; },
     [](frmMain& w) { w.aiPage.Create(w.fmeCAIConf); }},
    {PageKind::SensorInput, &frmMain::fmeCAISConf,
     [](frmMain& w) -> pages::ModulePage& { return w.sensorPage; },
     [](frmMain& w) { w.sensorPage.Create(w.fmeCAISConf); }},
    {PageKind::DigitalOutput, &frmMain::fmeDigitalOut,
     [](frmMain& w) -> pages::ModulePage& { return w.doPage; },
     [](frmMain& w) { w.doPage.Create(w.fmeDigitalOut); }},
    {PageKind::PulseInput, &frmMain::fmePIIOMConf,
     [](frmMain& w) -> pages::ModulePage& { return w.piPage; },
     [](frmMain& w) { w.piPage.Create(w.fmePIIOMConf); }},
    {PageKind::PulseOutput, &frmMain::fmePOIOMConf,
     [](frmMain& w) -> pages::ModulePage& { return w.poPage; },
     [](frmMain& w) { w.poPage.Create(w.fmePOIOMConf); }},
};

const WindowPage* WindowPageOf(PageKind kind) {
    for (const WindowPage& p : kWindowPages)
        if (p.kind == kind) return &p;
    return nullptr;
}

}  // namespace

std::string frmMain::SlotModel(int slot) { return optSlot(slot).ToolTipText(); }

ui::Frame& frmMain::PageFrame(PageKind kind) {
    const WindowPage* p = WindowPageOf(kind);
    return p ? this->*p->frame : fmeNoModule;
}

pages::ModulePage* frmMain::ModulePageOf(PageKind kind) {
    const WindowPage* p = WindowPageOf(kind);
    if (!p) return nullptr;
    BuildOnce(this->*p->frame, pagesBuilt_[static_cast<size_t>(kind)],
              [this, p] { p->create(*this); });
    return &p->page(*this);
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
    const PageKind kind = pages::DispatchPage(model);
    pages::ModulePage* page = ModulePageOf(kind);  // built first: it sets its caption
    if (kind == PageKind::SensorInput) fmeCAISConf.SetCaption(pages::SensorPageCaption(model));
    // A page that cannot show the module (no channel) leaves the empty page.
    if (page == nullptr || !page->Fill(node, SelSlot)) fmeNoModule.ZOrder(0);
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
