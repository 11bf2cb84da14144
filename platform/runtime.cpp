#include "platform/runtime.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace rt {

std::string ErrorDescription(int number) {
    switch (number) {
        case ErrInvalidProcedureCall:
            return "Invalid procedure call or argument";
        case ErrOverflow:
            return "Overflow";
        case ErrOutOfMemory:
            return "Out of memory";
        case ErrSubscriptOutOfRange:
            return "Subscript out of range";
        case ErrDivisionByZero:
            return "Division by zero";
        case ErrTypeMismatch:
            return "Type mismatch";
        case ErrBadFileNameOrNumber:
            return "Bad file name or number";
        case ErrFileNotFound:
            return "File not found";
        case ErrBadFileMode:
            return "Bad file mode";
        case ErrFileAlreadyOpen:
            return "File already open";
        case ErrDeviceIO:
            return "Device I/O error";
        case ErrFileAlreadyExists:
            return "File already exists";
        case ErrDiskFull:
            return "Disk full";
        case ErrInputPastEnd:
            return "Input past end of file";
        case ErrBadFileName:
            return "Bad file name";
        case ErrTooManyFiles:
            return "Too many files";
        case ErrPermissionDenied:
            return "Permission denied";
        case ErrPathFileAccess:
            return "Path/File access error";
        case ErrPathNotFound:
            return "Path not found";
        default:
            return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

void Raise(int number) { throw RuntimeError(number); }

int ErrorNumberFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return ErrFileNotFound;
        case ENOTDIR:
            return ErrPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return ErrPermissionDenied;
        case ENOSPC:
        case EDQUOT:
            return ErrDiskFull;
        case EMFILE:
        case ENFILE:
            return ErrTooManyFiles;
        case ENAMETOOLONG:
            return ErrBadFileName;
        case EIO:
            return ErrDeviceIO;
        case EEXIST:
            return ErrFileAlreadyExists;
        default:
            return ErrPathFileAccess;
    }
}

// ---- Numbers -------------------------------------------------------------

double RoundHalfEven(double v) {
    // nearbyint rounds in the current rounding mode, which the programs never
    // change from round-to-nearest-even.
    return std::nearbyint(v);
}

namespace {

template <typename T>
T RoundedInto(double v) {
    const double r = RoundHalfEven(v);
    if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
          r <= static_cast<double>(std::numeric_limits<T>::max()))) {
        Raise(ErrOverflow);  // also NaN, which fails both comparisons
    }
    return static_cast<T>(r);
}

template <typename T>
T CheckedInto(long long v) {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) Raise(ErrOverflow);
    return static_cast<T>(v);
}

// Splits the scientific text of to_chars into its digits and exponent.
void SplitScientific(std::string_view text, std::string& digits, int& exp10) {
    digits.clear();
    const size_t e = text.find('e');
    for (size_t i = 0; i < e; ++i)
        if (text[i] != '.') digits.push_back(text[i]);
    exp10 = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exp10);
}

enum class Ties { ToEven, AwayFromZero };

// The first `sig` significant decimal digits of |v| (correctly rounded, an
// exact half as `ties` says) and the decimal exponent of the first digit.
// Zero gives "0" and exponent 0.
template <typename F>
void DecimalDigits(F v, int sig, std::string& digits, int& exp10, Ties ties = Ties::ToEven) {
    const F a = std::fabs(v);
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, sig - 1);
    SplitScientific(std::string_view(buf, static_cast<size_t>(res.ptr - buf)), digits, exp10);
    if (a == 0) {
        exp10 = 0;
        return;
    }
    if (ties == Ties::ToEven) return;
    // An exact half shows as a last digit 5 one digit further on; only then
    // is the exact expansion (at most 767 significant digits) looked at.
    res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, sig);
    const std::string_view longer(buf, static_cast<size_t>(res.ptr - buf));
    if (longer[longer.find('e') - 1] != '5') return;
    char exact[1200];
    res = std::to_chars(exact, exact + sizeof exact, a, std::chars_format::scientific, 800);
    std::string all;
    int allExp = 0;
    SplitScientific(std::string_view(exact, static_cast<size_t>(res.ptr - exact)), all, allExp);
    const size_t n = static_cast<size_t>(sig);
    if (all.size() <= n || all[n] != '5' || all.find_first_not_of('0', n + 1) != std::string::npos)
        return;
    // A half: away from zero is one up in the last kept digit.
    digits = all.substr(0, n);
    exp10 = allExp;
    int i = sig - 1;
    while (i >= 0 && digits[static_cast<size_t>(i)] == '9') digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
        digits.insert(digits.begin(), '1');
        digits.pop_back();
        ++exp10;
    } else {
        ++digits[static_cast<size_t>(i)];
    }
}

