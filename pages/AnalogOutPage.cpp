#include "pages/AnalogOutPage.h"

#include <QTabWidget>
#include <exception>

#include "config/Conversions.h"
#include "config/ModuleCatalog.h"
#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "link/Connection.h"
#include "pages/NumericFields.h"
#include "pages/PagesLog.h"
#include "pages/RangeChoice.h"
#include "platform/runtime.h"

namespace pages {

namespace {

const PageWords kWords{"Would you want to modify IOM parameters?", " Set AO IOM ",
                       " configuration error!!",
                       "Would you want to set IOM parameters to default setting?"};

// The four limit pairs of a range code.
struct Limits {
    double LimitLo = 0, LimitHi = 0, RangeLo = 0, RangeHi = 0;
    double RealLo = 0, RealHi = 0, ManuLo = 0, ManuHi = 0;
};
Limits LimitsOf(int16_t code) {
    Limits l;
    GetRealAndRangeAndManuVal(l.LimitLo, l.LimitHi, code, l.RangeHi, l.RangeLo, l.RealHi, l.RealLo,
                              l.ManuHi, l.ManuLo);
    return l;
}
std::string Shown(const Limits& l, int16_t raw) {
    return FieldText(ConvManuValToRealVal(raw, l.RealHi, l.RealLo, l.ManuHi, l.ManuLo));
}
int16_t Raw(const Limits& l, const std::string& text) {
    const float value = static_cast<float>(FieldNumber(text));
    return ConvRealValToManuVal(value, l.RealHi, l.RealLo, l.ManuHi, l.ManuLo);
}
std::string Short(double v) { return rt::Format(v, "####0.0"); }

// Layout in twips: the two sub-frames on one spot, the buttons in a row
// under them. A header label reaches to the next column, which lies as far
// away as the header needs, a blank included.
constexpr int kSubLeft = 120, kSubTop = 240, kSubWidth = 9240, kSubHeight = 4560;
constexpr int kHeaderTop = 120, kRowTop = 480, kRowPitch = 450, kRowHeight = 345;
constexpr int kNameLeft = 100, kNameWidth = 480;
constexpr int kValueLeft[] = {600, 2730, 3930, 4980, 6000, 7080};
constexpr int kValueWidth[] = {2070, 920, 920, 920, 920, 1080};
constexpr int kValueHeader[] = {2130, 1200, 1050, 1020, 1080, 1140};
constexpr int kModeLeft[] = {600, 2340, 4080};
constexpr int kModeWidth = 1500, kModeHeader = 1560;
constexpr int kButtonTop = 4860, kButtonWidth = 1320, kButtonHeight = 390;
constexpr int kButtonLeft[] = {5280, 6660, 8040};

QTabWidget* Tabs(ui::TabStrip& strip) { return static_cast<QTabWidget*>(strip.widget()); }

void PlaceList(ui::ComboBox& list, QWidget* page, int left, int width, int row,
               std::initializer_list<const char*> items) {
    list.Create(page, ui::ComboBox::Style::DropdownList);
    list.Move(left, kRowTop + row * kRowPitch, width, kRowHeight);
    for (const char* item : items) list.AddItem(item);
}

void PlaceHeader(ui::ControlArray<ui::Label>& labels, int index, QWidget* page, int left, int width,
                 const char* caption) {
    labels.Load(index).Create(page, caption);
    labels(index).Move(left, kHeaderTop, width, 300);
}

void PutMode(SlotStore& s, PerChannel<uint8_t> NodeConfig::*field, int ch,
             const ui::ComboBox& list) {
    // A stored mode beyond the list's items shows no choice and is kept.
    if (list.ListIndex() >= 0) s.Put(field, ch, list.ListIndex());
}

}  // namespace

std::string AnalogOutPage::Model() { return host_.SlotModel(SelSlot); }

int AnalogOutPage::ChannelCount() {
    return PageCount(PageKind::AnalogOutput, ConfigReal[host_.SelectedNode()], SelSlot, kChannels);
}

void AnalogOutPage::Create(ui::Frame& frame, ui::Frame& valueFrame) {
    frame_ = &frame;
    value_ = &valueFrame;
    frame.SetCaption("Configuration (AO)");
    QWidget* area = frame.container();
    valueFrame.Move(kSubLeft, kSubTop, kSubWidth, kSubHeight);
    frmCAOConf_Alarm.Create(area, "", false);
    frmCAOConf_Alarm.Move(kSubLeft, kSubTop, kSubWidth, kSubHeight);
    for (ui::TabStrip* strip : {&sstCAOConf, &sstCAOConf_Mode}) {
        strip->Create(strip == &sstCAOConf ? valueFrame.container() : frmCAOConf_Alarm.container());
        strip->Move(60, 60, kSubWidth - 120, kSubHeight - 120);
        strip->AddTab("Ch0~Ch7");
        strip->AddTab("Ch8~Ch15");
    }
    for (int tab = 0; tab < 2; ++tab) {
        QWidget* v = sstCAOConf.Page(tab);
        PlaceHeader(lbCAO_Range, tab, v, kValueLeft[0], kValueHeader[0], "Output Range");
        PlaceHeader(labCAOPowerOn, tab, v, kValueLeft[1], kValueHeader[1], "PowerOn Val");
        PlaceHeader(labCAOSafe, tab, v, kValueLeft[2], kValueHeader[2], "Fault Value");
        PlaceHeader(labCAOLowAlarm, tab, v, kValueLeft[3], kValueHeader[3], "Low Alarm");
        PlaceHeader(labCAOHighAlarm, tab, v, kValueLeft[4], kValueHeader[4], "High Alarm");
        PlaceHeader(lblCAOAlarmMode, tab, v, kValueLeft[5], kValueHeader[5], "Alarm Mode");
        QWidget* m = sstCAOConf_Mode.Page(tab);
        PlaceHeader(labCAOPowerOnMode, tab, m, kModeLeft[0], kModeHeader, "Power On Mode");
        PlaceHeader(labCAOFaultMode, tab, m, kModeLeft[1], kModeHeader, "Fault Mode");
        PlaceHeader(lbCAIS_PreChBreakLineMode, tab + 2, m, kModeLeft[2], kModeHeader,
                    "BreakLine Detect");
    }
    ui::ControlArray<ui::TextBox>* const boxes[] = {&txtCAOPowerOn, &txtCAOSafe, &txtCAOLowAlarm,
                                                    &txtCAOHighAlarm};
    for (int ch = 0; ch < kChannels; ++ch) {
        const int row = ch % 8;
        const std::string name = "Ch" + std::to_string(ch);
        QWidget* v = sstCAOConf.Page(ch / 8);
        lbCAOChannel.Load(ch).Create(v, name);
        lbCAOChannel(ch).Move(kNameLeft, kRowTop + row * kRowPitch + 45, kNameWidth, 300);
        PlaceList(cboCAORangeCode.Load(ch), v, kValueLeft[0], kValueWidth[0], row, {});
        cboCAORangeCode(ch).Click = [this, ch] { cboCAORangeCode_Click(ch); };
        for (int b = 0; b < 4; ++b) {
            ui::TextBox& box = boxes[b]->Load(ch);
            box.Create(v);
            box.Move(kValueLeft[b + 1], kRowTop + row * kRowPitch, kValueWidth[b + 1], kRowHeight);
        }
        PlaceList(cboCAOAlarmMode.Load(ch), v, kValueLeft[5], kValueWidth[5], row,
                  {"Disable", "Enable"});
        QWidget* m = sstCAOConf_Mode.Page(ch / 8);
        lbCAOModeChannel.Load(ch).Create(m, name);
        lbCAOModeChannel(ch).Move(kNameLeft, kRowTop + row * kRowPitch + 45, kNameWidth, 300);
        PlaceList(cboCAOPowerOnMode.Load(ch), m, kModeLeft[0], kModeWidth, row, {"OFF", "Preset"});
        PlaceList(cboCAOFaultMode.Load(ch), m, kModeLeft[1], kModeWidth, row,
                  {"OFF", "Preset", "HOLD"});
        PlaceList(cboCAOPerChBreakLineMode.Load(ch), m, kModeLeft[2], kModeWidth, row,
                  {"Disable", "Enable"});
    }
    using P = AnalogOutPage;
    WireFieldArray(txtCAOPowerOn, this, &P::txtCAOPowerOn_GotFocus, &P::txtCAOPowerOn_KeyPress,
                   &P::txtCAOPowerOn_LostFocus);
    WireFieldArray(txtCAOSafe, this, &P::txtCAOSafe_GotFocus, &P::txtCAOSafe_KeyPress,
                   &P::txtCAOSafe_LostFocus);
    WireFieldArray(txtCAOLowAlarm, this, &P::txtCAOLowAlarm_GotFocus, &P::txtCAOLowAlarm_KeyPress,
                   &P::txtCAOLowAlarm_LostFocus);
    WireFieldArray(txtCAOHighAlarm, this, &P::txtCAOHighAlarm_GotFocus,
                   &P::txtCAOHighAlarm_KeyPress, &P::txtCAOHighAlarm_LostFocus);

    cmdCAOSetConf.Create(area, "Set");
    cmdCAOSetConf.Move(kButtonLeft[0], kButtonTop, kButtonWidth, kButtonHeight);
    cmdCAODefault.Create(area, "Default");
    cmdCAODefault.Move(kButtonLeft[1], kButtonTop, kButtonWidth, kButtonHeight);
    cmdCAOAllConf.Create(area, "Conf.");
    cmdCAOAllConf.Move(kButtonLeft[2], kButtonTop, kButtonWidth, kButtonHeight);
    cmdCAOModeConf.Create(area, "Mode Conf");
    cmdCAOModeConf.Move(kButtonLeft[2], kButtonTop, kButtonWidth, kButtonHeight);
    cmdCAOSetConf.Click = [this] { cmdCAOSetConf_Click(); };
    cmdCAODefault.Click = [this] { cmdCAODefault_Click(); };
    cmdCAOAllConf.Click = [this] { cmdCAOAllConf_Click(); };
    cmdCAOModeConf.Click = [this] { cmdCAOModeConf_Click(); };
}

void AnalogOutPage::ForEachRowControl(int ch, const std::function<void(ui::Control&)>& f) {
    ui::Control* const row[] = {
        &lbCAOChannel(ch),     &cboCAORangeCode(ch),         &txtCAOPowerOn(ch),
        &txtCAOSafe(ch),       &txtCAOLowAlarm(ch),          &txtCAOHighAlarm(ch),
        &lbCAOModeChannel(ch), &cboCAOPowerOnMode(ch),       &cboCAOFaultMode(ch),
        &cboCAOAlarmMode(ch),  &cboCAOPerChBreakLineMode(ch)};
    for (ui::Control* c : row) f(*c);
}

bool AnalogOutPage::Fill(int16_t node, int16_t slot) {
    const NodeConfig& setting = ConfigSetting[node];
    const int n = PageCount(PageKind::AnalogOutput, ConfigReal[node], slot, kChannels);
    host_.PageChannelCount = static_cast<int16_t>(n);
    if (n < 1) return false;
    const std::string model = host_.SlotModel(slot);

    for (ui::TabStrip* strip : {&sstCAOConf, &sstCAOConf_Mode}) {
        Tabs(*strip)->setTabText(
            0, QString::fromStdString("Ch0~Ch" + std::to_string(n <= 8 ? n - 1 : 7)));
        Tabs(*strip)->setTabVisible(1, n > 8);
    }
    for (auto* header : {&lbCAO_Range, &labCAOPowerOn, &labCAOSafe, &labCAOLowAlarm,
                         &labCAOHighAlarm, &labCAOPowerOnMode, &labCAOFaultMode, &lblCAOAlarmMode})
        (*header)(1).SetVisible(n > 8);

    for (int ch = 0; ch < kChannels; ++ch)
        ForEachRowControl(ch, [](ui::Control& c) { c.SetVisible(false); });
    const bool selectable = IsRangeSelectableAO(model);
    for (int ch = 0; ch < n; ++ch) {
        ForEachRowControl(ch, [](ui::Control& c) { c.SetVisible(true); });
        cboCAORangeCode(ch).SetEnabled(selectable);
        const int16_t code = setting.RangeCode(slot, ch);
        ShowRangeCode(cboCAORangeCode(ch), model, code);
        const Limits l = LimitsOf(code);
        txtCAOPowerOn(ch).SetText(Shown(l, setting.PowerOnValue(slot, ch)));
        txtCAOSafe(ch).SetText(Shown(l, setting.SafeValue(slot, ch)));
        txtCAOLowAlarm(ch).SetText(Shown(l, setting.LowAlarmVal(slot, ch)));
        txtCAOHighAlarm(ch).SetText(Shown(l, setting.HighAlarmVal(slot, ch)));
        ShowChoice(cboCAOPowerOnMode(ch), setting.PowerOnValueMode(slot, ch));
        txtCAOPowerOn(ch).SetEnabled(cboCAOPowerOnMode(ch).ListIndex() == 1);
        ShowChoice(cboCAOFaultMode(ch), setting.SafeValueMode(slot, ch));
        txtCAOSafe(ch).SetEnabled(cboCAOFaultMode(ch).ListIndex() == 1);
        cboCAOAlarmMode(ch).SetListIndex((setting.AlarmMode(slot) >> ch & 1) != 0 ? 1 : 0);
        cboCAOPerChBreakLineMode(ch).SetListIndex(
            (setting.CHBreakLineMode(slot) >> ch & 1) != 0 ? 1 : 0);
    }
    const bool editable = !DuplexReadOnly(setting, slot);
    for (int ch = 0; ch < kChannels; ++ch) {
        const bool rangeEnabled = cboCAORangeCode(ch).Enabled();
        ForEachRowControl(ch, [editable](ui::Control& c) { c.SetEnabled(editable); });
        if (editable) cboCAORangeCode(ch).SetEnabled(rangeEnabled);
    }
    cmdCAOSetConf.SetEnabled(editable);
    cmdCAODefault.SetEnabled(editable);
    sstCAOConf.SetTab(0);
    sstCAOConf_Mode.SetTab(0);
    value_->ZOrder(0);
    cmdCAOModeConf.ZOrder(0);
    frame_->ZOrder(0);
    frmCAOConf_Alarm.ZOrder(0);
    cmdCAOAllConf.ZOrder(0);
    return true;
}

void AnalogOutPage::cboCAORangeCode_Click(int index) {
    const Limits l = LimitsOf(ShownRangeCode(cboCAORangeCode(index), Model()));
    txtCAOPowerOn(index).SetText(FieldText(l.RangeLo));
    txtCAOSafe(index).SetText(FieldText(l.RangeLo));
    txtCAOLowAlarm(index).SetText(FieldText(l.LimitLo));
    txtCAOHighAlarm(index).SetText(FieldText(l.LimitHi));
}

void AnalogOutPage::cmdCAOAllConf_Click() {
    const NodeConfig& setting = ConfigSetting[host_.SelectedNode()];
    const bool ownDuplexFlag = SelSlot % 2 == 1 && setting.RedundancyToSlot(SelSlot) == 1;
    const int n = ChannelCount();
    for (int ch = 0; ch < n; ++ch) {
        txtCAOPowerOn(ch).SetEnabled(!ownDuplexFlag && cboCAOPowerOnMode(ch).ListIndex() == 1);
        txtCAOSafe(ch).SetEnabled(!ownDuplexFlag && cboCAOFaultMode(ch).ListIndex() == 1);
    }
    value_->ZOrder(0);
    cmdCAOModeConf.ZOrder(0);
}

void AnalogOutPage::cmdCAOModeConf_Click() {
    frmCAOConf_Alarm.ZOrder(0);
    cmdCAOAllConf.ZOrder(0);
}

void AnalogOutPage::txtCAOPowerOn_GotFocus(int index) { SelectWholeText(txtCAOPowerOn(index)); }
void AnalogOutPage::txtCAOPowerOn_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAOPowerOn, index, keyAscii, ChannelCount());
}
void AnalogOutPage::txtCAOPowerOn_LostFocus(int index) {
    CheckValueBox(txtCAOPowerOn(index), index);
}
void AnalogOutPage::txtCAOSafe_GotFocus(int index) { SelectWholeText(txtCAOSafe(index)); }
void AnalogOutPage::txtCAOSafe_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAOSafe, index, keyAscii, ChannelCount());
}
void AnalogOutPage::txtCAOSafe_LostFocus(int index) { CheckValueBox(txtCAOSafe(index), index); }
void AnalogOutPage::txtCAOLowAlarm_GotFocus(int index) { SelectWholeText(txtCAOLowAlarm(index)); }
void AnalogOutPage::txtCAOLowAlarm_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAOLowAlarm, index, keyAscii, ChannelCount());
}
void AnalogOutPage::txtCAOLowAlarm_LostFocus(int index) { CheckAlarmBox(false, index); }
void AnalogOutPage::txtCAOHighAlarm_GotFocus(int index) { SelectWholeText(txtCAOHighAlarm(index)); }
void AnalogOutPage::txtCAOHighAlarm_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAOHighAlarm, index, keyAscii, ChannelCount());
}
void AnalogOutPage::txtCAOHighAlarm_LostFocus(int index) { CheckAlarmBox(true, index); }

