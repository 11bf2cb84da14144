#include "pages/PulseOutPage.h"

#include <algorithm>

#include "config/NodeConfig.h"
#include "pages/NumericFields.h"
#include "pages/RangeChoice.h"
#include "platform/runtime.h"

namespace pages {

namespace {

const PageWords kWords{"Would you want to modify IOM parameters?", " Set PO IOM ",
                       " configuration error!!",
                       "Would you want to set IOM parameters to default setting"};

constexpr int kPWM = 2;

// Layout in twips. Each column is as far from the next as its header needs,
// a blank included, and the header label takes that whole pitch; the last
// header ends kLastHeader after its column's left edge.
constexpr int kHeaderTop = 120, kRowTop = 480, kRowPitch = 450, kRowHeight = 345;
constexpr int kLeft[] = {600, 2085, 3495, 4605, 5655, 6735, 7575};
constexpr int kWidth[] = {1420, 1000, 1000, 1000, 1000, 780, 960};
constexpr int kLastHeader = 990;
const char* const kHeaders[] = {"Output Mode", "BaseTime (ms)", "Cycle Steps", "Duty Steps",
                                "Offset (ms)", "Counter",       "Fault Mode"};

}  // namespace

std::string UnsignedText(int16_t stored) { return std::to_string(static_cast<uint16_t>(stored)); }

int16_t Word16(const std::string& text) {
    double r = rt::RoundHalfEven(FieldNumber(text));
    if (r > 32767 && r <= 65535) r -= 65536;
    return rt::CInt(r);
}

void PulseOutPage::Create(ui::Frame& frame) {
    frame_ = &frame;
    frame.SetCaption("Configuration (PO)");
    QWidget* area = frame.container();
    sstPOConf.Create(area);
    sstPOConf.Move(120, 300, 9240, 4500);
    sstPOConf.AddTab("Ch0~Ch7");
    sstPOConf.AddTab("Ch8~Ch15");
    for (int tab = 0; tab < 2; ++tab) {
        for (int h = 0; h < 7; ++h) {
            ui::Label& l = lbPOHeader.Load(tab * 7 + h);
            l.Create(sstPOConf.Page(tab), kHeaders[h]);
            l.Move(kLeft[h], kHeaderTop, h + 1 < 7 ? kLeft[h + 1] - kLeft[h] : kLastHeader, 300);
        }
    }
    ui::ControlArray<ui::TextBox>* const boxes[] = {&txtPOReferenceTime, &txtPOOutputCycle,
                                                    &txtPODytyCycle, &txtPOOffset, &txtPOCounter};
    for (int ch = 0; ch < kChannels; ++ch) {
        QWidget* page = sstPOConf.Page(ch / 8);
        const int top = kRowTop + (ch % 8) * kRowPitch;
        LabelPO.Load(ch).Create(page, "Ch" + std::to_string(ch));
        LabelPO(ch).Move(100, top + 45, 480, 300);
        ui::ComboBox& mode = cboCPOChannelMode.Load(ch);
        mode.Create(page, ui::ComboBox::Style::DropdownList);
        mode.Move(kLeft[0], top, kWidth[0], kRowHeight);
        mode.Click = [this, ch] { cboCPOChannelMode_Click(ch); };
        for (int b = 0; b < 5; ++b) {
            ui::TextBox& box = boxes[b]->Load(ch);
            box.Create(page);
            box.Move(kLeft[b + 1], top, kWidth[b + 1], kRowHeight);
        }
        ui::ComboBox& fault = cboCPOFaultMode.Load(ch);
        fault.Create(page, ui::ComboBox::Style::DropdownList);
        fault.Move(kLeft[6], top, kWidth[6], kRowHeight);
        fault.AddItem("OFF");
        fault.AddItem("HOLD");
    }
    using P = PulseOutPage;
    WireFieldArray(txtPOReferenceTime, this, &P::txtPOReferenceTime_GotFocus,
                   &P::txtPOReferenceTime_KeyPress, &P::txtPOReferenceTime_LostFocus);
    WireFieldArray(txtPOOutputCycle, this, &P::txtPOOutputCycle_GotFocus,
                   &P::txtPOOutputCycle_KeyPress, &P::txtPOOutputCycle_LostFocus);
    WireFieldArray(txtPODytyCycle, this, &P::txtPODytyCycle_GotFocus, &P::txtPODytyCycle_KeyPress,
                   &P::txtPODytyCycle_LostFocus);
    WireFieldArray(txtPOOffset, this, &P::txtPOOffset_GotFocus, &P::txtPOOffset_KeyPress,
                   &P::txtPOOffset_LostFocus);
    WireFieldArray(txtPOCounter, this, &P::txtPOCounter_GotFocus, &P::txtPOCounter_KeyPress,
                   &P::txtPOCounter_LostFocus);
    cmdCPOSetConf.Create(area, "Set");
    cmdCPOSetConf.Move(6660, 4860, 1320, 390);
    cmdDefCPOSetConf.Create(area, "Default");
    cmdDefCPOSetConf.Move(8040, 4860, 1320, 390);
    cmdCPOSetConf.Click = [this] { cmdCPOSetConf_Click(); };
    cmdDefCPOSetConf.Click = [this] { cmdDefCPOSetConf_Click(); };
}

int PulseOutPage::ChannelCount() {
    return PageCount(PageKind::PulseOutput, ConfigReal[host_.SelectedNode()], SelSlot, kChannels);
}

void PulseOutPage::EnableChannel(int ch, bool enabled) {
    cboCPOChannelMode(ch).SetEnabled(enabled);
    for (ui::ControlArray<ui::TextBox>* boxes :
         {&txtPOReferenceTime, &txtPOOutputCycle, &txtPODytyCycle, &txtPOOffset, &txtPOCounter})
        (*boxes)(ch).SetEnabled(enabled);
    cboCPOFaultMode(ch).SetEnabled(enabled);
}

void PulseOutPage::ApplyModeEnables(int ch) {
    const int m = cboCPOChannelMode(ch).ListIndex();
    for (ui::ControlArray<ui::TextBox>* boxes :
         {&txtPOReferenceTime, &txtPOOutputCycle, &txtPODytyCycle, &txtPOOffset})
        (*boxes)(ch).SetEnabled(m != 0);
    txtPOCounter(ch).SetEnabled(m == kPWM);
}

bool PulseOutPage::Fill(int16_t node, int16_t slot) {
    const NodeConfig& setting = ConfigSetting[node];
    const int count = PageCount(PageKind::PulseOutput, ConfigReal[node], slot, kChannels);
    host_.PageChannelCount = static_cast<int16_t>(count);
    if (count < 1) return false;
    const bool editable = !DuplexReadOnly(setting, slot);
    for (int ch = 0; ch < count; ++ch) EnableChannel(ch, editable);
    cmdCPOSetConf.SetEnabled(editable);
    cmdDefCPOSetConf.SetEnabled(editable);

    const std::string model = host_.SlotModel(slot);
    const POConfig& po = setting.PO(slot);
    for (int ch = 0; ch < count; ++ch) {
        ShowRangeCode(cboCPOChannelMode(ch), model, setting.RangeCode(slot, ch));
        // The record's values, whatever the mode's click wrote.
        txtPOReferenceTime(ch).SetText(UnsignedText(po.RefTime(ch)));
        txtPOOutputCycle(ch).SetText(UnsignedText(po.CyclicSteps(ch)));
        txtPODytyCycle(ch).SetText(UnsignedText(po.DutySteps(ch)));
        txtPOOffset(ch).SetText(std::to_string(po.OffsetTime(ch)));
        txtPOCounter(ch).SetText(UnsignedText(po.PWMCount(ch)));
        cboCPOFaultMode(ch).SetListIndex(setting.SafeValueMode(slot, ch) == 2 ? 1 : 0);
        if (editable) ApplyModeEnables(ch);
    }
    if (frame_) frame_->ZOrder(0);
    return true;
}

void PulseOutPage::txtPOReferenceTime_GotFocus(int index) {
    SelectWholeText(txtPOReferenceTime(index));
}
void PulseOutPage::txtPOReferenceTime_KeyPress(int, int& keyAscii) {
    keyAscii = UnsignedKey(keyAscii);
}
void PulseOutPage::txtPOReferenceTime_LostFocus(int index) {
    ClampPulseField(PulseField::ReferenceTime, txtPOReferenceTime(index), nullptr);
}
void PulseOutPage::txtPOOutputCycle_GotFocus(int index) {
    SelectWholeText(txtPOOutputCycle(index));
}
void PulseOutPage::txtPOOutputCycle_KeyPress(int, int& keyAscii) {
    keyAscii = UnsignedKey(keyAscii);
}
void PulseOutPage::txtPOOutputCycle_LostFocus(int index) {
    ClampPulseField(PulseField::OutputCycle, txtPOOutputCycle(index), &txtPOReferenceTime(index));
}
void PulseOutPage::txtPODytyCycle_GotFocus(int index) { SelectWholeText(txtPODytyCycle(index)); }
void PulseOutPage::txtPODytyCycle_KeyPress(int, int& keyAscii) { keyAscii = UnsignedKey(keyAscii); }
void PulseOutPage::txtPODytyCycle_LostFocus(int index) {
    ClampPulseField(PulseField::DutyCycle, txtPODytyCycle(index), &txtPOOutputCycle(index));
}
void PulseOutPage::txtPOOffset_GotFocus(int index) { SelectWholeText(txtPOOffset(index)); }
void PulseOutPage::txtPOOffset_KeyPress(int, int& keyAscii) { keyAscii = UnsignedKey(keyAscii); }
void PulseOutPage::txtPOOffset_LostFocus(int index) {
    ClampPulseField(PulseField::Offset, txtPOOffset(index), nullptr);
}
void PulseOutPage::txtPOCounter_GotFocus(int index) { SelectWholeText(txtPOCounter(index)); }
void PulseOutPage::txtPOCounter_KeyPress(int, int& keyAscii) { keyAscii = UnsignedKey(keyAscii); }
void PulseOutPage::txtPOCounter_LostFocus(int index) {
    ClampPulseField(PulseField::Counter, txtPOCounter(index), nullptr);
}

void PulseOutPage::cboCPOChannelMode_Click(int index) {
    if (DuplexReadOnly(ConfigSetting[host_.SelectedNode()], SelSlot)) {
        const int count = std::clamp<int>(host_.PageChannelCount, 0, kChannels);
        for (int ch = 0; ch < count; ++ch) EnableChannel(ch, false);
        cmdCPOSetConf.SetEnabled(false);
        cmdDefCPOSetConf.SetEnabled(false);
        return;
    }
    if (cboCPOChannelMode(index).ListIndex() != kPWM) txtPOCounter(index).SetText("0");
    ApplyModeEnables(index);
}

void PulseOutPage::cmdCPOSetConf_Click() {
    RunSet(host_, kWords, [this](SlotStore& s) {
        const int16_t slot = s.Slot();
        const std::string model = host_.SlotModel(slot);
        POConfig& po = s.Staging().PO(slot);
        const POConfig& real = s.Real().PO(slot);
        const int count = ChannelCount();
        for (int ch = 0; ch < count; ++ch) {
            s.Put(&NodeConfig::RangeCode, ch, ShownRangeCode(cboCPOChannelMode(ch), model));
            s.Put(po.RefTime(ch), real.RefTime(ch), Word16(txtPOReferenceTime(ch).Text()));
            s.Put(po.CyclicSteps(ch), real.CyclicSteps(ch), Word16(txtPOOutputCycle(ch).Text()));
            s.Put(po.DutySteps(ch), real.DutySteps(ch), Word16(txtPODytyCycle(ch).Text()));
            s.Put(po.PWMCount(ch), real.PWMCount(ch), Word16(txtPOCounter(ch).Text()));
            s.Put(po.OffsetTime(ch), real.OffsetTime(ch),
                  rt::CLng(FieldNumber(txtPOOffset(ch).Text())));
            s.Put(&NodeConfig::SafeValueMode, ch, cboCPOFaultMode(ch).ListIndex() == 1 ? 2 : 0);
        }
    });
}

void PulseOutPage::cmdDefCPOSetConf_Click() {
    RunDefault(host_, kWords, [this] {
        const int count = ChannelCount();
        for (int ch = 0; ch < count; ++ch) {
            cboCPOChannelMode(ch).SetListIndex(0);
            cboCPOChannelMode_Click(ch);
            txtPOReferenceTime(ch).SetText("20");
            txtPOOutputCycle(ch).SetText("2");
            txtPODytyCycle(ch).SetText("0");
            txtPOOffset(ch).SetText("0");
            txtPOCounter(ch).SetText("0");
            cboCPOFaultMode(ch).SetListIndex(1);
        }
        // This page's Default reports nothing.
        return false;
    });
}

}  // namespace pages
