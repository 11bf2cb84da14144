#include "platform/runtime.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace rt;

TEST(RuntimeRounding, TiesGoToEven) {
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CInt(-32768.5), -32768);
    EXPECT_THROW(CInt(32767.5), RuntimeError);
}

namespace {

int ErrorNumberOf(double (*f)(double), double v) {
    try {
        f(v);
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

double ViaCInt(double v) { return CInt(v); }
double ViaCLng(double v) { return CLng(v); }
double ViaCByte(double v) { return CByte(v); }
double ViaCSng(double v) { return CSng(v); }

// Switches LC_NUMERIC for one test and puts the old one back.
class NumericLocale {
  public:
    explicit NumericLocale(const char* name) : old_(std::setlocale(LC_NUMERIC, nullptr)) {
        ok_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, old_.c_str()); }
    bool ok() const { return ok_; }

  private:
    std::string old_;
    bool ok_ = false;
};

// Every helper that turns text into numbers or numbers into text, with
// results that a decimal comma or a locale-dependent library call would
// change.
void ExpectLocaleFreeNumbers() {
    EXPECT_EQ(Val("1.5E3"), 1500.0);
    EXPECT_EQ(Val("-.5"), -0.5);
    EXPECT_EQ(Val("3,25"), 3.0);
    EXPECT_EQ(Format(-1234.5678, "####0.0"), "-1234.6");
    EXPECT_EQ(Format(0.0625, "#0.000"), "0.063");
    EXPECT_EQ(CStr(2.5), "2.5");
    EXPECT_EQ(CStr(1.0 / 3.0), "0.333333333333333");
}

}  // namespace

TEST(RuntimeRounding, IntegerConversionsRoundTiesToEvenAndOverflowAtTheEdges) {
    EXPECT_EQ(CInt(0.5), 0);
    EXPECT_EQ(CInt(1.5), 2);
    EXPECT_EQ(CInt(-0.5), 0);
    EXPECT_EQ(CInt(-1.5), -2);
    EXPECT_EQ(CInt(2.5000001), 3);
    EXPECT_EQ(CInt(-2.4999999), -2);
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(CInt(32766.5), 32766);
    EXPECT_EQ(CInt(-32768.0), -32768);
    EXPECT_EQ(ErrorNumberOf(ViaCInt, 32767.5), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCInt, -32768.6), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCInt, 1e300), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCInt, std::nan("")), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCInt, HUGE_VAL), ErrOverflow);

    EXPECT_EQ(CLng(2147483646.5), 2147483646);
    EXPECT_EQ(CLng(2147483647.4), 2147483647);
    EXPECT_EQ(CLng(-2147483648.5), -2147483648);
    EXPECT_EQ(CLng(-2.5), -2);
    EXPECT_EQ(CLng(65535.5), 65536);
    EXPECT_EQ(ErrorNumberOf(ViaCLng, 2147483647.5), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCLng, -2147483648.6), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCLng, -HUGE_VAL), ErrOverflow);

    EXPECT_EQ(CByte(254.5), 254);
    EXPECT_EQ(CByte(255.4), 255);
    EXPECT_EQ(CByte(-0.5), 0);
    EXPECT_EQ(CByte(0.5), 0);
    EXPECT_EQ(CByte(1.5), 2);
    EXPECT_EQ(ErrorNumberOf(ViaCByte, 255.5), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCByte, -0.51), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCByte, -1), ErrOverflow);

    EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
    EXPECT_EQ(RoundHalfEven(4.5), 4.0);
}

