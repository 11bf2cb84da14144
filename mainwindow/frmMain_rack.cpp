// The rack picture: the controller, power-module and slot buttons with their
// module pictures and names, the kind labels under the slots, and what a
// click on a rack button shows.
#include <QPixmap>
#include <algorithm>

#include "config/NodeConfig.h"
#include "mainwindow/MappingTables.h"
#include "mainwindow/frmMain.h"

namespace {

const char* const kSlotPicture = "Module_Front.gif";
const char* const kMcuPicture = "Module_MCU.gif";
const char* const kPowerPicture = "Module_PWM.gif";

}  // namespace

// A picture that is missing or cannot be read leaves its button without a
// picture; the name still goes into the tool-tip, and the rest of the rack
// is drawn.
void frmMain::ShowRackButton(ui::OptionButton& button, const std::string& pictureFile,
                             const std::string& name) {
    if (name.empty()) {
        button.SetPicture(QPixmap());
        button.SetToolTipText("");
        return;
    }
    button.SetPicture(QPixmap(ui::Q(pictureFolder_ + "/" + pictureFile)));
    button.SetToolTipText(name);
}

void frmMain::ShowRackPictures(int16_t node) {
    const NodeConfig& n = ConfigReal[node];
    for (int s = 0; s <= 7; ++s) {
        const bool shown = !n.Module[s].empty() && n.SlotPresent[s] == kTrue;
        ShowRackButton(optSlot(s), kSlotPicture, shown ? n.Module[s] : "");
        optSlot(s).SetValue(false);
    }
    for (int i = 0; i <= 1; ++i) {
        ShowRackButton(optMCU(i), kMcuPicture, n.McuName[i]);
        ShowRackButton(optPower(i), kPowerPicture, n.PowerName[i]);
        optMCU(i).SetValue(false);
        optPower(i).SetValue(false);
    }
    lbCurrentModule.SetVisible(false);
    fmeController.SetCaption(n.Controller);
    fmeNoModule.ZOrder(0);
}

void frmMain::SetModuleKindLabel(const std::string& model, ui::Label& label) {
    label.SetVisible(true);
    label.SetAutoSize(true);
    label.SetAlignment(ui::Align::Center);
    label.SetCaption(mapping::StackedLetters(mapping::ModuleKindText(model)));
}

void frmMain::SetModuleKindLabel(int16_t slot, const std::string& model) {
    SetModuleKindLabel(model, lblIOMName(slot));
}

void frmMain::ShowCurrentModule(const ui::OptionButton& button, const std::string& caption,
                                int offset) {
    lbCurrentModule.SetVisible(true);
    lbCurrentModule.SetCaption(caption);
    // Kept inside the rack, where a button at its left edge would push it.
    lbCurrentModule.SetLeft(std::max(0, button.Left() - offset));
}
