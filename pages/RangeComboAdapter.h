// A page's range combo box driven by FillRangeCodeCombo: the model's menu
// is added to the window's combo box and the stored code selected. A text
// that no item holds leaves the combo without a choice instead of raising
// the drop-down list's error; a changed selection raises the combo's
// click handler, as a user's choice does.
#pragma once

#include <cstdint>
#include <string>

#include "config/RangeCodes.h"
#include "platform/ui/controls.h"

namespace pages {

class RangeComboAdapter : public RangeCombo {
  public:
    explicit RangeComboAdapter(ui::ComboBox& combo) : combo_(combo) {}
    void Clear() override;
    void AddItem(const std::string& text) override;
    void SetListIndex(int index) override;
    void SetText(const std::string& text) override;

  private:
    ui::ComboBox& combo_;
};

// FillRangeCodeCombo on `combo`, then the combo's text set to the code's
// RangeName (no choice when the model's menu lacks it).
void ShowRangeCode(const std::string& model, ui::ComboBox& combo, int16_t code);

}  // namespace pages
