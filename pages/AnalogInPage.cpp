#include "pages/AnalogInPage.h"

#include <string>

#include "config/NodeConfig.h"
#include "config/RangeCodes.h"
#include "pages/ChannelRows.h"
#include "pages/NumericFields.h"
#include "pages/RangeComboAdapter.h"

namespace pages {

namespace {

PageWords Words() {
    PageWords w;
    w.setWord = " Set IOM ";
    w.errorLine = [](int16_t slot) {
        return " Set AI IOM " + std::to_string(slot) + " configuration error!!";
    };
    return w;
}

// Columns in twips: channel, range, low alarm, high alarm, alarm mode.
constexpr int kColLeft[] = {120, 720, 3360, 4680, 6000};
constexpr int kColWidth[] = {540, 2520, 1200, 1200, 1320};
constexpr int kRowHeight = 330;

void PlaceHeadings(ui::ControlArray<ui::Label>& labels, ui::TabStrip& tabs, int column,
                   const char* caption) {
    for (int i = 0; i <= 1; ++i) {
        ui::Label& l = labels.Load(i);
        l.Create(tabs.Page(i), caption);
        l.Move(kColLeft[column], 120, kColWidth[column], 270);
    }
}

void FillChoices(ui::ComboBox& combo, std::initializer_list<const char*> items) {
    for (const char* item : items) combo.AddItem(item);
}

}  // namespace

void AnalogInPage::Create(ui::Frame& frame) {
    frame_ = &frame;
    frame.SetCaption("Configuration (AI)");
    QWidget* area = frame.container();
    sstCAIConf.Create(area);
    sstCAIConf.Move(120, 300, 7560, 4920);
    sstCAIConf.AddTab("Ch0~Ch7");
    sstCAIConf.AddTab("Ch8~Ch15");
    PlaceHeadings(lbCAI_Range, sstCAIConf, 1, "Input Range");
    PlaceHeadings(labCAILowAlarm, sstCAIConf, 2, "Low Alarm");
    PlaceHeadings(labCAIHighAlarm, sstCAIConf, 3, "High Alarm");
    PlaceHeadings(lblCAIAlarmMode, sstCAIConf, 4, "Alarm Mode");
    for (int ch = 0; ch < kRowChannels; ++ch) {
        QWidget* page = RowPage(sstCAIConf, ch);
        const int top = RowTop(ch);
        ui::Label& name = lbCAIChannel.Load(ch);
        name.Create(page, "Ch" + std::to_string(ch));
        name.Move(kColLeft[0], top + 45, kColWidth[0], 270);
        ui::ComboBox& range = cboCAIRangeCode.Load(ch);
        range.Create(page);
        range.Move(kColLeft[1], top, kColWidth[1], kRowHeight);
        ui::TextBox& low = txtCAILowAlarm.Load(ch);
        low.Create(page);
        low.Move(kColLeft[2], top, kColWidth[2], kRowHeight);
        ui::TextBox& high = txtCAIHighAlarm.Load(ch);
        high.Create(page);
        high.Move(kColLeft[3], top, kColWidth[3], kRowHeight);
        ui::ComboBox& mode = cboCAIAlarmMode.Load(ch);
        mode.Create(page);
        mode.Move(kColLeft[4], top, kColWidth[4], kRowHeight);
        FillChoices(mode, {"Disable", "Enable"});
    }
    WireFieldArray(txtCAILowAlarm, this, &AnalogInPage::txtCAILowAlarm_GotFocus,
                   &AnalogInPage::txtCAILowAlarm_KeyPress, &AnalogInPage::txtCAILowAlarm_LostFocus);
    WireFieldArray(txtCAIHighAlarm, this, &AnalogInPage::txtCAIHighAlarm_GotFocus,
                   &AnalogInPage::txtCAIHighAlarm_KeyPress,
                   &AnalogInPage::txtCAIHighAlarm_LostFocus);
    cmdCAISetConf.Create(area, "Set");
    cmdCAISetConf.Move(7920, 600, 1320, 420);
    cmdCAIDefault.Create(area, "Default");
    cmdCAIDefault.Move(7920, 1140, 1320, 420);
    lblCAIFilterMode.Create(area, "FilterMode");
    lblCAIFilterMode.Move(7920, 1800, 1320, 270);
    cboCAIFilterMode.Create(area);
    cboCAIFilterMode.Move(7920, 2100, 1320, kRowHeight);
    FillChoices(cboCAIFilterMode, {"Disable", "Enable"});
    lblCAIFilterMode.SetVisible(false);
    cboCAIFilterMode.SetVisible(false);
    cmdCAISetConf.Click = [this] { cmdCAISetConf_Click(); };
    cmdCAIDefault.Click = [this] { cmdCAIDefault_Click(); };
}

int AnalogInPage::ChannelCount() {
    return PageCount(PageKind::AnalogInput, ConfigReal[host_.SelectedNode()], SelSlot,
                     kRowChannels);
}

void AnalogInPage::ShowRow(int ch, bool shown) {
    lbCAIChannel(ch).SetVisible(shown);
    cboCAIRangeCode(ch).SetVisible(shown);
    txtCAILowAlarm(ch).SetVisible(shown);
    txtCAIHighAlarm(ch).SetVisible(shown);
    cboCAIAlarmMode(ch).SetVisible(shown);
}

void AnalogInPage::EnableControls(bool enabled) {
    for (int ch = 0; ch < kRowChannels; ++ch) {
        lbCAIChannel(ch).SetEnabled(enabled);
        cboCAIRangeCode(ch).SetEnabled(enabled);
        txtCAILowAlarm(ch).SetEnabled(enabled);
        txtCAIHighAlarm(ch).SetEnabled(enabled);
        cboCAIAlarmMode(ch).SetEnabled(enabled);
    }
    lblCAIFilterMode.SetEnabled(enabled);
    cboCAIFilterMode.SetEnabled(enabled);
    cmdCAISetConf.SetEnabled(enabled);
    cmdCAIDefault.SetEnabled(enabled);
}

bool AnalogInPage::Fill(int16_t node, int16_t slot) {
    const NodeConfig& real = ConfigReal[node];
    const NodeConfig& setting = ConfigSetting[node];
    const int count = PageCount(PageKind::AnalogInput, real, slot, kRowChannels);
    host_.PageChannelCount = static_cast<int16_t>(count);
    for (int ch = 0; ch < kRowChannels; ++ch) ShowRow(ch, false);
    if (count < 1) return false;
    ShowChannelTabs(sstCAIConf, count);
    const bool two = count > kRowsPerTab;
    for (auto* headings : {&lbCAI_Range, &labCAILowAlarm, &labCAIHighAlarm, &lblCAIAlarmMode}) {
        (*headings)(0).SetVisible(true);
        (*headings)(1).SetVisible(two);
    }
    EnableControls(!DuplexReadOnly(setting, slot));
    const std::string model = host_.SlotModel(slot);
    for (int ch = 0; ch < count; ++ch) {
        ShowRow(ch, true);
        // The range is shown only; it comes from a file or the module.
        cboCAIRangeCode(ch).SetEnabled(false);
        const int16_t code = setting.RangeCode(slot, ch);
        ShowRangeCode(model, cboCAIRangeCode(ch), code);
        const RangeSpans spans = SpansOf(code);
        txtCAILowAlarm(ch).SetText(EngineeringText(setting.LowAlarmVal(slot, ch), spans));
        txtCAIHighAlarm(ch).SetText(EngineeringText(setting.HighAlarmVal(slot, ch), spans));
        cboCAIAlarmMode(ch).SetListIndex((setting.AlarmMode(slot) >> ch) & 1);
    }
    // The slot's digital filter is offered for the controller-side analog
    // inputs of newer controller firmware only.
    const std::string& module = real.Module(slot);
    const bool filter = (module == "KC-101" || module == "KC-102") && real.McuVersion >= 201;
    lblCAIFilterMode.SetVisible(filter);
    cboCAIFilterMode.SetVisible(filter);
    if (filter) cboCAIFilterMode.SetListIndex(setting.AIDigitalFilterMode(slot) >= 1 ? 1 : 0);
    sstCAIConf.SetTab(0);
    if (frame_) frame_->ZOrder(0);
    return true;
}

void AnalogInPage::txtCAILowAlarm_GotFocus(int index) { SelectWholeText(txtCAILowAlarm(index)); }

void AnalogInPage::txtCAILowAlarm_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAILowAlarm, index, keyAscii, ChannelCount());
}

