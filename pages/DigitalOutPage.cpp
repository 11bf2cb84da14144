#include "pages/DigitalOutPage.h"

#include <string>

#include "config/NodeConfig.h"

namespace pages {

namespace {

const PageWords kWords{"Would you want to modify IOM parameters?", " Set DO IOM ",
                       " configuration error!",
                       "Would you want ot set IOM parameters to default setting?"};

// Layout in twips.
constexpr int kBoxLeft = 240, kBoxTop = 240, kBoxWidth = 840, kBoxHeight = 300;
constexpr int kBoxPitchX = 880, kBoxPitchY = 380;

void PlaceBoxes(ui::ControlArray<ui::CheckBox>& boxes, QWidget* page) {
    for (int ch = 0; ch < DigitalOutPage::kChannels; ++ch) {
        ui::CheckBox& b = boxes.Load(ch);
        b.Create(page, "Ch" + std::to_string(ch));
        b.Move(kBoxLeft + (ch % 8) * kBoxPitchX, kBoxTop + (ch / 8) * kBoxPitchY, kBoxWidth,
               kBoxHeight);
    }
}

void PlaceModes(ui::Frame& frame, QWidget* page, const std::string& caption,
                ui::ControlArray<ui::OptionButton>& buttons, ui::OptionGroup& group,
                std::initializer_list<const char*> captions) {
    frame.Create(page, caption);
    frame.Move(kBoxLeft, kBoxTop + 4 * kBoxPitchY + 180, 5400, 780);
    int i = 0;
    for (const char* c : captions) {
        ui::OptionButton& b = buttons.Load(i);
        b.Create(frame.container(), &group, ui::OptionButton::Style::Standard, c);
        b.Move(240 + i * 1680, 330, 1500, 300);
        ++i;
    }
}

int32_t Mask(ui::ControlArray<ui::CheckBox>& boxes, int first) {
    int32_t mask = 0;
    for (int ch = first; ch < first + 16; ++ch) mask += boxes(ch).Value() << (ch - first);
    return mask;
}

bool Bit(int32_t low, int32_t high, int ch) {
    return ((ch < 16 ? low >> ch : high >> (ch - 16)) & 1) != 0;
}

int SelectedIndex(ui::ControlArray<ui::OptionButton>& buttons) {
    for (int i = buttons.LBound(); i <= buttons.UBound(); ++i)
        if (buttons(i).Value()) return i;
    return 0;
}

}  // namespace

void DigitalOutPage::Create(ui::Frame& frame) {
    frame_ = &frame;
    frame.SetCaption("Configuration  (DO)");
    QWidget* area = frame.container();
    sstDOConf.Create(area);
    sstDOConf.Move(120, 300, 7600, 4920);
    sstDOConf.AddTab("Fault Value");
    sstDOConf.AddTab("PowerOn Value");
    PlaceBoxes(chkDOSafeVal, sstDOConf.Page(0));
    PlaceBoxes(chkDOPowerOnVal, sstDOConf.Page(1));
    PlaceModes(Frame5, sstDOConf.Page(0), "Fault Mode", OptDOSafeValueMode, safeModeGroup,
               {"OFF", "Preset", "Hold"});
    PlaceModes(Frame6, sstDOConf.Page(1), "PowerOn Mode", OptDOPowerOnMode, powerOnModeGroup,
               {"OFF", "Preset"});
    OptDOSafeValueMode(0).SetValue(true);
    OptDOPowerOnMode(0).SetValue(true);
    for (int i = 0; i <= 2; ++i)
        OptDOSafeValueMode(i).Click = [this, i] { OptDOSafeValueMode_Click(i); };
    for (int i = 0; i <= 1; ++i)
        OptDOPowerOnMode(i).Click = [this, i] { OptDOPowerOnMode_Click(i); };
    cmdSetDOConf.Create(area, "Set");
    cmdSetDOConf.Move(7920, 600, 1320, 420);
    cmdCDODefault.Create(area, "Default");
    cmdCDODefault.Move(7920, 1140, 1320, 420);
    cmdSetDOConf.Click = [this] { cmdSetDOConf_Click(); };
    cmdCDODefault.Click = [this] { cmdCDODefault_Click(); };
}

int DigitalOutPage::ChannelCount() {
    return PageCount(PageKind::DigitalOutput, ConfigReal[host_.SelectedNode()], SelSlot, kChannels);
}

void DigitalOutPage::EnableBoxes(ui::ControlArray<ui::CheckBox>& boxes, bool enabled, int count) {
    for (int ch = 0; ch < count; ++ch) boxes(ch).SetEnabled(enabled);
}

bool DigitalOutPage::Fill(int16_t node, int16_t slot) {
    const NodeConfig& real = ConfigReal[node];
    const NodeConfig& setting = ConfigSetting[node];
    const int count = PageCount(PageKind::DigitalOutput, real, slot, kChannels);
    host_.PageChannelCount = count;
    for (int ch = 0; ch < kChannels; ++ch) {
        chkDOPowerOnVal(ch).SetVisible(false);
        chkDOSafeVal(ch).SetVisible(false);
    }
    if (count < 1) return false;
    // Channels beyond the module's count are cleared, so that no bit of the
    // slot shown before reaches this slot's masks.
    for (int ch = 0; ch < kChannels; ++ch) {
        const bool shown = ch < count;
        chkDOPowerOnVal(ch).SetVisible(shown);
        chkDOSafeVal(ch).SetVisible(shown);
        chkDOPowerOnVal(ch).SetValue(
            shown && Bit(setting.DO_PowerONValue_Low(slot), setting.DO_PowerONValue_High(slot), ch)
                ? 1
                : 0);
        chkDOSafeVal(ch).SetValue(
            shown && Bit(setting.DO_SafeValue_Low(slot), setting.DO_SafeValue_High(slot), ch) ? 1
                                                                                              : 0);
    }
    const int powerOnMode = setting.PowerOnValueMode(slot, 0);
    const int safeMode = setting.SafeValueMode(slot, 0);
    OptDOPowerOnMode_Click(powerOnMode == 1 ? 1 : 0);
    OptDOSafeValueMode_Click(safeMode == 1 || safeMode == 2 ? safeMode : 0);

    const bool readOnly = DuplexReadOnly(setting, slot);
    if (readOnly) {
        EnableBoxes(chkDOPowerOnVal, false, kChannels);
        EnableBoxes(chkDOSafeVal, false, kChannels);
    } else if (safeMode == 1) {
        EnableBoxes(chkDOPowerOnVal, true, kChannels);
        EnableBoxes(chkDOSafeVal, true, kChannels);
    }
    cmdSetDOConf.SetEnabled(!readOnly);
    cmdCDODefault.SetEnabled(!readOnly);
    for (int i = 0; i <= 2; ++i) OptDOSafeValueMode(i).SetEnabled(!readOnly);
    for (int i = 0; i <= 1; ++i) OptDOPowerOnMode(i).SetEnabled(!readOnly);
    sstDOConf.SetTab(0);
    if (frame_) frame_->ZOrder(0);
    return true;
}

void DigitalOutPage::OptDOPowerOnMode_Click(int index) {
    EnableBoxes(chkDOPowerOnVal, index != 0, ChannelCount());
    OptDOPowerOnMode(index).SetValue(true);
}

void DigitalOutPage::OptDOSafeValueMode_Click(int index) {
    EnableBoxes(chkDOSafeVal, index == 1, ChannelCount());
    OptDOSafeValueMode(index).SetValue(true);
}

void DigitalOutPage::cmdSetDOConf_Click() {
    RunSet(host_, kWords, [this](SlotStore& s) {
        s.Put(&NodeConfig::DO_PowerONValue_Low, Mask(chkDOPowerOnVal, 0));
        s.Put(&NodeConfig::DO_PowerONValue_High, Mask(chkDOPowerOnVal, 16));
        s.Put(&NodeConfig::DO_SafeValue_Low, Mask(chkDOSafeVal, 0));
        s.Put(&NodeConfig::DO_SafeValue_High, Mask(chkDOSafeVal, 16));
        s.Put(&NodeConfig::PowerOnValueMode, 0, SelectedIndex(OptDOPowerOnMode));
        s.Put(&NodeConfig::SafeValueMode, 0, SelectedIndex(OptDOSafeValueMode));
    });
}

void DigitalOutPage::cmdCDODefault_Click() {
    RunDefault(host_, kWords, [this] {
        const int count = ChannelCount();
        if (count < 1) return false;
        sstDOConf.SetTab(0);
        for (int ch = 0; ch < count; ++ch) {
            chkDOSafeVal(ch).SetValue(0);
            chkDOPowerOnVal(ch).SetValue(0);
        }
        OptDOPowerOnMode(0).SetValue(true);
        OptDOSafeValueMode(2).SetValue(true);
        // Already selected buttons raise nothing: the boxes follow the
        // modes all the same.
        OptDOPowerOnMode_Click(0);
        OptDOSafeValueMode_Click(2);
        return true;
    });
}

}  // namespace pages
