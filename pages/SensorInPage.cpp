#include "pages/SensorInPage.h"

#include <array>

#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "pages/ChannelRows.h"
#include "pages/NumericFields.h"
#include "pages/RangeComboAdapter.h"

namespace pages {

namespace {

PageWords Words() {
    PageWords w;
    w.setWord = " Set Sensor IOM ";
    w.errorLine = [](int16_t) { return std::string(" Set Sensor IOM configuration error!!"); };
    return w;
}

// Value sub-page columns in twips: channel, range, scale low, scale high,
// low alarm, high alarm, alarm mode. Each header leaves at least a blank
// before the next one.
constexpr int kColLeft[] = {60, 600, 3900, 4920, 5970, 6990, 8070};
constexpr int kColWidth[] = {480, 3240, 960, 960, 960, 960, 1080};
constexpr int kRowHeight = 330;

void PlaceHeadings(ui::ControlArray<ui::Label>& labels, ui::TabStrip& tabs, int left, int width,
                   const char* caption) {
    for (int i = 0; i <= 1; ++i) {
        ui::Label& l = labels.Load(i);
        l.Create(tabs.Page(i), caption);
        l.Move(left, 120, width + 60, 270);
    }
}

ui::TextBox& PlaceBox(ui::ControlArray<ui::TextBox>& boxes, int ch, QWidget* page, int column) {
    ui::TextBox& b = boxes.Load(ch);
    b.Create(page);
    b.Move(kColLeft[column], RowTop(ch), kColWidth[column], kRowHeight);
    return b;
}

ui::ComboBox& PlaceChoice(ui::ComboBox& combo, QWidget* parent, int left, int top, int width,
                          std::initializer_list<const char*> items) {
    combo.Create(parent);
    combo.Move(left, top, width, kRowHeight);
    for (const char* item : items) combo.AddItem(item);
    return combo;
}

bool OutsideOf(const ui::TextBox& box, double lo, double hi) {
    const double v = FieldNumber(box.Text());
    return box.Text().empty() || v < lo || v > hi;
}

void Reformat(ui::TextBox& box) { box.SetText(FieldText(FieldNumber(box.Text()))); }

std::string SlotText() { return std::to_string(SelSlot); }

}  // namespace

void SensorInPage::Create(ui::Frame& frame) {
    frame_ = &frame;
    frame.SetCaption("Configuration (TC/RTD)");
    QWidget* area = frame.container();
    frmCAIS_Mode.Create(area, "", false);
    frmCAIS_Mode.Move(60, 240, 9360, 4560);
    frmCAIS_Value.Create(area, "", false);
    frmCAIS_Value.Move(60, 240, 9360, 4560);

    sstCAISConf.Create(frmCAIS_Value.container());
    sstCAISConf.Move(60, 60, 9240, 4440);
    sstCAISConf_Mode.Create(frmCAIS_Mode.container());
    sstCAISConf_Mode.Move(60, 60, 3600, 4440);
    for (ui::TabStrip* tabs : {&sstCAISConf, &sstCAISConf_Mode}) {
        tabs->AddTab("Ch0~Ch7");
        tabs->AddTab("Ch8~Ch15");
    }
    PlaceHeadings(lbCAIS_Range, sstCAISConf, kColLeft[1], kColWidth[1], "Input Range");
    PlaceHeadings(lbCAISScaleLowRange, sstCAISConf, kColLeft[2], kColWidth[2], "Scale_Low");
    PlaceHeadings(lbCAISScaleHighRange, sstCAISConf, kColLeft[3], kColWidth[3], "Scale_High");
    PlaceHeadings(labCAISLowAlarm, sstCAISConf, kColLeft[4], kColWidth[4], "Low Alarm");
    PlaceHeadings(labCAISHighAlarm, sstCAISConf, kColLeft[5], kColWidth[5], "High Alarm");
    PlaceHeadings(lblCAISAlarmMode, sstCAISConf, kColLeft[6], kColWidth[6], "Alarm Mode");
    PlaceHeadings(lbCAIS_PreChBreakLineMode, sstCAISConf_Mode, 600, 1800, "BreakLine Detect");

    for (int ch = 0; ch < kRowChannels; ++ch) {
        QWidget* page = RowPage(sstCAISConf, ch);
        const int top = RowTop(ch);
        ui::Label& name = lbCAISChannel.Load(ch);
        name.Create(page, "Ch" + std::to_string(ch));
        name.Move(kColLeft[0], top + 45, kColWidth[0], 270);
        PlaceChoice(cboCAISRangeCode.Load(ch), page, kColLeft[1], top, kColWidth[1], {});
        cboCAISRangeCode(ch).Click = [this, ch] { cboCAISRangeCode_Click(ch); };
        PlaceBox(txtCAISScaleLowRange, ch, page, 2);
        PlaceBox(txtCAISScaleHighRange, ch, page, 3);
        PlaceBox(txtCAISLowAlarm, ch, page, 4);
        PlaceBox(txtCAISHighAlarm, ch, page, 5);
        PlaceChoice(cboCAISAlarmMode.Load(ch), page, kColLeft[6], top, kColWidth[6],
                    {"Disable", "Enable"});

        QWidget* modePage = RowPage(sstCAISConf_Mode, ch);
        ui::Label& modeName = lbCAISChannel_Mode.Load(ch);
        modeName.Create(modePage, "Ch" + std::to_string(ch));
        modeName.Move(60, top + 45, 480, 270);
        PlaceChoice(cboCAISPerChBreakLineMode.Load(ch), modePage, 600, top, 1800,
                    {"Disable", "Enable"});
    }
    using P = SensorInPage;
    WireFieldArray(txtCAISScaleLowRange, this, &P::txtCAISScaleLowRange_GotFocus,
                   &P::txtCAISScaleLowRange_KeyPress, &P::txtCAISScaleLowRange_LostFocus);
    WireFieldArray(txtCAISScaleHighRange, this, &P::txtCAISScaleHighRange_GotFocus,
                   &P::txtCAISScaleHighRange_KeyPress, &P::txtCAISScaleHighRange_LostFocus);
    WireFieldArray(txtCAISLowAlarm, this, &P::txtCAISLowAlarm_GotFocus,
                   &P::txtCAISLowAlarm_KeyPress, &P::txtCAISLowAlarm_LostFocus);
    WireFieldArray(txtCAISHighAlarm, this, &P::txtCAISHighAlarm_GotFocus,
                   &P::txtCAISHighAlarm_KeyPress, &P::txtCAISHighAlarm_LostFocus);

    frmCJCSetting.Create(frmCAIS_Mode.container(), "");
    frmCJCSetting.Move(3840, 360, 3600, 1380);
    QWidget* cjc = frmCJCSetting.container();
    LblCJC.Create(cjc, "CJC");
    LblCJC.Move(180, 375, 1500, 270);
    PlaceChoice(cboCJCSetting, cjc, 1800, 330, 1500, {"Disable", "Enable"});
    LblTransformer.Create(cjc, "Filter Bandwidth");
    LblTransformer.Move(180, 855, 1500, 270);
    PlaceChoice(cboTransformerSetting, cjc, 1800, 810, 1500, {"50 Hz", "60 Hz"});

    cmdCAISSetConf.Create(area, "Set");
    // The buttons lie in a row under the sub-pages.
    cmdCAISSetConf.Move(5280, 4860, 1320, 390);
    cmdCAISDefault.Create(area, "Default");
    cmdCAISDefault.Move(6660, 4860, 1320, 390);
    cmdSensorValueSetting.Create(area, "Conf.");
    cmdSensorValueSetting.Move(8040, 4860, 1320, 390);
    cmdSensorModeSetting.Create(area, "Mode Conf");
    cmdSensorModeSetting.Move(8040, 4860, 1320, 390);
    cmdCAISSetConf.Click = [this] { cmdCAISSetConf_Click(); };
    cmdCAISDefault.Click = [this] { cmdCAISDefault_Click(); };
    cmdSensorModeSetting.Click = [this] { cmdSensorModeSetting_Click(); };
    cmdSensorValueSetting.Click = [this] { cmdSensorValueSetting_Click(); };
}

int SensorInPage::ChannelCount() {
    return PageCount(PageKind::SensorInput, ConfigReal[host_.SelectedNode()], SelSlot,
                     kRowChannels);
}

std::string SensorInPage::Model() { return host_.SlotModel(SelSlot); }

std::array<ui::Control*, 9> SensorInPage::RowControls(int ch) {
    return {&lbCAISChannel(ch),         &cboCAISRangeCode(ch),   &txtCAISScaleLowRange(ch),
            &txtCAISScaleHighRange(ch), &txtCAISLowAlarm(ch),    &txtCAISHighAlarm(ch),
            &cboCAISAlarmMode(ch),      &lbCAISChannel_Mode(ch), &cboCAISPerChBreakLineMode(ch)};
}

void SensorInPage::ShowRow(int ch, bool shown) {
    for (ui::Control* c : RowControls(ch)) c->SetVisible(shown);
}

void SensorInPage::EnableRow(int ch, bool enabled) {
    for (ui::Control* c : RowControls(ch)) c->SetEnabled(enabled);
}

void SensorInPage::ShowLimits(int ch, int16_t code) {
    const RangeSpans spans = SpansOf(code);
    txtCAISScaleLowRange(ch).SetText(FieldText(spans.RangeLo));
    txtCAISScaleHighRange(ch).SetText(FieldText(spans.RangeHi));
    txtCAISLowAlarm(ch).SetText(FieldText(spans.LimitLo));
    txtCAISHighAlarm(ch).SetText(FieldText(spans.LimitHi));
}

bool SensorInPage::Fill(int16_t node, int16_t slot) {
    const NodeConfig& real = ConfigReal[node];
    NodeConfig& setting = ConfigSetting[node];
    const int count = PageCount(PageKind::SensorInput, real, slot, kRowChannels);
    host_.PageChannelCount = static_cast<int16_t>(count);
    for (int ch = 0; ch < kRowChannels; ++ch) ShowRow(ch, false);
    if (count < 1) return false;
    ShowChannelTabs(sstCAISConf, count);
    ShowChannelTabs(sstCAISConf_Mode, count);
    const bool two = count > kRowsPerTab;
    for (auto* headings : {&lbCAIS_Range, &lbCAISScaleLowRange, &lbCAISScaleHighRange,
                           &labCAISLowAlarm, &labCAISHighAlarm, &lbCAIS_PreChBreakLineMode}) {
        (*headings)(0).SetVisible(true);
        (*headings)(1).SetVisible(two);
    }
    // With two tabs the alarm mode column goes without its heading.
    lblCAISAlarmMode(0).SetVisible(!two);
    lblCAISAlarmMode(1).SetVisible(false);

    const bool editable = !DuplexReadOnly(setting, slot);
    for (int ch = 0; ch < kRowChannels; ++ch) EnableRow(ch, editable);
    cmdCAISSetConf.SetEnabled(editable);
    cmdCAISDefault.SetEnabled(editable);
    cboCJCSetting.SetEnabled(editable);
    cboTransformerSetting.SetEnabled(editable);
    frmCJCSetting.SetEnabled(editable);

    const std::string model = host_.SlotModel(slot);
    for (int ch = 0; ch < count; ++ch) {
        ShowRow(ch, true);
        const int16_t code = setting.RangeCode(slot, ch);
        // Selecting the range fills the boxes with its limits; the stored
        // values are written over them.
        ShowRangeCode(model, cboCAISRangeCode(ch), code);
        const RangeSpans spans = SpansOf(code);
        txtCAISScaleLowRange(ch).SetText(EngineeringText(setting.UserDefLRange(slot, ch), spans));
        txtCAISScaleHighRange(ch).SetText(EngineeringText(setting.UserDefHRange(slot, ch), spans));
        txtCAISLowAlarm(ch).SetText(EngineeringText(setting.LowAlarmVal(slot, ch), spans));
        txtCAISHighAlarm(ch).SetText(EngineeringText(setting.HighAlarmVal(slot, ch), spans));
        cboCAISAlarmMode(ch).SetListIndex((setting.AlarmMode(slot) >> ch) & 1);
        cboCAISPerChBreakLineMode(ch).SetListIndex((setting.CHBreakLineMode(slot) >> ch) & 1);
    }
    if (frame_) frame_->ZOrder(0);
    frmCAIS_Value.ZOrder(0);
    sstCAISConf.SetTab(0);

    cmdSensorModeSetting.SetVisible(true);
    cmdSensorValueSetting.SetVisible(true);
    cmdSensorModeSetting.ZOrder(0);
    if (model == "KB-540" || model == "KA-340" || model == "KA-330") {
        cboCJCSetting.SetListIndex(setting.CJCSetting(slot) == 1 ? 1 : 0);
        // Thermocouple modules always run their digital filter.
        setting.AIDigitalFilterMode(slot) = 1;
        cboTransformerSetting.SetListIndex(setting.MainsFrequency(slot) == 50 ? 0 : 1);
        frmCJCSetting.SetVisible(true);
        frmCJCSetting.ZOrder(0);
    } else {
        cboCJCSetting.SetListIndex(0);
        cboTransformerSetting.SetListIndex(0);
        frmCJCSetting.SetVisible(false);
    }
    return true;
}

void SensorInPage::cmdSensorModeSetting_Click() {
    frmCAIS_Mode.ZOrder(0);
    cmdSensorValueSetting.ZOrder(0);
}

void SensorInPage::cmdSensorValueSetting_Click() {
    frmCAIS_Value.ZOrder(0);
    cmdSensorModeSetting.ZOrder(0);
}

void SensorInPage::cboCAISRangeCode_Click(int index) {
    ShowLimits(index, GetRangeCodeByName(Model(), cboCAISRangeCode(index).Text()));
}

void SensorInPage::txtCAISScaleLowRange_GotFocus(int index) {
    SelectWholeText(txtCAISScaleLowRange(index));
}
void SensorInPage::txtCAISScaleLowRange_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAISScaleLowRange, index, keyAscii, ChannelCount());
}
void SensorInPage::txtCAISScaleHighRange_GotFocus(int index) {
    SelectWholeText(txtCAISScaleHighRange(index));
}
void SensorInPage::txtCAISScaleHighRange_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAISScaleHighRange, index, keyAscii, ChannelCount());
}
void SensorInPage::txtCAISLowAlarm_GotFocus(int index) { SelectWholeText(txtCAISLowAlarm(index)); }
void SensorInPage::txtCAISLowAlarm_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAISLowAlarm, index, keyAscii, ChannelCount());
}
void SensorInPage::txtCAISHighAlarm_GotFocus(int index) {
    SelectWholeText(txtCAISHighAlarm(index));
}
void SensorInPage::txtCAISHighAlarm_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAISHighAlarm, index, keyAscii, ChannelCount());
}

