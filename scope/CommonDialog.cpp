#include "scope/CommonDialog.h"

#include <QColorDialog>

#include "scope/StripChart.h"

namespace scope {

namespace {

ColorChooser& Chooser() {
    static ColorChooser chooser;
    return chooser;
}

}  // namespace

void SetColorChooser(ColorChooser chooser) { Chooser() = std::move(chooser); }

std::optional<int32_t> ChooseColor(int32_t initial) {
    if (Chooser()) return Chooser()(initial);
    const QColor c = QColorDialog::getColor(StripChart::ColorFromRgb(initial));
    if (!c.isValid()) return std::nullopt;
    return static_cast<int32_t>(c.red() | (c.green() << 8) | (c.blue() << 16));
}

}  // namespace scope
