// A page's range combo box as FillRangeCodeCombo drives it: the list box of
// the form layer seen through the configuration model's RangeCombo.
#pragma once

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
    // Selects the first item with exactly this text, or no item.
    void SetText(const std::string& text) override;

  private:
    ui::ComboBox& combo_;
};

}  // namespace pages
