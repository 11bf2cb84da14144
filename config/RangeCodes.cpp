#include "config/RangeCodes.h"

#include <initializer_list>

rt::Array<std::string, kRangeNameCount> RangeName;

void InitRangeNames() {
    for (std::string& name : RangeName) name.clear();

    // Voltage and current ranges of the analog inputs.
    RangeName[0] = "+/- 15.0 mV";
    RangeName[1] = "+/- 50.0 mV";
    RangeName[2] = "+/- 100.0 mV";
    RangeName[3] = "+/- 500.0 mV";
    RangeName[4] = "+/- 1.0 V";
    RangeName[5] = "+/- 2.5 V";
    RangeName[6] = "+/- 20.0 mA";
    RangeName[7] = "+4.0 ~ 20.0 mA";
    RangeName[8] = "+/- 10.0 V";
    RangeName[9] = "+1.0 To +5.0 V";
    RangeName[10] = "+/- 1.0 V";
    RangeName[11] = "+/- 500.0 mV";
    RangeName[12] = "+/- 150.0 mV";
    RangeName[13] = "+/- 20.0 mV";

    // Thermocouples.
    RangeName[14] = "J-type (-210.0 ~ +1200.0 C)";
    RangeName[15] = "K-type (-270.0 ~ +1372.0 C)";
    RangeName[16] = "T-type (-270.0 ~ +400.0 C)";
    RangeName[17] = "E-type (-270.0 ~ +1000.0 C)";
    RangeName[18] = "R-type (-50.0 ~ +1765.0 C)";
    RangeName[19] = "S-type (-50.0 ~ +1765.0 C)";
    RangeName[20] = "B-type (0.0 ~ +1820.0 C)";
    RangeName[21] = "N-type (-270.0 ~ +1300.0 C)";
    RangeName[22] = "C-type (0.0 ~ +2320.0 C)";
    RangeName[23] = "L-type (-200.0 ~ +800.0 C)";
    RangeName[24] = "M-type (-200.0 ~ +100.0 C)";
    RangeName[25] = "L2-type (-200.0 ~ +900.0 C)(DIN43710)";

    // Resistance thermometers.
    RangeName[32] = "(Pt100) -100.0 To +100.0 C";
    RangeName[33] = "(Pt100) +0.0 To +100.0 C";
    RangeName[34] = "(Pt100) +0.0 To +200.0 C";
    RangeName[35] = "(Pt100) +0.0 To +600.0 C";
    RangeName[36] = "(JPt100) -100.0 To +100.0 C";
    RangeName[37] = "(JPt100) +0.0 To +100.0 C";
    RangeName[38] = "(JPt100) +0.0 To +200.0 C";
    RangeName[39] = "(JPt100) +0.0 To +600.0 C";
    RangeName[40] = "(Ni120) -80.0 To +100.0 C";
    RangeName[41] = "(Ni120) +0.0 To +100.0 C";
    RangeName[42] = "(Pt1000) -200.0 To +600.0 C";
    RangeName[43] = "(Cu100) -20.0 To +150.0 C";
    RangeName[44] = "(Cu100) 0.0 To +200.0 C";
    RangeName[45] = "(Cu1000) -20.0 To +150.0 C";
    RangeName[46] = "(Pt100) -200.0 To +200.0 C";
    RangeName[47] = "(JPt100) -200.0 To +200.0 C";
    RangeName[128] = "(Pt100) -200.0 To +600.0 C";
    RangeName[129] = "(JPt100) -200.0 To +600.0 C";
    RangeName[132] = "(Pt100) -200.0 To +850.0 C";
    RangeName[133] = "(JPt100) -200.0 To +630.0 C";
    RangeName[134] = "(Pt1000)-200.0 To +630.0 C";

    // Analog output ranges.
    RangeName[48] = "+0.0 To +20.0 mA";
    RangeName[49] = "+4.0 To +20.0 mA";
    RangeName[50] = "+0.0 To +10.0 V";
    RangeName[51] = "-10.0 To +10.0 V";
    RangeName[52] = "+1.0 To +5.0 V";
    RangeName[53] = "-5.0 To +5.0 V";
    RangeName[54] = "+4.0 To +20.0 mA & HART";

    RangeName[64] = "Digital module";

    // Pulse input and pulse output channel modes.
    RangeName[80] = "Dir/Pulse";
    RangeName[81] = "Up/Down";
    RangeName[82] = "Frequency";
    RangeName[83] = "Up Counter";
    RangeName[84] = "AB Pulse";
    RangeName[96] = "One Shot";
    RangeName[97] = "Continuous";
    RangeName[98] = "PWM";
}