void SensorInPage::txtCAISScaleLowRange_LostFocus(int index) {
    const RangeSpans spans = SpansOf(GetRangeCodeByName(Model(), cboCAISRangeCode(index).Text()));
    ui::TextBox& low = txtCAISScaleLowRange(index);
    const std::string message = "IOM " + SlotText() + " Range: " + cboCAISRangeCode(index).Text();
    if (OutsideOf(low, spans.RealLo, spans.RealHi)) {
        low.SetText(FieldText(spans.RangeLo));
        DetailSetError(message);
    }
    if (FieldNumber(low.Text()) >= FieldNumber(txtCAISScaleHighRange(index).Text())) {
        low.SetText(FieldText(spans.RangeLo));
        DetailSetError(message);
    }
    Reformat(low);
    if (FieldNumber(low.Text()) > FieldNumber(txtCAISLowAlarm(index).Text()))
        txtCAISLowAlarm(index).SetText(low.Text());
}

void SensorInPage::txtCAISScaleHighRange_LostFocus(int index) {
    const RangeSpans spans = SpansOf(GetRangeCodeByName(Model(), cboCAISRangeCode(index).Text()));
    ui::TextBox& high = txtCAISScaleHighRange(index);
    const std::string message = "IOM " + SlotText() + " Range: " + cboCAISRangeCode(index).Text();
    if (OutsideOf(high, spans.RealLo, spans.RealHi)) {
        high.SetText(FieldText(spans.RangeHi));
        DetailSetError(message);
    }
    if (FieldNumber(txtCAISScaleLowRange(index).Text()) >= FieldNumber(high.Text())) {
        high.SetText(FieldText(spans.RangeHi));
        DetailSetError(message);
    }
    Reformat(high);
    if (FieldNumber(high.Text()) < FieldNumber(txtCAISHighAlarm(index).Text()))
        txtCAISHighAlarm(index).SetText(high.Text());
}

