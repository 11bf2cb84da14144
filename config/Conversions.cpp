#include "config/Conversions.h"

#include <vector>

#include "config/RangeCodes.h"
#include "platform/runtime.h"

int16_t ConvRealValToManuVal(const float& RealVal, const double& RealHi, const double& RealLo,
                             const double& ManuHi, const double& ManuLo) {
    if (rt::RoundHalfEven(rt::RoundHalfEven(RealHi) - RealLo) == 0) return 0;
    const double t = rt::CSng(static_cast<double>(RealVal) - RealLo);
    const double m = static_cast<double>(rt::CSng(ManuHi)) - ManuLo;
    const double r = m * t / (static_cast<double>(rt::CSng(RealHi)) - RealLo) + ManuLo;
    return rt::CInt(rt::CSng(r));
}

float ConvManuValToRealVal(const int16_t& ManuVal, const double& RealHi, const double& RealLo,
                           const double& ManuHi, const double& ManuLo) {
    const double manuHi = rt::RoundHalfEven(ManuHi);
    if (rt::RoundHalfEven(manuHi - ManuLo) == 0) return 0;
    // RealHi is used as it is (not as a whole number), so that a count shown
    // on a page and stored again gives the same count back.
    return rt::CSng(
        (RealHi - RealLo) * (static_cast<double>(ManuVal) - ManuLo) / (manuHi - ManuLo) + RealLo);
}

namespace {

// Below the low end (or not a number at all) becomes the low end.
double Clamp(double v, double lo, double hi) { return !(v >= lo) ? lo : (v > hi ? hi : v); }

// value / span x counts, multiplied first: a single-precision value times a
// count of at most 15000 is exact in double precision, and the one division
// that follows is correctly rounded, so a result that is exactly a half count
// (12.5 / 24 x 15000 = 7812.5) stays exactly that and rounds to even.
double Scaled(double value, double span, double counts) { return value * counts / span; }

}  // namespace

int16_t ConverValue2BitDec(float value, int16_t rangeCode) {
    const double v = value;
    switch (rangeCode) {
        case 48:
            return rt::CInt(Scaled(Clamp(v, 0, 24), 24, 12000));
        case 49:
            return rt::CheckedInt(rt::CInt(Scaled(Clamp(v, 0, 24), 24, 15000)) - 2500);
        case 50:
            return rt::CInt(Scaled(Clamp(v, 0, 12), 12, 12000));
        case 51: {
            const double shifted = rt::CSng(Clamp(v, -12, 12) + 12);
            return rt::CheckedInt(rt::CInt(Scaled(shifted, 24, 12000)) - 1000);
        }
        case 52:
            return rt::CheckedInt(rt::CInt(Scaled(Clamp(v, 0, 6), 6, 15000)) - 2500);
        case 53: {
            const double shifted = rt::CSng(Clamp(v, -6, 6) + 6);
            return rt::CheckedInt(rt::CInt(Scaled(shifted, 12, 12000)) - 1000);
        }
        default:
            return 0;
    }
}

std::string ConverBitDec2Value(const int16_t& rawValue, const int16_t& rangeCode,
                               const int16_t& scaleLow, const int16_t& scaleHigh) {
    const double raw = rt::CSng(rawValue);
    double value = 0;
    switch (rangeCode) {
        case 0:
            value = raw / 10000 * 30 - 15;
            break;
        case 1:
            value = raw / 10000 * 100 - 50;
            break;
        case 2:
            value = raw / 10000 * 200 - 100;
            break;
        case 3:
        case 11:
            value = raw / 10000 * 1000 - 500;
            break;
        case 4:
        case 10:
            value = raw / 10000 * 2 - 1;
            break;
        case 5:
            value = raw / 10000 * 5 - 2.5;
            break;
        case 6:
        case 13:
            value = raw / 10000 * 40 - 20;
            break;
        case 12:
            value = raw / 10000 * 300 - 150;
            break;
        case 48:
            value = raw / 12000 * 24;
            break;
        case 7:
        case 49:
            value = (raw + 2500) / 15000 * 24;
            break;
        case 50:
            value = raw / 12000 * 12;
            break;
        case 8:
            value = (raw + 500) / 11000 * 22 - 11;
            break;
        case 51:
            value = (raw + 1000) / 12000 * 24 - 12;
            break;
        case 9:
        case 52:
            value = (raw + 2500) / 15000 * 6;
            break;
        case 53:
            value = (raw + 1000) / 12000 * 12 - 6;
            break;
        default: {
            const bool scaled =
                (rangeCode >= 14 && rangeCode <= 22) || (rangeCode >= 132 && rangeCode <= 134);
            if (!scaled) return "0";
            if (raw > 10000) return rt::CStr(9999.9);
            if (raw < 0) return rt::CStr(-9999.9);
            double limitLo, limitHi, rangeHi, rangeLo, realHi, realLo, manuHi, manuLo;
            GetRealAndRangeAndManuVal(limitLo, limitHi, rangeCode, rangeHi, rangeLo, realHi, realLo,
                                      manuHi, manuLo);
            const double lo = ConvManuValToRealVal(scaleLow, realHi, realLo, manuHi, manuLo);
            const double hi = ConvManuValToRealVal(scaleHigh, realHi, realLo, manuHi, manuLo);
            value = raw / 10000 * (hi - lo) + lo;
            break;
        }
    }
    return rt::FormatSingle(rt::CSng(value), "#0.000");
}

int32_t UnsignedToLong(double value) {
    if (!(value >= 0 && value < 4294967296.0)) rt::Raise(rt::ErrOverflow);
    if (value > 2147483647.0) value -= 4294967296.0;
    return rt::CLng(value);
}

double LongToUnsigned(int32_t value) {
    return value < 0 ? static_cast<double>(value) + 4294967296.0 : static_cast<double>(value);
}

int16_t UnsignedToInteger(int32_t value) {
    if (value < 0 || value > 65535) rt::Raise(rt::ErrOverflow);
    return static_cast<int16_t>(value > 32767 ? value - 65536 : value);
}

int32_t IntegerToUnsigned(int16_t value) { return value < 0 ? value + 65536 : value; }

int16_t GetDottedField(const std::string& text, int field) {
    if (field < 1 || field > 4) return 0;
    // Positions of up to four dots. Field 1 is the text before the first
    // dot, fields 2 and 3 lie between two dots, field 4 is everything after
    // the third dot.
    std::vector<size_t> dots;
    for (size_t i = 0; i < text.size() && dots.size() < 4; ++i)
        if (text[i] == '.') dots.push_back(i);
    const size_t n = static_cast<size_t>(field);
    if (n > dots.size() + 1) return 0;
    const size_t begin = n == 1 ? 0 : dots[n - 2] + 1;
    const size_t end = n < 4 && n <= dots.size() ? dots[n - 1] : text.size();
    return rt::CInt(rt::Val(std::string_view(text).substr(begin, end - begin)));
}
