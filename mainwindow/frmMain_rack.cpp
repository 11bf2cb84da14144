// The rack picture: the controller, power-module and slot buttons with their
// module pictures and names, the kind labels under the slots, and what a
// click on a rack button shows.
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOption>
#include <algorithm>

#include "config/NodeConfig.h"
#include "mainwindow/MappingTables.h"
#include "mainwindow/frmMain.h"

namespace {

const char* const kSlotPicture = "Module_Front.gif";
const char* const kMcuPicture = "Module_MCU.gif";
const char* const kPowerPicture = "Module_PWM.gif";

// The rack's look: a dark backplane with a rounded border, set 9 pixels
// below the top of its frame; the module buttons as flat grey boxes, the
// selected one light blue in a wider blue border, the picture in the middle.
class RackLook : public QProxyStyle {
  public:
    void drawComplexControl(ComplexControl cc, const QStyleOptionComplex* opt, QPainter* p,
                            const QWidget* w) const override {
        if (cc == CC_GroupBox) {
            DrawBackplane(p, opt->rect.adjusted(0, 9, 0, 0));
        } else if (const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(opt);
                   cc == CC_ToolButton && tool != nullptr) {
            const bool on = (opt->state & State_On) != 0;
            const int border = on ? 2 : 1;
            const QRect r = opt->rect;
            p->fillRect(r, on ? QColor(0x1f, 0x6f, 0xbf) : QColor(0x36, 0x3a, 0x3f));
            p->fillRect(r.adjusted(border, border, -border, -border),
                        on ? QColor(0x8f, 0xb8, 0xde) : QColor(0x5d, 0x63, 0x6a));
            QStyleOptionToolButton label(*tool);
            label.rect = r.adjusted(border, border, -border, -border);
            proxy()->drawControl(CE_ToolButtonLabel, &label, p, w);
        } else {
            QProxyStyle::drawComplexControl(cc, opt, p, w);
        }
    }

  private:
    static void DrawBackplane(QPainter* p, const QRect& r) {
        // The fill reaches the middle of the border line, its corners
        // rounded along the line's middle.
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(Qt::NoPen);
        p->setBrush(QColor(0x4a, 0x4f, 0x55));
        p->drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 2.5, 2.5);
        p->restore();
        ui::DrawRoundedBorder(p, r, QColor(0x2c, 0x30, 0x35), 3);
    }
};

// The rack's labels: bold, nearly white on the dark backplane.
void UseRackLabelLook(ui::Label& label) {
    QWidget* w = label.widget();
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    w->setPalette(palette);
    QFont font = w->font();
    font.setBold(true);
    w->setFont(font);
}

}  // namespace

void frmMain::UseRackLook() {
    QStyle* look = ui::SharedStyle<RackLook>();
    fmeController_Q300.widget()->setStyle(look);
    for (ui::OptionButton* b : {&optMCU(0), &optMCU(1), &optPower(0), &optPower(1), &optPower(2)})
        b->widget()->setStyle(look);
    for (int s = 0; s <= 8; ++s) optSlot(s).widget()->setStyle(look);
    for (int s = 0; s <= 7; ++s) UseRackLabelLook(lblIOMName(s));
    UseRackLabelLook(lbCurrentModule);
}

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
