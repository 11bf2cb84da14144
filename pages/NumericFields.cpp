#include "pages/NumericFields.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "config/RangeCodes.h"
#include "platform/dialogs.h"
#include "platform/runtime.h"

namespace pages {

double FieldNumber(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    const size_t start = negative ? 1 : 0;
    size_t end = start;
    bool point = false;
    bool digits = false;
    bool wholePart = false;  // a digit other than 0 before the point
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (!point && c != '0') wholePart = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    // A digit run of any length is read without raising: beyond a Double it
    // reads as infinitely large, below the smallest Double as 0, so that
    // every range check sees it outside (or inside) its bounds.
    double value = 0;
    const auto [ptr, ec] =
        std::from_chars(text.data() + start, text.data() + end, value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range)
        value = wholePart ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

double TextVal(std::string_view text) {
    try {
        return rt::Val(text);
    } catch (const rt::RuntimeError& e) {
        // Val raises Overflow only for a number beyond a Double.
        if (e.Number() != rt::ErrOverflow) throw;
        const size_t first = text.find_first_not_of(" \t\r\n");
        const bool negative = first != std::string_view::npos && text[first] == '-';
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
}

std::string FieldText(double value) { return rt::Format(value, "######0.0"); }

std::string ShortNumber(double value) { return rt::CStr(value); }

void DetailSetError(const std::string& message) {
    rt::MsgBox(message, rt::vbOKOnly | rt::vbCritical, "Detail Set Error");
}

namespace {

bool Digit(int k) { return k >= '0' && k <= '9'; }

int Passes(bool pass, int keyAscii) {
    if (pass) return keyAscii;
    rt::TheDialogs().Beep();
    return 0;
}

}  // namespace

int SignedKey(int keyAscii) {
    return Passes(Digit(keyAscii) || keyAscii == '-' || keyAscii == '.' || keyAscii == 8, keyAscii);
}

int UnsignedKey(int keyAscii) {
    return Passes(Digit(keyAscii) || keyAscii == '.' || keyAscii == 8 || keyAscii == 13, keyAscii);
}

void SelectWholeText(ui::TextBox& box) {
    box.SetSelStart(0);
    box.SetSelLength(static_cast<int>(box.Text().size()));
}

void SignedFieldKey(ui::ControlArray<ui::TextBox>& boxes, int index, int& keyAscii, int count) {
    if (keyAscii == 13) {
        const int next = index == count - 1 ? 0 : index + 1;
        if (boxes.Exists(next) && boxes(next).Visible() && boxes(next).Enabled())
            boxes(next).SetFocus();
    }
    keyAscii = SignedKey(keyAscii);
}

void WireFieldArray(ui::ControlArray<ui::TextBox>& boxes, const FieldHandlers& handlers) {
    for (int i = boxes.LBound(); i <= boxes.UBound(); ++i) {
        if (!boxes.Exists(i)) continue;
        ui::TextBox& box = boxes(i);
        if (handlers.GotFocus) box.GotFocus = [handlers, i] { handlers.GotFocus(i); };
        if (handlers.KeyPress)
            box.KeyPress = [handlers, i](int& key) { handlers.KeyPress(i, key); };
        if (handlers.LostFocus) box.LostFocus = [handlers, i] { handlers.LostFocus(i); };
    }
}

AlarmRange AlarmRangeOf(int16_t rangeCode) {
    AlarmRange r;
    double realHi, realLo, manuHi, manuLo;
    GetRealAndRangeAndManuVal(r.LimitLo, r.LimitHi, rangeCode, r.RangeHi, r.RangeLo, realHi, realLo,
                              manuHi, manuLo);
    r.Unit = GetRangeUnitText(rangeCode);
    return r;
}

namespace {

bool OutOfRange(const ui::TextBox& box, const AlarmRange& range) {
    const double v = FieldNumber(box.Text());
    return box.Text().empty() || v > range.LimitHi || v < range.LimitLo;
}

std::string RangeMessage(const AlarmRange& range, int slot) {
    return "IOM " + std::to_string(slot) + " Alarm Val. Range: " + ShortNumber(range.LimitLo) +
           range.Unit + " ~ " + ShortNumber(range.LimitHi) + range.Unit;
}

void Reformat(ui::TextBox& box) { box.SetText(FieldText(FieldNumber(box.Text()))); }

}  // namespace

void CheckHighAlarm(ui::TextBox& high, const ui::TextBox& low, const AlarmRange& range, int slot) {
    if (OutOfRange(high, range)) {
        high.SetText(FieldText(range.RangeHi));
        DetailSetError(RangeMessage(range, slot));
    }
    if (FieldNumber(low.Text()) >= FieldNumber(high.Text())) {
        high.SetText(FieldText(range.LimitHi));
        DetailSetError(" The high alarm value must be bigger than the low alarm value.");
    }
    Reformat(high);
}

void CheckLowAlarm(ui::TextBox& low, const ui::TextBox& high, const AlarmRange& range, int slot) {
    if (OutOfRange(low, range)) {
        low.SetText(FieldText(range.LimitLo));
        DetailSetError(RangeMessage(range, slot));
    }
    if (FieldNumber(low.Text()) >= FieldNumber(high.Text())) {
        low.SetText(FieldText(range.LimitLo));
        DetailSetError(" The low alarm value must be small than the high alarm value.");
    }
    Reformat(low);
}

void ClampPulseField(PulseField field, ui::TextBox& box, const ui::TextBox* bound) {
    auto value = [&] { return FieldNumber(box.Text()); };
    auto put = [&](const std::string& text) { box.SetText(rt::Trim(text)); };
    switch (field) {
        case PulseField::ReferenceTime:
            if (box.Text().empty()) put("20");
            if (value() > 30000) put("30000");
            if (value() < 5) put("5");
            break;
        case PulseField::OutputCycle: {
            if (box.Text().empty()) put("2");
            // A reference time that comes to 0 sets no upper bound.
            const double r = bound ? rt::RoundHalfEven(FieldNumber(bound->Text())) : 0;
            if (r != 0) {
                const double q = std::trunc(65535 / r);
                if (value() > q) put(rt::CStr(q));
            }
            if (value() < 2) put("2");
            break;
        }
        case PulseField::DutyCycle:
            if (box.Text().empty()) put("1");
            if (bound && value() > FieldNumber(bound->Text())) put(bound->Text());
            if (value() < 0) put("0");
            break;
        case PulseField::Offset:
            if (box.Text().empty()) put("0");
            if (value() > 65535) put("65535");
            if (value() < 0) put("0");
            break;
        case PulseField::Counter:
            if (box.Text().empty()) put("0");
            if (value() > 65535) put("65535");
            break;
    }
}

}  // namespace pages
