// Runtime helpers: the numeric and text rules the programs share (16-bit and
// 32-bit integers that overflow with an error, rounding half to even,
// leading-number parsing, fixed-pattern formatting, Hex, Trim), so that the
// station's fields and the files' texts are converted one way everywhere, and
// the run-time error that carries a number and its standard description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rt {

// Standard run-time error numbers used by the programs.
enum ErrorNumber : int {
    ErrInvalidProcedureCall = 5,
    ErrOverflow = 6,
    ErrOutOfMemory = 7,
    ErrSubscriptOutOfRange = 9,
    ErrDivisionByZero = 11,
    ErrTypeMismatch = 13,
    ErrBadFileNameOrNumber = 52,
    ErrFileNotFound = 53,
    ErrBadFileMode = 54,
    ErrFileAlreadyOpen = 55,
    ErrDeviceIO = 57,
    ErrFileAlreadyExists = 58,
    ErrDiskFull = 61,
    ErrInputPastEnd = 62,
    ErrBadFileName = 64,
    ErrTooManyFiles = 67,
    ErrPermissionDenied = 70,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
};

// The standard description of an error number ("Overflow", "Subscript out of
// range", ...); "Application-defined or object-defined error" for others.
std::string ErrorDescription(int number);

class RuntimeError : public std::runtime_error {
  public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);
    int Number() const { return number_; }
    const std::string& Description() const { return description_; }

  private:
    int number_;
    std::string description_;
};

[[noreturn]] void Raise(int number);

// Maps an errno value of a failed file operation to the matching run-time
// error number (ENOENT -> File not found, EACCES -> Permission denied, ...).
int ErrorNumberFromErrno(int err);

// ---- Numbers -------------------------------------------------------------

// Rounds to the nearest whole number, an exact half to the even neighbour.
double RoundHalfEven(double v);

// Conversions of a floating-point value to an integer type: round half to
// even, then raise Overflow (6) when the result does not fit (NaN too).
int16_t CInt(double v);
int32_t CLng(double v);
uint8_t CByte(double v);
// Single precision: rounds to the nearest float; Overflow beyond its range.
float CSng(double v);

// Checked narrowing of an exact integer result (16-bit and 32-bit arithmetic
// that overflows with the run-time error instead of wrapping).
int16_t CheckedInt(long long v);
uint8_t CheckedByte(long long v);

// Leading-number parsing: blanks, tabs and line feeds are skipped anywhere,
// an optional sign, digits, "." and an exponent (E or D) are read as far as
// they form a number; "&H" and "&O" prefixes read hex and octal. Anything
// else ends the number; no number at all gives 0. The decimal point is
// always ".", whatever the process locale.
double Val(std::string_view text);

// A number typed for an output: Val's reading of the text as a single. A
// text in which Val finds no digit (it would read 0) raises Type mismatch
// and a number beyond a single Overflow, so that neither drives an output.
float TypedSingle(std::string_view text);

// Formats with a fixed pattern of the form "#...#0...0[.0...0]": at least as
// many integer digits as the pattern has zeros before the point, exactly as
// many decimals as zeros after it. Rounds half away from zero on the decimal
// digits of the value (15 significant digits for a Double, 7 for a Single,
// themselves taken with an exact half away from zero: 1337.5625 as a Single
// is 1337.563).
// A result that rounds to zero carries no minus sign.
std::string Format(double v, std::string_view pattern);
std::string FormatSingle(float v, std::string_view pattern);

// Text of a number as files and lists show it: at most 15 significant
// digits, no trailing zeros, "." as the decimal point whatever the locale,
// and the exponent form ("1E+15", "1E-06") when the decimal exponent is at
// least the digit count or below -5.
std::string CStr(double v);
std::string CStr(long long v);

// Upper-case hexadecimal without leading zeros. A negative 32-bit value gives
// its two's complement in 8 digits; HexInt gives a negative 16-bit value in 4.
std::string Hex(int32_t v);
std::string HexInt(int16_t v);

// ---- Text ----------------------------------------------------------------

// Removes blanks (spaces only, not tabs) from both ends / the left / the right.
std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);

// Case-insensitive comparison of ASCII text, used for the INI file's section
// and key names.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace rt
