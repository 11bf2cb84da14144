#include "config/Conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "config/RangeCodes.h"
#include "platform/runtime.h"

namespace {

struct Pairs {
    double RealHi, RealLo, ManuHi, ManuLo;
};

Pairs PairsOf(int16_t code) {
    double limitLo, limitHi, rangeHi, rangeLo;
    Pairs p{};
    GetRealAndRangeAndManuVal(limitLo, limitHi, code, rangeHi, rangeLo, p.RealHi, p.RealLo,
                              p.ManuHi, p.ManuLo);
    return p;
}

int16_t ToCount(float value, int16_t code) {
    const Pairs p = PairsOf(code);
    return ConvRealValToManuVal(value, p.RealHi, p.RealLo, p.ManuHi, p.ManuLo);
}

float ToValue(int16_t count, int16_t code) {
    const Pairs p = PairsOf(code);
    return ConvManuValToRealVal(count, p.RealHi, p.RealLo, p.ManuHi, p.ManuLo);
}

std::string Shown(int16_t raw, int16_t code, int16_t lo = 0, int16_t hi = 0) {
    return ConverBitDec2Value(raw, code, lo, hi);
}

TEST(ConvRealValToManuVal, LinearMapAndZeroSpan) {
    EXPECT_EQ(ConvRealValToManuVal(12.0f, 24, 0, 12500, -2500), 5000);
    EXPECT_EQ(ToCount(20.0f, 49), 10000);
    EXPECT_EQ(ToCount(-10.0f, 51), 0);
    EXPECT_EQ(ToCount(-15.0f, 0), -32768);
    EXPECT_EQ(ToCount(15.0f, 0), 32767);
    EXPECT_EQ(ConvRealValToManuVal(3.0f, 5, 5, 100, 0), 0);
    // RealHi 0.4 is 0 as a whole number: no span left, no division.
    EXPECT_EQ(ConvRealValToManuVal(0.2f, 0.4, 0, 100, 0), 0);
}

TEST(ConvRealValToManuVal, HalfCountsRoundToEven) {
    EXPECT_EQ(ConvRealValToManuVal(1.0f, 4, 0, 10, 0), 2);    // 2.5
    EXPECT_EQ(ConvRealValToManuVal(3.0f, 4, 0, 10, 0), 8);    // 7.5
    EXPECT_EQ(ConvRealValToManuVal(-1.0f, 4, 0, 10, 0), -2);  // -2.5
    EXPECT_EQ(ToCount(0.0f, 0), 0);                           // -0.5
}

TEST(ConvRealValToManuVal, ResultIsRoundedToSinglePrecisionBeforeTheCount) {
    // 2.5 + 1.5e-9 is above the half in double precision but exactly 2.5
    // as a single, which then rounds to the even 2.
    EXPECT_EQ(ConvRealValToManuVal(2.5f, 1, 0, 1, -1e-9), 2);
}

TEST(ConvRealValToManuVal, CountBeyondSixteenBitsIsAnOverflow) {
    try {
        ConvRealValToManuVal(16.0f, 15, -15, 32767, -32768);
        FAIL() << "no overflow";
    } catch (const rt::RuntimeError& e) {
        EXPECT_EQ(e.Number(), rt::ErrOverflow);
    }
}

TEST(ConvManuValToRealVal, UsesTheHighEndAsItIs) {
    EXPECT_FLOAT_EQ(ToValue(32767, 5), 2.5f);
    EXPECT_FLOAT_EQ(ToValue(-32768, 5), -2.5f);
    EXPECT_FLOAT_EQ(ToValue(5000, 49), 12.0f);
    EXPECT_FLOAT_EQ(ToValue(0, 51), -10.0f);
    EXPECT_FLOAT_EQ(ToValue(32767, 15), 1372.0f);
}

TEST(ConvManuValToRealVal, HighCountIsAWholeNumberAndZeroSpanGivesZero) {
    // ManuHi 10.5 counts as 10 (half to even).
    EXPECT_FLOAT_EQ(ConvManuValToRealVal(5, 10, 0, 10.5, 0), 5.0f);
    EXPECT_FLOAT_EQ(ConvManuValToRealVal(5, 10, 0, 0.4, 0), 0.0f);
    EXPECT_FLOAT_EQ(ConvManuValToRealVal(7, 10, 0, 3, 3), 0.0f);
}

TEST(ConvManuValToRealVal, ShownValueStoredAgainGivesTheSameCount) {
    for (int16_t code : {0, 1, 3, 5, 7, 8, 12, 14, 15, 16, 24, 40, 48, 50, 51, 53, 132, 134}) {
        const Pairs p = PairsOf(code);
        int mismatches = 0;
        for (int n = static_cast<int>(p.ManuLo); n <= static_cast<int>(p.ManuHi); ++n) {
            const int16_t count = static_cast<int16_t>(n);
            const float shown = ToValue(count, code);
            if (ToCount(shown, code) != count) ++mismatches;
        }
        EXPECT_EQ(mismatches, 0) << "code " << code;
    }
}

TEST(ConverBitDec2Value, ExactHalvesOfTheThirdDecimalRoundAwayFromZero) {
    // Scale limits whose single-precision value ends in 5 at the fourth
    // decimal; ties to even would give the lower text for the first three.
    const struct {
        int16_t raw, code, lo, hi;
        const char* text;
    } cases[] = {
        {0, 20, 18140, 32767, "1007.563"},    // 1007.5625
        {10000, 20, 0, 20476, "1137.313"},    // 1137.3125
        {0, 14, -31444, 32767, "-1151.563"},  // -1151.5625
        {0, 22, 31811, 32767, "2252.313"},    // 2252.3125
    };
    for (const auto& c : cases)
        EXPECT_EQ(Shown(c.raw, c.code, c.lo, c.hi), c.text) << c.code << " " << c.lo;
}

TEST(ConverValue2BitDec, OutputCountsAndClamping) {
    EXPECT_EQ(ConverValue2BitDec(4.0f, 49), 0);
    EXPECT_EQ(ConverValue2BitDec(20.0f, 49), 10000);
    EXPECT_EQ(ConverValue2BitDec(30.0f, 49), 12500);
    EXPECT_EQ(ConverValue2BitDec(-1.0f, 48), 0);
    EXPECT_EQ(ConverValue2BitDec(20.0f, 48), 10000);
    EXPECT_EQ(ConverValue2BitDec(99.0f, 48), 12000);
    EXPECT_EQ(ConverValue2BitDec(10.0f, 50), 10000);
    EXPECT_EQ(ConverValue2BitDec(-20.0f, 51), -1000);
    EXPECT_EQ(ConverValue2BitDec(10.0f, 51), 10000);
    EXPECT_EQ(ConverValue2BitDec(5.0f, 52), 10000);
    EXPECT_EQ(ConverValue2BitDec(1.0f, 52), 0);
    EXPECT_EQ(ConverValue2BitDec(0.0f, 53), 5000);
    EXPECT_EQ(ConverValue2BitDec(9.0f, 53), 11000);
    EXPECT_EQ(ConverValue2BitDec(12.0f, 7), 0);
    EXPECT_EQ(ConverValue2BitDec(12.0f, 54), 0);
    EXPECT_EQ(ConverValue2BitDec(std::numeric_limits<float>::quiet_NaN(), 49), -2500);
    EXPECT_EQ(ConverValue2BitDec(std::numeric_limits<float>::infinity(), 53), 11000);
}

TEST(ConverValue2BitDec, HalfCountsRoundToEvenBeforeTheOffset) {
    EXPECT_EQ(ConverValue2BitDec(0.375f, 48), 188);   // 187.5
    EXPECT_EQ(ConverValue2BitDec(1.125f, 48), 562);   // 562.5
    EXPECT_EQ(ConverValue2BitDec(1.5f, 49), -1562);   // 937.5 -> 938
    EXPECT_EQ(ConverValue2BitDec(4.5f, 49), 312);     // 2812.5 -> 2812
    EXPECT_EQ(ConverValue2BitDec(0.1875f, 50), 188);  // 187.5
    EXPECT_EQ(ConverValue2BitDec(0.5625f, 50), 562);  // 562.5
    EXPECT_EQ(ConverValue2BitDec(-11.625f, 51), -812);
    EXPECT_EQ(ConverValue2BitDec(-10.875f, 51), -438);
    EXPECT_EQ(ConverValue2BitDec(0.375f, 52), -1562);
    EXPECT_EQ(ConverValue2BitDec(1.125f, 52), 312);
    EXPECT_EQ(ConverValue2BitDec(-5.8125f, 53), -812);
    EXPECT_EQ(ConverValue2BitDec(-5.4375f, 53), -438);
}

TEST(ConverBitDec2Value, FormulaTexts) {
    EXPECT_EQ(Shown(5000, 0), "0.000");
    EXPECT_EQ(Shown(0, 49), "4.000");
    EXPECT_EQ(Shown(10000, 49), "20.000");
    EXPECT_EQ(Shown(0, 51), "-10.000");
    EXPECT_EQ(Shown(10000, 7), "20.000");
    EXPECT_EQ(Shown(10500, 8), "11.000");
    EXPECT_EQ(Shown(0, 5), "-2.500");
    EXPECT_EQ(Shown(1, 1), "-49.990");
    EXPECT_EQ(Shown(3, 3), "-499.700");
    EXPECT_EQ(Shown(10000, 13), "20.000");
    EXPECT_EQ(Shown(6000, 48), "12.000");
    EXPECT_EQ(Shown(-500, 50), "-0.500");
    EXPECT_EQ(Shown(12500, 52), "6.000");
    EXPECT_EQ(Shown(11000, 53), "6.000");
    EXPECT_EQ(Shown(1, 4), "-1.000");  // -0.9998
    EXPECT_EQ(Shown(-32768, 12), "-1133.040");
}

TEST(ConverBitDec2Value, CodesWithoutFormulaShowZero) {
    for (int16_t code : {23, 24, 25, 32, 47, 128, 129, 54, 64, 82, 200, -1})
        EXPECT_EQ(Shown(1234, code, -5734, 32767), "0") << code;
}

TEST(ConverBitDec2Value, ScaledSensorCodes) {
    EXPECT_EQ(Shown(5000, 14, -5734, 32767), "495.000");
    EXPECT_EQ(Shown(0, 14, -5734, 32767), "-210.000");
    EXPECT_EQ(Shown(10000, 14, -5734, 32767), "1200.000");
    EXPECT_EQ(Shown(10000, 132, -7710, 32767), "850.000");
    EXPECT_EQ(Shown(2500, 22, 0, 32767), "580.000");
    // Marker texts for counts outside 0 to 10000.
    EXPECT_EQ(Shown(10001, 14, -5734, 32767), "9999.9");
    EXPECT_EQ(Shown(-1, 14, -5734, 32767), "-9999.9");
    EXPECT_EQ(Shown(32767, 134, 0, 0), "9999.9");
    EXPECT_EQ(Shown(-32768, 18, 0, 0), "-9999.9");
}

TEST(IntegerWidthHelpers, WrapAndOverflow) {
    EXPECT_EQ(UnsignedToLong(4294967295.0), -1);
    EXPECT_EQ(UnsignedToLong(2147483648.0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(UnsignedToLong(2147483647.0), 2147483647);
    EXPECT_THROW(UnsignedToLong(4294967296.0), rt::RuntimeError);
    EXPECT_THROW(UnsignedToLong(-1.0), rt::RuntimeError);
    EXPECT_DOUBLE_EQ(LongToUnsigned(-1), 4294967295.0);
    EXPECT_DOUBLE_EQ(LongToUnsigned(7), 7.0);
    EXPECT_EQ(UnsignedToInteger(65535), -1);
    EXPECT_EQ(UnsignedToInteger(32768), -32768);
    EXPECT_EQ(UnsignedToInteger(32767), 32767);
    EXPECT_THROW(UnsignedToInteger(65536), rt::RuntimeError);
    EXPECT_THROW(UnsignedToInteger(-1), rt::RuntimeError);
    EXPECT_EQ(IntegerToUnsigned(-1), 65535);
    EXPECT_EQ(IntegerToUnsigned(-32768), 32768);
}

TEST(GetDottedField, FieldsOfADottedText) {
    EXPECT_EQ(GetDottedField("10.0.3.7", 1), 10);
    EXPECT_EQ(GetDottedField("10.0.3.7", 2), 0);
    EXPECT_EQ(GetDottedField("10.0.3.7", 3), 3);
    EXPECT_EQ(GetDottedField("10.0.3.7", 4), 7);
    EXPECT_EQ(GetDottedField("10.0.3.7", 5), 0);
    EXPECT_EQ(GetDottedField("10.0.3.7", 0), 0);
    EXPECT_EQ(GetDottedField("1.2", 3), 0);
    EXPECT_EQ(GetDottedField("1.2", 2), 2);
    EXPECT_EQ(GetDottedField("1.2.3.4.5", 4), 4);  // "4.5", half to even
    // The last field is everything after the third dot.
    EXPECT_EQ(GetDottedField("1.2.3.7.5", 4), 8);
    EXPECT_EQ(GetDottedField("1.2.3.7.5.9", 4), 8);
    EXPECT_EQ(GetDottedField("1.2.3.7.5", 3), 3);
    EXPECT_EQ(GetDottedField("a.b.c.d", 2), 0);
}

}  // namespace
