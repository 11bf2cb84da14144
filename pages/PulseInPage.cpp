#include "pages/PulseInPage.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "config/NodeConfig.h"
#include "pages/NumericFields.h"
#include "pages/RangeChoice.h"
#include "platform/runtime.h"

namespace pages {

namespace {

const PageWords kWords{"Would you want to modify IOM parameters?", " Set PI IOM ",
                       " configuration error!!",
                       "Would you want to set IOM parameters to default setting?"};

constexpr int16_t kUpCounter = 83;

// Layout in twips.
constexpr int kRowTop = 720, kRowPitch = 420, kRowHeight = 345;
constexpr int kColumnLeft[] = {840, 2460, 3880, 5300};
constexpr int kColumnWidth[] = {1500, 1300, 1350, 1100};

void PlaceList(ui::ComboBox& list, QWidget* area, int column, int row,
               std::initializer_list<const char*> items) {
    list.Create(area, ui::ComboBox::Style::DropdownList);
    list.Move(kColumnLeft[column], kRowTop + row * kRowPitch, kColumnWidth[column], kRowHeight);
    for (const char* item : items) list.AddItem(item);
}

int Index(const ui::ComboBox& list) { return std::max(0, list.ListIndex()); }

}  // namespace

int TwoBits(int32_t word, int channel) { return (word / (1 << (2 * channel))) & 3; }

int32_t ImpedanceWord(double stored) {
    const double r = rt::RoundHalfEven(stored);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        return 0;
    return static_cast<int32_t>(r);
}

void PulseInPage::Create(ui::Frame& frame) {
    frame_ = &frame;
    frame.SetCaption("Configuration (PI)");
    QWidget* area = frame.container();
    const char* const headers[] = {"Input Mode", "Edge Trigger", "Impedance", "LPF Mode"};
    for (int h = 0; h < 4; ++h) {
        lbPIHeader.Load(h).Create(area, headers[h]);
        lbPIHeader(h).Move(kColumnLeft[h], 360, kColumnWidth[h], 300);
    }
    for (int ch = 0; ch < kChannels; ++ch) {
        lbPIChannel.Load(ch).Create(area, "Ch" + std::to_string(ch));
        lbPIChannel(ch).Move(240, kRowTop + ch * kRowPitch + 45, 540, 300);
        PlaceList(cboCPIChannelMode.Load(ch), area, 0, ch, {});
        PlaceList(cboPITrigMode.Load(ch), area, 1, ch, {"Raising", "Falling", "Dual"});
        PlaceList(cboPIImpendance.Load(ch), area, 2, ch,
                  {"NONE", "200 ohm", "500 ohm", "1000 ohm"});
        PlaceList(cboPILPFMode.Load(ch), area, 3, ch, {"Disable", "Enable"});
        cboCPIChannelMode(ch).Click = [this, ch] { cboCPIChannelMode_Click(ch); };
    }
    const int bottom = kRowTop + kChannels * kRowPitch + 120;
    lbPILPFInterval.Create(area, "LPF Interval (us)");
    lbPILPFInterval.Move(240, bottom + 45, 2100, 300);
    txtPILPFInterval.Create(area);
    txtPILPFInterval.Move(kColumnLeft[1], bottom, kColumnWidth[1], kRowHeight);
    txtPILPFInterval.SetToolTipText("Unit: 0.001 ms");
    txtPILPFInterval.GotFocus = [this] { txtPILPFInterval_GotFocus(); };
    txtPILPFInterval.LostFocus = [this] { txtPILPFInterval_LostFocus(); };
    cmdCPISetConf.Create(area, "Set");
    cmdCPISetConf.Move(7920, 600, 1320, 420);
    cmdCPIDefConf.Create(area, "Default");
    cmdCPIDefConf.Move(7920, 1140, 1320, 420);
    cmdCPISetConf.Click = [this] { cmdCPISetConf_Click(); };
    cmdCPIDefConf.Click = [this] { cmdCPIDefConf_Click(); };
}

int PulseInPage::ChannelCount() {
    return PageCount(PageKind::PulseInput, ConfigReal[host_.SelectedNode()], SelSlot, kChannels);
}

bool PulseInPage::Fill(int16_t node, int16_t slot) {
    const NodeConfig& setting = ConfigSetting[node];
    const int count = PageCount(PageKind::PulseInput, ConfigReal[node], slot, kChannels);
    host_.PageChannelCount = static_cast<int16_t>(count);
    if (count < 1) return false;
    const bool editable = !DuplexReadOnly(setting, slot);
    for (int ch = 0; ch < kChannels; ++ch) {
        const bool shown = ch < count;
        for (ui::ComboBox* list : {&cboCPIChannelMode(ch), &cboPITrigMode(ch), &cboPIImpendance(ch),
                                   &cboPILPFMode(ch)}) {
            list->SetVisible(shown);
            list->SetEnabled(editable);
        }
        lbPIChannel(ch).SetVisible(shown);
    }
    txtPILPFInterval.SetEnabled(editable);
    cmdCPISetConf.SetEnabled(editable);
    cmdCPIDefConf.SetEnabled(editable);

    const std::string model = host_.SlotModel(slot);
    const PIConfig& pi = setting.PI(slot);
    const int32_t impedance = ImpedanceWord(pi.Impendance);
    for (int ch = 0; ch < count; ++ch) {
        ShowRangeCode(cboCPIChannelMode(ch), model, setting.RangeCode(slot, ch));
        cboPILPFMode(ch).SetListIndex((pi.LPFMode >> ch & 1) != 0 ? 1 : 0);
        const int edge = TwoBits(pi.EdgeTrig, ch);
        cboPITrigMode(ch).SetListIndex(edge == 3 ? 0 : edge);
        cboPIImpendance(ch).SetListIndex(TwoBits(impedance, ch));
        // The mode's rule greys what a frequency channel does not use.
        cboCPIChannelMode_Click(ch);
    }
    txtPILPFInterval.SetText(rt::CStr(pi.FilterInterval));
    if (frame_) frame_->ZOrder(0);
    return true;
}

void PulseInPage::cboCPIChannelMode_Click(int index) {
    const NodeConfig& setting = ConfigSetting[host_.SelectedNode()];
    if (DuplexReadOnly(setting, SelSlot)) {
        const int count = std::clamp<int>(host_.PageChannelCount, 0, kChannels);
        for (int ch = 0; ch < count; ++ch) {
            cboCPIChannelMode(ch).SetEnabled(false);
            cboPITrigMode(ch).SetEnabled(false);
            cboPILPFMode(ch).SetEnabled(false);
        }
        txtPILPFInterval.SetEnabled(false);
        cmdCPISetConf.SetEnabled(false);
        cmdCPIDefConf.SetEnabled(false);
        return;
    }
    switch (cboCPIChannelMode(index).ListIndex()) {
        case 0:
            cboPITrigMode(index).SetEnabled(false);
            cboPILPFMode(index).SetEnabled(false);
            break;
        case 1:
            cboPITrigMode(index).SetEnabled(true);
            cboPIImpendance(index).SetEnabled(true);
            cboPILPFMode(index).SetEnabled(true);
            break;
        default:
            break;
    }
}

void PulseInPage::txtPILPFInterval_GotFocus() { SelectWholeText(txtPILPFInterval); }

void PulseInPage::txtPILPFInterval_LostFocus() {
    ui::TextBox& box = txtPILPFInterval;
    if (box.Text().empty()) box.SetText("1");
    if (TextVal(box.Text()) > 32767) box.SetText("32767");
    if (TextVal(box.Text()) < 0) box.SetText("1");
}

void PulseInPage::cmdCPISetConf_Click() {
    RunSet(host_, kWords, [this](SlotStore& s) {
        const int16_t slot = s.Slot();
        const std::string model = host_.SlotModel(slot);
        uint8_t lpf = 0;
        int32_t edge = 0, impedance = 0;
        const int count = ChannelCount();
        for (int ch = 0; ch < count; ++ch) {
            s.Put(&NodeConfig::RangeCode, ch, ShownRangeCode(cboCPIChannelMode(ch), model));
            if (cboPILPFMode(ch).ListIndex() == 1) lpf = static_cast<uint8_t>(lpf | 1 << ch);
            edge |= Index(cboPITrigMode(ch)) << (2 * ch);
            impedance |= Index(cboPIImpendance(ch)) << (2 * ch);
        }
        PIConfig& pi = s.Staging().PI(slot);
        const PIConfig& real = s.Real().PI(slot);
        s.Put(pi.FilterInterval, real.FilterInterval, rt::Val(txtPILPFInterval.Text()));
        s.Put(pi.LPFMode, real.LPFMode, lpf);
        s.Put(pi.FreqMode, real.FreqMode, 0);
        s.Put(pi.EdgeTrig, real.EdgeTrig, edge);
        s.Put(pi.Impendance, real.Impendance, static_cast<double>(impedance));
    });
}

void PulseInPage::cmdCPIDefConf_Click() {
    RunDefault(host_, kWords, [this] {
        const int count = ChannelCount();
        const std::string model = host_.SlotModel(SelSlot);
        for (int ch = 0; ch < count; ++ch) {
            ShowRangeCode(cboCPIChannelMode(ch), model, kUpCounter);
            cboCPIChannelMode_Click(ch);
            cboPITrigMode(ch).SetListIndex(0);
            cboPIImpendance(ch).SetListIndex(0);
            cboPILPFMode(ch).SetListIndex(0);
        }
        txtPILPFInterval.SetText("50");
        return count > 0;
    });
}

}  // namespace pages
