// Conversions between the station's raw 16-bit counts and the engineering
// values the user sees and types, plus a few integer-width helpers.
// Conversions to integers round half to even and raise Overflow (6) when the
// result does not fit.
#pragma once

#include <cstdint>
#include <string>

// Engineering value to raw count over RealLo..RealHi -> ManuLo..ManuHi.
// Returns 0 when RealHi, taken as a whole number, lies less than half a unit
// from RealLo.
int16_t ConvRealValToManuVal(const float& RealVal, const double& RealHi, const double& RealLo,
                             const double& ManuHi, const double& ManuLo);

// Raw count to engineering value (single precision). Returns 0 when the
// whole-number ManuHi lies less than half a unit from ManuLo.
float ConvManuValToRealVal(const int16_t& ManuVal, const double& RealHi, const double& RealLo,
                           const double& ManuHi, const double& ManuLo);

// Raw count of an analog output value for codes 48 to 53 (clamped to the
// code's interval first); 0 for every other code.
int16_t ConverValue2BitDec(float value, int16_t rangeCode);

// Display text ("#0.000") of a live analog count; "0" for codes without a
// formula, "9999.9" / "-9999.9" for thermocouple and RTD counts outside
// 0 to 10000.
std::string ConverBitDec2Value(const int16_t& rawValue, const int16_t& rangeCode,
                               const int16_t& scaleLow, const int16_t& scaleHigh);

// 0 <= v < 4294967296 to a signed 32-bit value (wrapping above 2147483647).
int32_t UnsignedToLong(double value);
double LongToUnsigned(int32_t value);
// 0 to 65535 to a signed 16-bit value (wrapping above 32767).
int16_t UnsignedToInteger(int32_t value);
int32_t IntegerToUnsigned(int16_t value);
// Field 1 to 4 of a dotted text such as "10.0.3.7"; 0 for another field
// number or a field the text lacks.
int16_t GetDottedField(const std::string& text, int field);
