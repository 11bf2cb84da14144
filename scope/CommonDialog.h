// The trend window's common dialog: the colour dialog. Tests put a
// scripted chooser in place of the real dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace scope {

// Asks for a colour, starting from `initial` (Windows RGB); nullopt when
// the user cancelled.
using ColorChooser = std::function<std::optional<int32_t>(int32_t initial)>;

// The chooser in use (the Qt colour dialog unless replaced); an empty
// function restores it.
void SetColorChooser(ColorChooser chooser);
std::optional<int32_t> ChooseColor(int32_t initial);

}  // namespace scope
