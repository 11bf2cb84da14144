// A channel's range or mode list on a page: shows the stored code, also one
// outside the model's menu, and gives back the code it shows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/controls.h"

namespace pages {

// FillRangeCodeCombo's menu for the model with the code's item chosen. A
// code outside the menu leaves no item chosen and shows the code's text
// greyed in the box, so that showing it neither loses nor replaces it.
void ShowRangeCode(ui::ComboBox& combo, const std::string& model, int16_t code);
// The chosen item's text, or the text shown without a choice.
std::string ShownRangeText(const ui::ComboBox& combo);
// GetRangeCodeByName for the shown text: 0 for a text that is not one of
// the model's ranges.
int16_t ShownRangeCode(const ui::ComboBox& combo, const std::string& model);

}  // namespace pages