struct Pattern {
    int intZeros = 0;  // minimum number of integer digits
    int decimals = 0;  // exact number of decimals
    bool point = false;
};

Pattern ParsePattern(std::string_view pattern) {
    Pattern p;
    bool afterPoint = false;
    for (char c : pattern) {
        if (c == '.') {
            afterPoint = true;
            p.point = true;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++p.decimals;  // the patterns in use have only zeros after the point
            } else if (c == '0') {
                ++p.intZeros;
            }
        }
    }
    return p;
}

template <typename F>
std::string FormatWith(F v, std::string_view pattern, int sig) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
    const Pattern p = ParsePattern(pattern);
    std::string digits;
    int e = 0;
    DecimalDigits(v, sig, digits, e, Ties::AwayFromZero);
    // Digits of |v| scaled by 10^decimals, rounded half away from zero.
    std::string scaled;
    const int firstPower = e + p.decimals;  // power of ten of digits[0] after scaling
    if (v == 0 || firstPower < -1) {
        scaled = "0";
    } else if (firstPower == -1) {
        scaled = digits[0] >= '5' ? "1" : "0";
    } else {
        const size_t keep = static_cast<size_t>(firstPower) + 1;
        scaled = digits.substr(0, std::min(keep, digits.size()));
        scaled.append(keep - scaled.size(), '0');
        const char next = keep < digits.size() ? digits[keep] : '0';
        if (next >= '5') {
            int i = static_cast<int>(scaled.size()) - 1;
            while (i >= 0 && scaled[static_cast<size_t>(i)] == '9')
                scaled[static_cast<size_t>(i--)] = '0';
            if (i < 0) {
                scaled.insert(scaled.begin(), '1');
            } else {
                ++scaled[static_cast<size_t>(i)];
            }
        }
    }
    const bool zero = scaled.find_first_not_of('0') == std::string::npos;
    // Leading zeros: at least intZeros integer digits plus the decimals.
    const size_t minLen = static_cast<size_t>(p.intZeros) + static_cast<size_t>(p.decimals);
    if (scaled.size() < minLen) scaled.insert(0, minLen - scaled.size(), '0');
    std::string intPart = scaled.substr(0, scaled.size() - static_cast<size_t>(p.decimals));
    const size_t nz = intPart.find_first_not_of('0');
    const size_t keepInt = std::max<size_t>(static_cast<size_t>(p.intZeros),
                                            nz == std::string::npos ? 0 : intPart.size() - nz);
    intPart = intPart.substr(intPart.size() - std::min(keepInt, intPart.size()));
    std::string out = (v < 0 && !zero) ? "-" : "";
    out += intPart;
    if (p.point && p.decimals > 0) {
        out += '.';
        out += scaled.substr(scaled.size() - static_cast<size_t>(p.decimals));
    } else if (p.point && p.decimals == 0) {
        out += '.';
    }
    return out;
}

template <typename F>
std::string CStrWith(F v, int sig) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
    if (v == 0) return "0";
    std::string digits;
    int e = 0;
    DecimalDigits(v, sig, digits, e);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = v < 0 ? "-" : "";
    if (e >= sig || e < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        char ebuf[16];
        std::snprintf(ebuf, sizeof ebuf, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
        out += ebuf;
    } else if (e < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-e - 1), '0');
        out += digits;
    } else {
        const size_t intLen = static_cast<size_t>(e) + 1;
        if (digits.size() <= intLen) {
            out += digits;
            out.append(intLen - digits.size(), '0');
        } else {
            out += digits.substr(0, intLen);
            out += '.';
            out += digits.substr(intLen);
        }
    }
    return out;
}

bool IsSkippedBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

int16_t CInt(double v) { return RoundedInto<int16_t>(v); }
int32_t CLng(double v) { return RoundedInto<int32_t>(v); }
uint8_t CByte(double v) { return RoundedInto<uint8_t>(v); }

