// Range codes: the display text of every code, which codes each module model
// accepts and offers, the code a page's Default button selects, the unit
// text and the four limit pairs of a code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/checked_array.h"

constexpr int kRangeNameCount = 257;  // codes 0 to 256

// Display text per code. Empty until InitRangeNames runs (the main window's
// load calls it); codes without a text hold "".
extern rt::Array<std::string, kRangeNameCount> RangeName;
void InitRangeNames();

// RangeName of a code, or "" for a code the table does not reach.
std::string RangeNameOf(int code);

// The codes GetRangeCodeByName accepts for a model, in search order (empty
// for a model without a window).
std::vector<int16_t> RangeWindow(std::string_view model);
// The codes FillRangeCodeCombo offers for a model, in list order.
std::vector<int16_t> RangeMenu(std::string_view model);
// The code a page's Default button selects; nullopt for a model without one.
std::optional<int16_t> DefaultRangeCode(std::string_view model);

// The first code of the model's window whose text equals `rangeText`, or 0.
int16_t GetRangeCodeByName(const std::string& model, const std::string& rangeText);

// A page's range combo box as FillRangeCodeCombo drives it. The window's
// implementation raises the combo's click handler on a changed selection
// through SetListIndex or SetText, so that the page follows the new range.
class RangeCombo {
  public:
    virtual ~RangeCombo() = default;
    virtual void Clear() = 0;
    virtual void AddItem(const std::string& text) = 0;
    virtual void SetListIndex(int index) = 0;
    // Selects the first item with this text; no item is selected when none
    // has it.
    virtual void SetText(const std::string& text) = 0;
};

// Empties the combo, adds the model's menu and selects the stored code.
void FillRangeCodeCombo(const std::string& model, RangeCombo& combo, const int16_t& rangeCode);

// "mV", "V", "mA", "DegC" or "".
std::string GetRangeUnitText(int16_t rangeCode);

// The limit pairs of a code; every output is written for every code.
void GetRealAndRangeAndManuVal(double& LimitLo, double& LimitHi, int16_t rangeCode, double& RangeHi,
                               double& RangeLo, double& RealHi, double& RealLo, double& ManuHi,
                               double& ManuLo);
