#include "pages/ChannelRows.h"

#include <QTabWidget>

#include "config/Conversions.h"
#include "config/RangeCodes.h"
#include "pages/NumericFields.h"
#include "platform/runtime.h"

namespace pages {

RangeSpans SpansOf(int16_t rangeCode) {
    RangeSpans s;
    GetRealAndRangeAndManuVal(s.LimitLo, s.LimitHi, rangeCode, s.RangeHi, s.RangeLo, s.RealHi,
                              s.RealLo, s.ManuHi, s.ManuLo);
    return s;
}

void ShowChannelTabs(ui::TabStrip& tabs, int count) {
    auto* widget = static_cast<QTabWidget*>(tabs.widget());
    const bool two = count > kRowsPerTab;
    widget->setTabText(
        0, QString::fromStdString(two ? "Ch0~Ch7" : "Ch0~Ch" + std::to_string(count - 1)));
    widget->setTabVisible(1, two);
}

QWidget* RowPage(ui::TabStrip& tabs, int channel) { return tabs.Page(channel / kRowsPerTab); }

int RowTop(int channel) { return 420 + (channel % kRowsPerTab) * 450; }

std::string EngineeringText(int16_t raw, const RangeSpans& spans) {
    return FieldText(
        ConvManuValToRealVal(raw, spans.RealHi, spans.RealLo, spans.ManuHi, spans.ManuLo));
}

int16_t RawCount(const std::string& text, const RangeSpans& spans, int16_t kept) {
    if (rt::RoundHalfEven(rt::RoundHalfEven(spans.RealHi) - spans.RealLo) == 0) return kept;
    const float value = static_cast<float>(FieldNumber(text));
    return ConvRealValToManuVal(value, spans.RealHi, spans.RealLo, spans.ManuHi, spans.ManuLo);
}

}  // namespace pages