void AnalogOutPage::CheckValueBox(ui::TextBox& box, int index) {
    const ui::ComboBox& range = cboCAORangeCode(index);
    const Limits l = LimitsOf(ShownRangeCode(range, Model()));
    const double v = FieldNumber(box.Text());
    if (box.Text().empty() || v < l.RangeLo || v > l.RangeHi) {
        box.SetText(Short(l.RangeLo));
        DetailSetError("IOM " + std::to_string(SelSlot) + " Range: " + ShownRangeText(range));
    }
    box.SetText(Short(FieldNumber(box.Text())));
}

void AnalogOutPage::CheckAlarmBox(bool high, int index) {
    const int16_t code = ShownRangeCode(cboCAORangeCode(index), Model());
    const Limits l = LimitsOf(code);
    const std::string unit = GetRangeUnitText(code);
    ui::TextBox& box = high ? txtCAOHighAlarm(index) : txtCAOLowAlarm(index);
    const double v = FieldNumber(box.Text());
    const double limit = high ? l.LimitHi : l.LimitLo;
    if (box.Text().empty() || v < l.LimitLo || v > l.LimitHi) {
        box.SetText(Short(limit));
        DetailSetError("IOM " + std::to_string(SelSlot) + " Alarm Val. Range: " +
                       ShortNumber(l.LimitLo) + unit + " ~ " + ShortNumber(l.LimitHi) + unit);
    }
    if (FieldNumber(txtCAOLowAlarm(index).Text()) >= FieldNumber(txtCAOHighAlarm(index).Text())) {
        box.SetText(Short(limit));
        DetailSetError(high ? " The high alarm value must be bigger than the low alarm value."
                            : " The low alarm value must be lower than the high alarm value.");
    }
    box.SetText(Short(FieldNumber(box.Text())));
}

