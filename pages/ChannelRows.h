// What the analog input and sensor pages share: channel rows on a tab
// strip of two tabs (channels 0-7 and 8-15), and the conversion of a row's
// value boxes to and from the raw counts of a range code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/controls.h"

namespace pages {

constexpr int kRowsPerTab = 8;
constexpr int kRowChannels = 16;

// The engineering and raw spans of a range code.
struct RangeSpans {
    double LimitLo = 0, LimitHi = 0, RangeLo = 0, RangeHi = 0;
    double RealLo = 0, RealHi = 0, ManuLo = 0, ManuHi = 0;
};
RangeSpans SpansOf(int16_t rangeCode);

// A channel count of 8 or fewer: the first tab reads "Ch0~Ch<n - 1>" and
// the second is hidden; more: "Ch0~Ch7" and the second tab is shown.
void ShowChannelTabs(ui::TabStrip& tabs, int count);
// The tab page and the top of row `channel`'s controls on it (twips).
QWidget* RowPage(ui::TabStrip& tabs, int channel);
int RowTop(int channel);

// A stored count as a box shows it ("######0.0").
std::string EngineeringText(int16_t raw, const RangeSpans& spans);
// A box's number as the count to store. A code whose engineering span
// converts to no count keeps `kept`, so such a channel's stored values
// survive a Set. Raises Overflow when the count leaves 16 bits.
int16_t RawCount(const std::string& text, const RangeSpans& spans, int16_t kept);

}  // namespace pages
