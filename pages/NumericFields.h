// The number fields of the module pages: text boxes in control arrays, one
// box per channel, each array with three handlers that work together. On
// focus the whole text is selected; on a key only the characters a number
// needs pass (others are dropped with the beep); on focus loss the page's
// check repairs the box. The checks write the boxes only; the page's Set
// reads them later.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/controls.h"

namespace pages {

// The number a page reads from a box: the longest leading decimal number
// (optional minus sign, digits, one decimal point); 0 for a text that does
// not begin with one. Never raises: a number beyond a Double, however many
// digits it has, reads as infinitely large with its sign.
double FieldNumber(std::string_view text);
// The platform's Val of a box's text (blanks skipped, exponents and &H
// read), except that a number beyond a Double reads as infinitely large
// with its sign instead of raising Overflow.
double TextVal(std::string_view text);
// A value as the analog checks write it back: "######0.0".
std::string FieldText(double value);
// A number inside a message: its shortest plain decimal form ("2", "-10.5").
std::string ShortNumber(double value);
// The checks' message box: critical icon, OK button, title "Detail Set Error".
void DetailSetError(const std::string& message);

// Key filters: the key code when it passes, else 0 after the beep.
// Signed: digits, "-", "." and Backspace. Unsigned: digits, ".",
// Backspace and Enter.
int SignedKey(int keyAscii);
int UnsignedKey(int keyAscii);

// What the pages' focus and key handlers do. Focus: the whole text is
// selected, so that typing replaces it.
void SelectWholeText(ui::TextBox& box);
// The signed key filter of box `index` of an array: Enter first moves the
// focus to the next channel's box of the same array, from box count - 1
// back to box 0 (a box that is missing, hidden or disabled is not
// entered); then every key, Enter included, goes through SignedKey.
void SignedFieldKey(ui::ControlArray<ui::TextBox>& boxes, int index, int& keyAscii, int count);

// The three handlers of a field array, each given the box's index.
struct FieldHandlers {
    std::function<void(int index)> GotFocus;
    std::function<void(int index, int& keyAscii)> KeyPress;
    std::function<void(int index)> LostFocus;
};
// Joins the handlers to the focus, key and focus-loss events of every box
// of the array.
void WireFieldArray(ui::ControlArray<ui::TextBox>& boxes, const FieldHandlers& handlers);
// The same with a page's own handlers (`txtPOCounter_GotFocus`, ...).
template <typename Page>
void WireFieldArray(ui::ControlArray<ui::TextBox>& boxes, Page* page, void (Page::*gotFocus)(int),
                    void (Page::*keyPress)(int, int&), void (Page::*lostFocus)(int)) {
    WireFieldArray(boxes, {[page, gotFocus](int i) { (page->*gotFocus)(i); },
                           [page, keyPress](int i, int& key) { (page->*keyPress)(i, key); },
                           [page, lostFocus](int i) { (page->*lostFocus)(i); }});
}

// The alarm limits of a range code: what a user may enter (LimitLo ..
// LimitHi), the nominal range, and the unit text.
struct AlarmRange {
    double LimitLo = 0, LimitHi = 0, RangeLo = 0, RangeHi = 0;
    std::string Unit;
};
AlarmRange AlarmRangeOf(int16_t rangeCode);

// Range validation of an analog input alarm pair on leaving one of its
// boxes. An empty text or a value outside LimitLo..LimitHi is replaced
// (high box: RangeHi, low box: LimitLo) with the message "IOM <slot> Alarm
// Val. Range: <lo><unit> ~ <hi><unit>"; then, when low >= high, the box
// left gets its limit with the order message; last the box is rewritten
// in "######0.0".
void CheckHighAlarm(ui::TextBox& high, const ui::TextBox& low, const AlarmRange& range, int slot);
void CheckLowAlarm(ui::TextBox& low, const ui::TextBox& high, const AlarmRange& range, int slot);

// Silent clamping of the pulse output fields: fixed substitutes for an
// empty text and for values beyond the bounds, no message.
enum class PulseField { ReferenceTime, OutputCycle, DutyCycle, Offset, Counter };
// `bound` is the channel's reference-time box for OutputCycle and its
// output-cycle box for DutyCycle; the other fields do not read it.
void ClampPulseField(PulseField field, ui::TextBox& box, const ui::TextBox* bound);

}  // namespace pages