TEST(RuntimeRounding, SingleAndCheckedIntegerNarrowing) {
    EXPECT_EQ(CSng(0.1), 0.1f);
    EXPECT_EQ(CSng(3.4028234663852886e38), 3.4028234663852886e38f);
    EXPECT_TRUE(std::isnan(CSng(std::nan(""))));
    EXPECT_EQ(ErrorNumberOf(ViaCSng, 1e39), ErrOverflow);
    EXPECT_EQ(ErrorNumberOf(ViaCSng, -1e39), ErrOverflow);

    EXPECT_EQ(CheckedInt(-32768), -32768);
    EXPECT_EQ(CheckedByte(255), 255);
    EXPECT_THROW(CheckedInt(32768), RuntimeError);
    EXPECT_THROW(CheckedInt(-32769), RuntimeError);
    EXPECT_THROW(CheckedByte(-1), RuntimeError);
    EXPECT_THROW(CheckedByte(256), RuntimeError);
}

TEST(RuntimeVal, ReadsTheLeadingNumberAndIgnoresTheRest) {
    EXPECT_EQ(Val("  12abc"), 12.0);
    EXPECT_EQ(Val("1.5E3"), 1500.0);
    EXPECT_EQ(Val("1.5e-3"), 0.0015);
    EXPECT_EQ(Val("1D2"), 100.0);
    EXPECT_EQ(Val(""), 0.0);
    EXPECT_EQ(Val("abc"), 0.0);
    EXPECT_EQ(Val("-.5"), -0.5);
    EXPECT_EQ(Val("+7"), 7.0);
    EXPECT_EQ(Val("- 5"), -5.0);
    EXPECT_EQ(Val("--5"), 0.0);
    EXPECT_EQ(Val("1 2 3"), 123.0);
    EXPECT_EQ(Val("\t7\r\n"), 7.0);
    EXPECT_EQ(Val("12e"), 12.0);
    EXPECT_EQ(Val("1e+"), 1.0);
    EXPECT_EQ(Val("1e5x"), 100000.0);
    EXPECT_EQ(Val("1.2.3"), 1.2);
    EXPECT_EQ(Val("1,5"), 1.0);
    EXPECT_EQ(Val(".e5"), 0.0);
    EXPECT_EQ(Val("0x10"), 0.0);
    EXPECT_EQ(Val("1e-400"), 0.0);
    EXPECT_EQ(Val("0." + std::string(400, '0') + "1"), 0.0);  // too small, without exponent
    EXPECT_EQ(Val("-0.0000001e-400"), 0.0);
    EXPECT_THROW(Val(std::string(400, '9') + ".5e-10"), rt::RuntimeError);
    EXPECT_THROW(Val("-" + std::string(400, '9')), rt::RuntimeError);
    EXPECT_EQ(Val("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_THROW(Val("1e400"), RuntimeError);
    EXPECT_THROW(Val("-1.8e308"), RuntimeError);
}

TEST(RuntimeVal, HexAndOctalGiveSixteenOrThirtyTwoBitValues) {
    EXPECT_EQ(Val("&HFFFF"), -1.0);
    EXPECT_EQ(Val("&H7FFF"), 32767.0);
    EXPECT_EQ(Val("&H8000"), -32768.0);
    EXPECT_EQ(Val("&H10000"), 65536.0);
    EXPECT_EQ(Val("&HFFFFFFFF"), -1.0);
    EXPECT_EQ(Val("&h7fffffff"), 2147483647.0);
    EXPECT_EQ(Val("&H1G"), 1.0);
    EXPECT_EQ(Val("&H"), 0.0);
    EXPECT_EQ(Val("&H000000000001"), 1.0);  // leading zeros are no overflow
    EXPECT_EQ(Val("&O17"), 15.0);
    EXPECT_EQ(Val("&O178"), 15.0);
    EXPECT_EQ(Val("&O177777"), -1.0);
    EXPECT_THROW(Val("&H100000000"), RuntimeError);
    EXPECT_THROW(Val("&O40000000000"), RuntimeError);
}

// A typed output value: Val's number, or the error that keeps the output
// as it is (0 is a mismatch, not a value read from the text).
TEST(RuntimeVal, TypedSingleRefusesTextsWithoutANumber) {
    struct Case {
        const char* text;
        float value;
        int error;
    };
    const Case cases[] = {{" 5 V", 5.0f, 0},      {"-.5", -0.5f, 0}, {"&H10", 16.0f, 0},
                          {"1.5E3x", 1500.0f, 0}, {"abc", 0, 13},    {"", 0, 13},
                          {"-", 0, 13},           {".", 0, 13},      {"&Hz", 0, 13},
                          {"&O9", 0, 13},         {"1e39", 0, 6}};
    for (const Case& c : cases) {
        try {
            EXPECT_EQ(TypedSingle(c.text), c.value) << c.text;
            EXPECT_EQ(c.error, 0) << c.text;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), c.error) << c.text;
        }
    }
}

