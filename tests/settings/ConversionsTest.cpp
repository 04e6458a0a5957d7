// The text conversions of the settings edits: strict integer and real, the lenient scans, and the
// C-locale formatting.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/Capture.h"
#include "settings/Conversions.h"

namespace {

std::string IntegerMessage(const std::string& text) {
    try {
        StrictInteger(text);
    } catch (const ConversionError& error) {
        return error.what();
    }
    return "(converted)";
}

std::string RealMessage(const std::string& text) {
    try {
        StrictReal(text);
    } catch (const ConversionError& error) {
        return error.what();
    }
    return "(converted)";
}

TEST(StrictInteger, AcceptsDecimalWithBlanksBeforeAndSign) {
    EXPECT_EQ(StrictInteger("12"), 12);
    EXPECT_EQ(StrictInteger("   -7"), -7);
    EXPECT_EQ(StrictInteger("+5"), 5);
    EXPECT_EQ(StrictInteger("007"), 7);
    EXPECT_EQ(StrictInteger("2147483647"), 2147483647);
    EXPECT_EQ(StrictInteger("-2147483648"), std::numeric_limits<int32_t>::min());
}

TEST(StrictInteger, AcceptsHexadecimalWithEveryPrefixInEitherCase) {
    EXPECT_EQ(StrictInteger("$FF"), 255);
    EXPECT_EQ(StrictInteger("$ff"), 255);
    EXPECT_EQ(StrictInteger("x1f"), 31);
    EXPECT_EQ(StrictInteger("X1F"), 31);
    EXPECT_EQ(StrictInteger("0x10"), 16);
    EXPECT_EQ(StrictInteger("0X10"), 16);
    EXPECT_EQ(StrictInteger(" -$1"), -1);
    EXPECT_EQ(StrictInteger("$FFFFFFFF"), -1);  // all 32 bits
}

TEST(StrictInteger, RejectsEverythingElseWithTheExactMessage) {
    EXPECT_EQ(IntegerMessage(""), "'' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("   "), "'   ' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("12 "), "'12 ' is not a valid integer value");  // blanks after are not allowed
    EXPECT_EQ(IntegerMessage("1.0"), "'1.0' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("1e3"), "'1e3' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("-"), "'-' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("$"), "'$' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("0x"), "'0x' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("$G"), "'$G' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("2147483648"), "'2147483648' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("-2147483649"), "'-2147483649' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("$100000000"), "'$100000000' is not a valid integer value");
    EXPECT_EQ(IntegerMessage("99999999999999999999999"),
              "'99999999999999999999999' is not a valid integer value");
}

TEST(StrictReal, AcceptsDecimalNumbersWithBlanksAround) {
    EXPECT_EQ(StrictReal("1.5"), 1.5L);
    EXPECT_EQ(StrictReal("  -1.5e3  "), -1500.0L);
    EXPECT_EQ(StrictReal("+.5"), 0.5L);
    EXPECT_EQ(StrictReal("5."), 5.0L);
    EXPECT_EQ(StrictReal("1E-3"), 1e-3L);
    EXPECT_EQ(StrictReal("2e+2"), 200.0L);
    EXPECT_TRUE(std::signbit(StrictReal("-0.0")));
    EXPECT_EQ(StrictReal("1e-5000"), 0.0L);  // underflow gives zero, not an error
}

TEST(StrictReal, HoldsTheValueInExtendedPrecision) {
    EXPECT_EQ(StrictReal("0.1"), 0.1L);
    EXPECT_NE(StrictReal("0.1"), static_cast<long double>(0.1));
}

TEST(StrictReal, RejectsEverythingElseWithTheExactMessage) {
    EXPECT_EQ(RealMessage(""), "'' is not a valid floating point value");
    EXPECT_EQ(RealMessage("."), "'.' is not a valid floating point value");
    EXPECT_EQ(RealMessage("1,5"), "'1,5' is not a valid floating point value");
    EXPECT_EQ(RealMessage("1.2.3"), "'1.2.3' is not a valid floating point value");
    EXPECT_EQ(RealMessage("1e"), "'1e' is not a valid floating point value");
    EXPECT_EQ(RealMessage("e5"), "'e5' is not a valid floating point value");
    EXPECT_EQ(RealMessage("inf"), "'inf' is not a valid floating point value");
    EXPECT_EQ(RealMessage("nan"), "'nan' is not a valid floating point value");
    EXPECT_EQ(RealMessage("0x10"), "'0x10' is not a valid floating point value");
    EXPECT_EQ(RealMessage("1.0e-3abc"), "'1.0e-3abc' is not a valid floating point value");
    EXPECT_EQ(RealMessage("1e5000"), "'1e5000' is not a valid floating point value");
}

TEST(StrictReal, AValueBeyondItsFieldRaisesTheFloatingPointError) {
    EXPECT_EQ(StrictRealToSingle(3.4e38L, "3.4e38"), 3.4e38f);
    try {
        StrictRealToSingle(3.5e38L, "3.5e38");
        FAIL() << "no error";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'3.5e38' is not a valid floating point value");
    }
    EXPECT_THROW(StrictRealToSingle(-1e39L, "-1e39"), ConversionError);
    EXPECT_EQ(StrictRealToDouble(1e308L, "1e308"), 1e308);
    EXPECT_THROW(StrictRealToDouble(1e309L, "1e309"), ConversionError);
    // Tiny values round to zero or a subnormal and are kept.
    EXPECT_EQ(StrictRealToSingle(1e-50L, "1e-50"), 0.0f);
}

TEST(LenientScan, TakesTheNumberAtTheStartAndIgnoresTheRest) {
    EXPECT_EQ(ScanDouble("1.0e-3abc"), 0.001);
    EXPECT_EQ(ScanDouble("  2.5 s"), 2.5);
    EXPECT_EQ(ScanDouble("-3"), -3.0);
    EXPECT_EQ(ScanSingle("1.5m"), 1.5f);
    EXPECT_EQ(ScanSingle("0.1"), 0.1f);  // rounded once, straight to single
    EXPECT_EQ(ScanInteger32("12abc"), 12);
    EXPECT_EQ(ScanInteger32(" -1"), -1);
    EXPECT_EQ(ScanInteger32("0x10"), 0);  // "%ld" reads decimal only
}

TEST(LenientScan, NoNumberAtTheStartGivesNothing) {
    EXPECT_FALSE(ScanDouble("").has_value());
    EXPECT_FALSE(ScanDouble("abc").has_value());
    EXPECT_FALSE(ScanSingle("m 1.5").has_value());
    EXPECT_FALSE(ScanInteger32("").has_value());
    EXPECT_FALSE(ScanInteger32("-").has_value());
}

TEST(LenientScan, ThirtyTwoBitScanSaturates) {
    EXPECT_EQ(ScanInteger32("4294967295"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ScanInteger32("-99999999999"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ScanInteger32("2147483647"), 2147483647);
}

TEST(FormatC, FormatsAsPrintfDoesInTheCLocale) {
    EXPECT_EQ(FormatC("%.3f", 1.5), "1.500");
    EXPECT_EQ(FormatC("%0.1f", -0.04), "-0.0");
    EXPECT_EQ(FormatC("%.3e", 0.001), "1.000e-03");
    EXPECT_EQ(FormatC("%0.14f", 0.0818191908426), "0.08181919084260");
    EXPECT_EQ(FormatC("%ld", -1L), "-1");
    EXPECT_EQ(FormatC("%u", 255u), "255");
    EXPECT_EQ(FormatC("%0.1f", std::numeric_limits<double>::infinity()), "inf");
    // Longer than any small buffer.
    EXPECT_EQ(FormatC("%0.1f", 1e300).size(), 303u);
}

// A NaN's sign comes from its sign bit on every system; the other values print as FormatC prints them.
TEST(FormatReal, NaNCarriesItsSignBitAndOtherValuesPrintAsFormatC) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* format;
        double value;
        const char* text;
    } rows[] = {
        {"%0.1f", std::copysign(nan, 1.0), "nan"},
        {"%0.1f", std::copysign(nan, -1.0), "-nan"},
        {"%.3e", std::copysign(nan, -1.0), "-nan"},
        {"%.17g", std::copysign(nan, 1.0), "nan"},
        {"%.3E", std::copysign(nan, -1.0), "-NAN"},
        {"%0.14f", 0.0818191908426, "0.08181919084260"},
        {"%.3e", 0.001, "1.000e-03"},
        {"%.2f", -std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const auto& row : rows) EXPECT_EQ(FormatReal(row.format, row.value), row.text) << row.format;
    EXPECT_EQ(FormatReal("%.*g", 3, std::copysign(nan, -1.0)), "-nan");
    EXPECT_EQ(FormatReal("%.*g", 3, 2.0 / 3.0), "0.667");
}

}  // namespace