void AnalogOutPage::cmdCAODefault_Click() {
    RunDefault(host_, kWords, [this] {
        try {
            const int16_t node = host_.SelectedNode();
            const std::string model = Model();
            const std::string module = ConfigReal[node].Module(SelSlot);
            const int n = ChannelCount();
            for (int ch = 0; ch < n; ++ch) {
                int16_t code;
                if (IsRangeSelectableAO(module)) {
                    code = DefaultRangeCode(module).value_or(0);
                    ShowRangeCode(cboCAORangeCode(ch), model, code);
                } else {
                    code = ShownRangeCode(cboCAORangeCode(ch), model);
                }
                const Limits l = LimitsOf(code);
                const std::string value = code == 51 || code == 53 ? "0.0" : Short(l.RangeLo);
                txtCAOPowerOn(ch).SetText(value);
                txtCAOSafe(ch).SetText(value);
                txtCAOLowAlarm(ch).SetText(Short(l.LimitLo));
                txtCAOHighAlarm(ch).SetText(Short(l.LimitHi));
                cboCAOPowerOnMode(ch).SetListIndex(0);
                cboCAOFaultMode(ch).SetListIndex(2);
                txtCAOPowerOn(ch).SetEnabled(false);
                txtCAOSafe(ch).SetEnabled(false);
                cboCAOAlarmMode(ch).SetListIndex(0);
                cboCAOPerChBreakLineMode(ch).SetListIndex(1);
            }
        } catch (const std::exception& e) {
            LogPageError("AO page Default", e);
            host_.SetStatusText(nxlink::TimeOfDayText() + " Set CAOXX IOM default value error!!");
        }
        // This page's Default reports no success.
        return false;
    });
}