void AnalogInPage::txtCAIHighAlarm_GotFocus(int index) { SelectWholeText(txtCAIHighAlarm(index)); }

void AnalogInPage::txtCAIHighAlarm_KeyPress(int index, int& keyAscii) {
    SignedFieldKey(txtCAIHighAlarm, index, keyAscii, ChannelCount());
}

void AnalogInPage::txtCAILowAlarm_LostFocus(int index) {
    const int16_t code =
        GetRangeCodeByName(host_.SlotModel(SelSlot), cboCAIRangeCode(index).Text());
    CheckLowAlarm(txtCAILowAlarm(index), txtCAIHighAlarm(index), AlarmRangeOf(code), SelSlot);
}

void AnalogInPage::txtCAIHighAlarm_LostFocus(int index) {
    const int16_t code =
        GetRangeCodeByName(host_.SlotModel(SelSlot), cboCAIRangeCode(index).Text());
    CheckHighAlarm(txtCAIHighAlarm(index), txtCAILowAlarm(index), AlarmRangeOf(code), SelSlot);
}

void AnalogInPage::cmdCAISetConf_Click() {
    static const PageWords words = Words();
    RunSet(host_, words, [this](SlotStore& s) {
        const int count = ChannelCount();
        if (count < 1) return;
        const int16_t slot = s.Slot();
        int32_t mask = 0;
        for (int ch = 0; ch < count; ++ch) {
            // The record's code, not the combo's text: the range is not
            // edited here.
            const RangeSpans spans = SpansOf(s.Staging().RangeCode(slot, ch));
            s.Put(&NodeConfig::LowAlarmVal, ch,
                  RawCount(txtCAILowAlarm(ch).Text(), spans, s.Staging().LowAlarmVal(slot, ch)));
            s.Put(&NodeConfig::HighAlarmVal, ch,
                  RawCount(txtCAIHighAlarm(ch).Text(), spans, s.Staging().HighAlarmVal(slot, ch)));
            if (cboCAIAlarmMode(ch).ListIndex() == 1) mask |= int32_t{1} << ch;
        }
        s.Put(&NodeConfig::AlarmMode, mask);
        // Hidden filter controls leave the slot's filter mode as it is.
        if (cboCAIFilterMode.Visible())
            s.PutChoice(&NodeConfig::AIDigitalFilterMode, cboCAIFilterMode);
    });
}

void AnalogInPage::cmdCAIDefault_Click() {
    static const PageWords words = Words();
    RunDefault(host_, words, [this] {
        const int count = ChannelCount();
        if (count < 1) return false;
        const std::string model = host_.SlotModel(SelSlot);
        for (int ch = 0; ch < count; ++ch) {
            const RangeSpans spans = SpansOf(GetRangeCodeByName(model, cboCAIRangeCode(ch).Text()));
            txtCAILowAlarm(ch).SetText(FieldText(spans.LimitLo));
            txtCAIHighAlarm(ch).SetText(FieldText(spans.LimitHi));
            cboCAIAlarmMode(ch).SetListIndex(0);
        }
        cboCAIFilterMode.SetListIndex(0);
        return true;
    });
}

}  // namespace pages
