// The text conversions between the settings edits and the Settings Image. They use the C locale
// whatever the process locale says (the window toolkit sets the process locale from the
// environment, and a comma-decimal locale would otherwise write "1,500" that capture then
// rejects), and they are safe to call from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// A number that does not convert. The message is the exact text the operator sees (the general
// error handler appends the full stop).
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// printf with the C locale. Only literal formats are passed.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One real number by a format of one conversion ("%.3f", "%.*g" with its precision), as FormatC; a
// NaN is written "nan" or "-nan" from its sign bit, the same on every system (the C libraries of
// Linux and Windows write the sign differently).
std::string FormatReal(const char* format, double value);
std::string FormatReal(const char* format, int precision, double value);

// Strict integer: blanks before, an optional sign, then decimal digits, or hexadecimal digits after
// "$", "x" or "0x" (either case); nothing after. Decimal must lie in the signed 32-bit range;
// hexadecimal may use all 32 bits (0xFFFFFFFF is -1). Anything else, the empty text included,
// throws ConversionError "'<text>' is not a valid integer value".
int32_t StrictInteger(const std::string& text);

// Strict real: blanks before and after, an optional sign, digits with at most one "." (at least one
// digit), an optional exponent ("E" or "e", optional sign, digits). The value is held in extended
// precision. Anything else, and a value beyond the extended range, throws ConversionError
// "'<text>' is not a valid floating point value".
long double StrictReal(const std::string& text);

// Rounding a strict real into its field. A value whose magnitude does not fit the field throws the
// floating point ConversionError for text.
float StrictRealToSingle(long double value, const std::string& text);
double StrictRealToDouble(long double value, const std::string& text);

// Lenient scans in the manner of scanf "%lf", "%f" and "%ld": leading white space skipped, the
// longest prefix that forms a number taken, the rest ignored. No number at the start gives nullopt.
// The 32-bit scan saturates at the signed 32-bit limits, as a 32-bit "%ld" does.
std::optional<double> ScanDouble(const std::string& text);
std::optional<float> ScanSingle(const std::string& text);
std::optional<int32_t> ScanInteger32(const std::string& text);

std::string IntegerErrorText(const std::string& text);
std::string RealErrorText(const std::string& text);
