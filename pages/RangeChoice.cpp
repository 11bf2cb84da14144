#include "pages/RangeChoice.h"

#include <QComboBox>

#include "config/RangeCodes.h"
#include "pages/RangeComboAdapter.h"

namespace pages {

namespace {

QComboBox* Box(const ui::ComboBox& combo) { return static_cast<QComboBox*>(combo.widget()); }

}  // namespace

void ShowRangeCode(ui::ComboBox& combo, const std::string& model, int16_t code) {
    RangeComboAdapter adapter(combo);
    FillRangeCodeCombo(model, adapter, code);
    const std::string text = RangeNameOf(code);
    adapter.SetText(text);
    Box(combo)->setPlaceholderText(combo.ListIndex() < 0 ? QString::fromStdString(text)
                                                         : QString());
}

std::string ShownRangeText(const ui::ComboBox& combo) {
    if (combo.ListIndex() >= 0) return combo.Text();
    return Box(combo)->placeholderText().toStdString();
}

int16_t ShownRangeCode(const ui::ComboBox& combo, const std::string& model) {
    return GetRangeCodeByName(model, ShownRangeText(combo));
}

}  // namespace pages