void SensorInPage::txtCAISLowAlarm_LostFocus(int index) {
    const ui::TextBox& scaleLow = txtCAISScaleLowRange(index);
    const ui::TextBox& scaleHigh = txtCAISScaleHighRange(index);
    ui::TextBox& low = txtCAISLowAlarm(index);
    if (OutsideOf(low, FieldNumber(scaleLow.Text()), FieldNumber(scaleHigh.Text()))) {
        DetailSetError("IOM " + SlotText() + " Scale Range: " + scaleLow.Text() + " ~ " +
                       scaleHigh.Text());
        low.SetText(scaleLow.Text());
    }
    if (FieldNumber(low.Text()) >= FieldNumber(txtCAISHighAlarm(index).Text())) {
        DetailSetError("The low alarm value must lower than high alarm value");
        low.SetText(scaleLow.Text());
    }
    Reformat(low);
}

void SensorInPage::txtCAISHighAlarm_LostFocus(int index) {
    const ui::TextBox& scaleLow = txtCAISScaleLowRange(index);
    const ui::TextBox& scaleHigh = txtCAISScaleHighRange(index);
    ui::TextBox& high = txtCAISHighAlarm(index);
    if (OutsideOf(high, FieldNumber(scaleLow.Text()), FieldNumber(scaleHigh.Text()))) {
        DetailSetError("IOM " + SlotText() + " Scale Range: " + scaleLow.Text() + " ~ " +
                       scaleHigh.Text());
        high.SetText(scaleHigh.Text());
    }
    if (FieldNumber(txtCAISLowAlarm(index).Text()) >= FieldNumber(high.Text())) {
        DetailSetError("The high alarm value must bigger than low alarm value");
        high.SetText(scaleHigh.Text());
    }
    Reformat(high);
}