TEST(RuntimeFormat, FixedPatternsRoundHalfAwayFromZeroOnTheDecimalDigits) {
    EXPECT_EQ(Format(1.2345, "#0.000"), "1.235");  // 1.2344999... in binary
    EXPECT_EQ(Format(-1.2345, "#0.000"), "-1.235");
    EXPECT_EQ(Format(0, "#0.000"), "0.000");
    EXPECT_EQ(Format(7, "#0.000"), "7.000");
    EXPECT_EQ(Format(-0.0004, "#0.000"), "0.000");  // no "-0.000"
    EXPECT_EQ(Format(-0.0005, "#0.000"), "-0.001");
    EXPECT_EQ(Format(2.5, "####0.0"), "2.5");
    EXPECT_EQ(Format(-9999.95, "####0.0"), "-10000.0");
    EXPECT_EQ(Format(123456.75, "####0.0"), "123456.8");  // more digits than the pattern
    EXPECT_EQ(Format(12345.67, "######0.0"), "12345.7");
    EXPECT_EQ(Format(-0.05, "######0.0"), "-0.1");
    EXPECT_EQ(Format(0.04, "######0.0"), "0.0");
    EXPECT_EQ(Format(1234567.891, "######0.0"), "1234567.9");
    EXPECT_EQ(Format(-1.005, "#0.00"), "-1.01");
    EXPECT_EQ(Format(0.125, "#0.00"), "0.13");
    EXPECT_EQ(Format(-0.125, "#0.00"), "-0.13");
    EXPECT_EQ(Format(99.995, "#0.00"), "100.00");
    EXPECT_EQ(Format(-3, "#0.00"), "-3.00");
    EXPECT_EQ(Format(0.004, "#0.00"), "0.00");
    EXPECT_EQ(Format(-0.004, "#0.00"), "0.00");
    EXPECT_EQ(Format(1e-20, "#0.00"), "0.00");
    EXPECT_EQ(Format(2.5, "#0"), "3");
    EXPECT_EQ(Format(-2.5, "#0"), "-3");
    // Single precision is rounded on its own 7 significant digits.
    EXPECT_EQ(FormatSingle(2.675f, "#0.00"), "2.68");
    EXPECT_EQ(Format(static_cast<double>(2.675f), "#0.00"), "2.67");
    EXPECT_EQ(FormatSingle(0.1f, "#0.000"), "0.100");
}

TEST(RuntimeCStr, FifteenSignificantDigitsWithAPointAlways) {
    EXPECT_EQ(CStr(0.1), "0.1");
    EXPECT_EQ(CStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(CStr(2.0 / 3.0), "0.666666666666667");
    EXPECT_EQ(CStr(-2.5), "-2.5");
    EXPECT_EQ(CStr(100.0), "100");
    EXPECT_EQ(CStr(-0.0), "0");
    EXPECT_EQ(CStr(32767.0), "32767");
    EXPECT_EQ(CStr(12345678901234.5), "12345678901234.5");
    EXPECT_EQ(CStr(999999999999999.0), "999999999999999");
    EXPECT_EQ(CStr(1e15), "1E+15");
    EXPECT_EQ(CStr(1234567890123456.0), "1.23456789012346E+15");
    EXPECT_EQ(CStr(-1e300), "-1E+300");
    EXPECT_EQ(CStr(0.00001), "0.00001");
    EXPECT_EQ(CStr(0.000001), "1E-06");
    EXPECT_EQ(CStr(1.5e-7), "1.5E-07");
    EXPECT_EQ(CStr(-42LL), "-42");
}

// Builds a German locale into a private folder when none is installed
// (localedef ships with the C library); empty when that fails too.
std::string BuildGermanLocale(const std::string& folder) {
    const std::string cmd =
        "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    // localedef warns with exit code 1 and still writes the locale.
    if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) > 1) return std::string();
    return folder;
}