float CSng(double v) {
    if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
    const float f = static_cast<float>(v);
    if (std::isinf(f) && !std::isinf(v)) Raise(ErrOverflow);
    return f;
}

int16_t CheckedInt(long long v) { return CheckedInto<int16_t>(v); }
uint8_t CheckedByte(long long v) { return CheckedInto<uint8_t>(v); }

float TypedSingle(std::string_view text) {
    std::string s;
    for (char c : text)
        if (!IsSkippedBlank(c)) s.push_back(c);
    const auto digitAt = [&s](size_t at, int base) {
        if (at >= s.size()) return false;
        const int c = std::toupper(static_cast<unsigned char>(s[at]));
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        return d >= 0 && d < base;
    };
    bool number = false;
    const int radix =
        s.size() >= 2 && s[0] == '&' ? std::toupper(static_cast<unsigned char>(s[1])) : 0;
    if (radix == 'H' || radix == 'O') {
        number = digitAt(2, radix == 'H' ? 16 : 8);
    } else {
        size_t i = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
        if (i < s.size() && s[i] == '.') ++i;
        number = digitAt(i, 10);
    }
    if (!number) Raise(ErrTypeMismatch);
    const double v = Val(s);
    if (!(std::fabs(v) <= std::numeric_limits<float>::max())) Raise(ErrOverflow);
    return static_cast<float>(v);
}

double Val(std::string_view text) {
    // Collect the characters that may belong to the number, skipping blanks.
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (!IsSkippedBlank(c)) s.push_back(c);

    size_t i = 0;
    if (s.size() >= 2 && s[0] == '&' &&
        (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const bool hex = s[1] == 'H' || s[1] == 'h';
        const int base = hex ? 16 : 8;
        unsigned long long acc = 0;
        for (i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || d >= base) break;
            acc = acc * static_cast<unsigned>(base) + static_cast<unsigned>(d);
            // Leading zeros are no overflow; a value beyond 32 bits is.
            if (acc > 0xFFFFFFFFull) Raise(ErrOverflow);
        }
        if (acc <= 0xFFFF)
            return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(acc)));
        return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(acc)));
    }

    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) num.push_back(s[i++]);
    bool anyDigit = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        num.push_back(s[i++]);
        anyDigit = true;
    }
    if (i < s.size() && s[i] == '.') {
        num.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            num.push_back(s[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit) return 0.0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        std::string ex = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ex.push_back(s[j++]);
        bool expDigit = false;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            ex.push_back(s[j++]);
            expDigit = true;
        }
        if (expDigit) num += ex;
    }
    // from_chars does not accept a leading '+' and is locale-independent.
    std::string_view body(num);
    bool negative = false;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    double out = 0;
    const auto res = std::from_chars(body.data(), body.data() + body.size(), out);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large for a Double is an overflow; too small is zero. Which
        // one: the power of ten of the first digit that is not 0, plus the
        // exponent (only its sign matters this far out).
        const size_t point = std::min({body.find('.'), body.find('e'), body.size()});
        const size_t first = body.find_first_of("123456789");
        long long power = first < point ? static_cast<long long>(point - first) - 1
                                        : -static_cast<long long>(first - point);
        const size_t e = body.find('e');
        if (e != std::string_view::npos) {
            long long x = 0;
            for (size_t k = e + 1; k < body.size(); ++k)
                if (body[k] >= '0' && body[k] <= '9')
                    x = std::min(x * 10 + (body[k] - '0'), 1LL << 40);
            power += body.find("e-") != std::string_view::npos ? -x : x;
        }
        if (power >= 0) Raise(ErrOverflow);
        out = 0.0;
    }
    return negative ? -out : out;
}

std::string Format(double v, std::string_view pattern) { return FormatWith(v, pattern, 15); }
std::string FormatSingle(float v, std::string_view pattern) { return FormatWith(v, pattern, 7); }

std::string CStr(double v) { return CStrWith(v, 15); }
std::string CStr(long long v) { return std::to_string(v); }

std::string Hex(int32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<uint32_t>(v));
    return buf;
}

std::string HexInt(int16_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(static_cast<uint16_t>(v)));
    return buf;
}

// ---- Text ----------------------------------------------------------------

std::string LTrim(std::string_view s) {
    const size_t b = s.find_first_not_of(' ');
    return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

std::string RTrim(std::string_view s) {
    const size_t e = s.find_last_not_of(' ');
    return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}

std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace rt