void SensorInPage::cmdCAISSetConf_Click() {
    static const PageWords words = Words();
    RunSet(host_, words, [this](SlotStore& s) {
        const int count = ChannelCount();
        if (count < 1) return;
        const int16_t slot = s.Slot();
        NodeConfig& n = s.Staging();
        const std::string model = Model();
        int32_t alarms = 0, breakLines = 0;
        for (int ch = 0; ch < count; ++ch) {
            const int16_t code = GetRangeCodeByName(model, cboCAISRangeCode(ch).Text());
            s.Put(&NodeConfig::RangeCode, ch, code);
            const RangeSpans spans = SpansOf(code);
            s.Put(&NodeConfig::UserDefLRange, ch,
                  RawCount(txtCAISScaleLowRange(ch).Text(), spans, n.UserDefLRange(slot, ch)));
            s.Put(&NodeConfig::UserDefHRange, ch,
                  RawCount(txtCAISScaleHighRange(ch).Text(), spans, n.UserDefHRange(slot, ch)));
            s.Put(&NodeConfig::LowAlarmVal, ch,
                  RawCount(txtCAISLowAlarm(ch).Text(), spans, n.LowAlarmVal(slot, ch)));
            s.Put(&NodeConfig::HighAlarmVal, ch,
                  RawCount(txtCAISHighAlarm(ch).Text(), spans, n.HighAlarmVal(slot, ch)));
            if (cboCAISAlarmMode(ch).ListIndex() == 1) alarms |= int32_t{1} << ch;
            if (cboCAISPerChBreakLineMode(ch).ListIndex() == 1) breakLines |= int32_t{1} << ch;
        }
        s.Put(&NodeConfig::AlarmMode, alarms);
        s.Put(&NodeConfig::CHBreakLineMode, breakLines);
        s.Put(&NodeConfig::CJCSetting, cboCJCSetting.ListIndex() == 1 ? 1 : 0);
        // Stored for every sensor module, not compared.
        n.AIDigitalFilterMode(slot) = 1;
        s.Put(&NodeConfig::MainsFrequency, cboTransformerSetting.ListIndex() == 0 ? 50 : 60);
    });
}

void SensorInPage::cmdCAISDefault_Click() {
    static const PageWords words = Words();
    RunDefault(host_, words, [this] {
        const int count = ChannelCount();
        if (count < 1) return false;
        const std::string& module = ConfigReal[host_.SelectedNode()].Module(SelSlot);
        // "KA-330" resets to K type like the other thermocouple modules.
        const int16_t code = module == "KA-330" ? 15 : DefaultRangeCode(module).value_or(0);
        const std::string model = Model();
        for (int ch = 0; ch < count; ++ch) {
            ShowRangeCode(model, cboCAISRangeCode(ch), code);
            ShowLimits(ch, code);
            cboCAISAlarmMode(ch).SetListIndex(0);
            cboCAISPerChBreakLineMode(ch).SetListIndex(1);
        }
        cboCJCSetting.SetListIndex(1);
        cboTransformerSetting.SetListIndex(0);
        return true;
    });
}

}  // namespace pages