TEST(RuntimeLocale, NumbersIgnoreTheProcessLocale) {
    {
        NumericLocale c("C");
        ASSERT_TRUE(c.ok());
        ExpectLocaleFreeNumbers();
    }
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"}) {
        NumericLocale comma(name);
        if (!comma.ok()) continue;
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
        ExpectLocaleFreeNumbers();
        return;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "nx_locale_XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string built = BuildGermanLocale(folder);
    bool ran = false;
    if (!built.empty()) {
        setenv("LOCPATH", built.c_str(), 1);
        {
            NumericLocale german("de_DE.UTF-8");
            if (german.ok()) {
                ASSERT_STREQ(std::localeconv()->decimal_point, ",");
                ExpectLocaleFreeNumbers();
                ran = true;
            }
        }
        unsetenv("LOCPATH");
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (!ran) GTEST_SKIP() << "no locale with a decimal comma is available";
}

TEST(RuntimeText, HexTrimAndNameComparison) {
    EXPECT_EQ(Hex(-1), "FFFFFFFF");
    EXPECT_EQ(Hex(INT32_MIN), "80000000");
    EXPECT_EQ(Hex(0), "0");
    EXPECT_EQ(Hex(255), "FF");
    EXPECT_EQ(Hex(-32768), "FFFF8000");
    EXPECT_EQ(HexInt(-1), "FFFF");
    EXPECT_EQ(HexInt(-32768), "8000");
    EXPECT_EQ(HexInt(4097), "1001");

    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("  \tx\t  "), "\tx\t");  // blanks only, not tabs
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(LTrim("  a "), "a ");
    EXPECT_EQ(RTrim("  a "), "  a");
    EXPECT_EQ(RTrim("a\t"), "a\t");

    EXPECT_TRUE(EqualsNoCase("Node0_Slot1", "NODE0_SLOT1"));
    EXPECT_FALSE(EqualsNoCase("Node0_Slot1", "Node0_Slot1 "));
    EXPECT_FALSE(EqualsNoCase("a", "b"));
}

TEST(RuntimeErrors, NumbersCarryTheirStandardDescriptions) {
    try {
        Raise(ErrSubscriptOutOfRange);
        ADD_FAILURE() << "Raise returned";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 9);
        EXPECT_EQ(e.Description(), "Subscript out of range");
        EXPECT_STREQ(e.what(), "Subscript out of range");
    }
    EXPECT_EQ(ErrorDescription(6), "Overflow");
    EXPECT_EQ(ErrorDescription(70), "Permission denied");
    EXPECT_EQ(ErrorDescription(76), "Path not found");
    EXPECT_EQ(ErrorDescription(1234), "Application-defined or object-defined error");
    EXPECT_EQ(RuntimeError(5, "custom").Description(), "custom");

    EXPECT_EQ(ErrorNumberFromErrno(ENOENT), ErrFileNotFound);
    EXPECT_EQ(ErrorNumberFromErrno(ENOTDIR), ErrPathNotFound);
    EXPECT_EQ(ErrorNumberFromErrno(EACCES), ErrPermissionDenied);
    EXPECT_EQ(ErrorNumberFromErrno(EROFS), ErrPermissionDenied);
    EXPECT_EQ(ErrorNumberFromErrno(ENOSPC), ErrDiskFull);
    EXPECT_EQ(ErrorNumberFromErrno(EISDIR), ErrPathFileAccess);
}