std::string RangeNameOf(int code) {
    return decltype(RangeName)::InRange(code) ? RangeName[code] : std::string();
}

namespace {

struct RangeModel {
    std::vector<int16_t> window;
    std::vector<int16_t> menu;
    int code0Position = 0;
    std::optional<int16_t> defaultCode;
};

std::vector<int16_t> Run(int from, int to) {
    std::vector<int16_t> v;
    for (int c = from; c <= to; ++c) v.push_back(static_cast<int16_t>(c));
    return v;
}

std::vector<int16_t> Join(std::initializer_list<std::vector<int16_t>> parts) {
    std::vector<int16_t> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

bool IsOneOf(std::string_view model, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (model == n) return true;
    return false;
}

// The range columns of the module catalog. Model names match exactly.
std::optional<RangeModel> FindRangeModel(std::string_view model) {
    if (IsOneOf(model, {"KA-310", "KB-510"}))
        return RangeModel{Join({Run(32, 47), {128, 129}, Run(132, 134)}), {132, 133, 134}, 0, 132};
    if (IsOneOf(model, {"KA-321", "KA-322", "KA-323", "KA-324", "KB-521", "KB-522"}))
        return RangeModel{Run(7, 13), Run(7, 13), 0, std::nullopt};
    if (model == "KA-330") return RangeModel{Run(14, 25), Run(14, 22), 0, std::nullopt};
    if (model == "KA-340")
        return RangeModel{Run(0, 25), Join({Run(14, 22), {0, 1, 2, 12, 3, 4, 5, 9, 8}}), 0, 15};
    if (model == "KB-540") return RangeModel{Run(14, 25), Run(14, 22), 0, 15};
    if (model == "KB-523") return RangeModel{{8, 9}, {8, 9}, 0, 9};
    if (model == "KB-524") return RangeModel{{8, 9}, {8, 9}, 0, 8};
    if (model == "KA-353") return RangeModel{Run(48, 53), Run(48, 53), 0, 49};
    if (IsOneOf(model, {"KA-351", "KA-352", "KA-354", "KA-355", "KB-551"}))
        return RangeModel{Run(48, 53), Run(48, 53), 2, std::nullopt};
    if (model == "KB-552") return RangeModel{{51, 52}, {51, 52}, 0, 52};
    if (model == "KB-553") return RangeModel{{51, 52}, {51, 52}, 0, 51};
    if (IsOneOf(model, {"KA-380", "KB-580"}))
        return RangeModel{Run(80, 84), {82, 83}, 0, std::nullopt};
    if (IsOneOf(model, {"KA-371", "KB-590"}))
        return RangeModel{Run(96, 98), Run(96, 98), 0, std::nullopt};
    return std::nullopt;
}

struct Limits {
    double LimitLo, LimitHi, RangeLo, RangeHi, RealLo, RealHi, ManuLo, ManuHi;
};

Limits LimitsOf(int code) {
    switch (code) {
        case 0:
            return {-15, 15, -15, 15, -15, 15, -32768, 32767};
        case 1:
            return {-50, 50, -50, 50, -50, 50, -32768, 32767};
        case 2:
        case 32:
        case 36:
            return {-100, 100, -100, 100, -100, 100, -32768, 32767};
        case 3:
        case 11:
            return {-500, 500, -500, 500, -500, 500, -32768, 32767};
        case 4:
        case 10:
            return {-1, 1, -1, 1, -1, 1, -32768, 32767};
        case 5:
            return {-2.5, 2.5, -2.5, 2.5, -2.5, 2.5, -32768, 32767};
        case 12:
            return {-150, 150, -150, 150, -150, 150, -32768, 32767};
        case 7:
        case 49:
            return {2, 22, 4, 20, 0, 24, -2500, 12500};
        case 8:
            return {-10.5, 10.5, -10, 10, -11, 11, -500, 10500};
        case 9:
        case 52:
            return {0.5, 5.5, 1, 5, 0, 6, -2500, 12500};
        case 14:
            return {-210, 1200, -210, 1200, -210, 1200, -5734, 32767};
        case 15:
            return {-270, 1372, -270, 1372, -270, 1372, -6448, 32767};
        case 16:
            return {-270, 400, -270, 400, -270, 400, -22118, 32767};
        case 17:
            return {-270, 1000, -270, 1000, -270, 1000, -8847, 32767};
        case 18:
        case 19:
            return {-50, 1765, -50, 1765, -50, 1765, -928, 32767};
        case 20:
            return {0, 1820, 0, 1820, 0, 1820, 0, 32767};
        case 21:
            return {-270, 1300, -270, 1300, -270, 1300, -6805, 32767};
        case 22:
            return {0, 2320, 0, 2320, 0, 2320, 0, 32767};
        case 23:
            return {-200, 800, -200, 800, -200, 800, -8192, 32767};
        case 24:
            return {-200, 100, -200, 100, -200, 100, -32768, 16384};
        case 25:
            return {-200, 900, -200, 900, -200, 900, -7281, 32767};
        case 33:
        case 37:
        case 41:
            return {0, 100, 0, 100, 0, 100, 0, 32767};
        case 34:
        case 38:
        case 44:
            return {0, 200, 0, 200, 0, 200, 0, 32767};
        case 35:
        case 39:
            return {0, 600, 0, 600, 0, 600, 0, 32767};
        case 40:
            return {-80, 100, -80, 100, -80, 100, -26214, 32767};
        case 42:
        case 128:
        case 129:
            return {-200, 600, -200, 600, -200, 600, -10922, 32767};
        case 43:
        case 45:
            return {-20, 150, -20, 150, -20, 150, -4369, 32767};
        case 46:
        case 47:
            return {-200, 200, -200, 200, -200, 200, -32768, 32767};
        case 48:
            return {0, 22, 0, 20, 0, 24, 0, 12000};
        case 50:
            return {0, 11, 0, 10, 0, 12, 0, 12000};
        case 51:
            return {-11, 11, -10, 10, -12, 12, -1000, 11000};
        case 53:
            return {-5.5, 5.5, -5, 5, -6, 6, -1000, 11000};
        case 132:
            return {-200, 850, -200, 850, -200, 850, -7710, 32767};
        case 133:
        case 134:
            return {-200, 630, -200, 630, -200, 630, -10402, 32767};
        default:
            return {0, 0, 0, 0, 0, 0, -2500, 12500};
    }
}

}  // namespace

std::vector<int16_t> RangeWindow(std::string_view model) {
    const auto m = FindRangeModel(model);
    return m ? m->window : std::vector<int16_t>{};
}

std::vector<int16_t> RangeMenu(std::string_view model) {
    const auto m = FindRangeModel(model);
    return m ? m->menu : std::vector<int16_t>{};
}

std::optional<int16_t> DefaultRangeCode(std::string_view model) {
    const auto m = FindRangeModel(model);
    return m ? m->defaultCode : std::nullopt;
}

int16_t GetRangeCodeByName(const std::string& model, const std::string& rangeText) {
    const auto m = FindRangeModel(model);
    if (!m) return 0;
    for (int16_t code : m->window)
        if (RangeName[code] == rangeText) return code;
    return 0;
}

void FillRangeCodeCombo(const std::string& model, RangeCombo& combo, const int16_t& rangeCode) {
    combo.Clear();
    const auto m = FindRangeModel(model);
    if (!m) return;
    for (int16_t code : m->menu) combo.AddItem(RangeName[code]);
    if (rangeCode == 0) {
        combo.SetListIndex(m->code0Position);
    } else {
        combo.SetText(RangeNameOf(rangeCode));
    }
}

std::string GetRangeUnitText(int16_t rangeCode) {
    switch (rangeCode) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 11:
        case 12:
            return "mV";
        case 4:
        case 5:
        case 8:
        case 9:
        case 10:
        case 50:
        case 51:
        case 52:
        case 53:
            return "V";
        case 6:
        case 7:
        case 13:
        case 48:
        case 49:
            return "mA";
        default:
            return rangeCode >= 14 && rangeCode <= 22 ? "DegC" : "";
    }
}

void GetRealAndRangeAndManuVal(double& LimitLo, double& LimitHi, int16_t rangeCode, double& RangeHi,
                               double& RangeLo, double& RealHi, double& RealLo, double& ManuHi,
                               double& ManuLo) {
    const Limits l = LimitsOf(rangeCode);
    LimitLo = l.LimitLo;
    LimitHi = l.LimitHi;
    RangeHi = l.RangeHi;
    RangeLo = l.RangeLo;
    RealHi = l.RealHi;
    RealLo = l.RealLo;
    ManuHi = l.ManuHi;
    ManuLo = l.ManuLo;
}