void AnalogOutPage::cmdCAOSetConf_Click() {
    RunSet(host_, kWords, [this](SlotStore& s) {
        const std::string model = Model();
        const int n = ChannelCount();
        int32_t alarm = 0, breakLine = 0;
        for (int ch = 0; ch < n; ++ch) {
            const int16_t code = ShownRangeCode(cboCAORangeCode(ch), model);
            s.Put(&NodeConfig::RangeCode, ch, code);
            const Limits l = LimitsOf(code);
            s.Put(&NodeConfig::PowerOnValue, ch, Raw(l, txtCAOPowerOn(ch).Text()));
            s.Put(&NodeConfig::SafeValue, ch, Raw(l, txtCAOSafe(ch).Text()));
            s.Put(&NodeConfig::LowAlarmVal, ch, Raw(l, txtCAOLowAlarm(ch).Text()));
            s.Put(&NodeConfig::HighAlarmVal, ch, Raw(l, txtCAOHighAlarm(ch).Text()));
            PutMode(s, &NodeConfig::PowerOnValueMode, ch, cboCAOPowerOnMode(ch));
            PutMode(s, &NodeConfig::SafeValueMode, ch, cboCAOFaultMode(ch));
            if (cboCAOAlarmMode(ch).ListIndex() == 1) alarm |= 1 << ch;
            if (cboCAOPerChBreakLineMode(ch).ListIndex() == 1) breakLine |= 1 << ch;
        }
        s.Put(&NodeConfig::AlarmMode, alarm);
        s.Put(&NodeConfig::CHBreakLineMode, breakLine);
    });
}

}  // namespace pages
