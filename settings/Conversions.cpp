#include "settings/Conversions.h"

#include <locale.h>

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32

// Windows has no uselocale: the calling thread gets a locale of its own, the C locale, for the
// lifetime of the object, and the plain conversions read numbers under it.
class CLocaleScope {
  public:
    CLocaleScope() : mode_(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE)) {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        previous_ = previous != nullptr ? previous : "C";
        std::setlocale(LC_ALL, "C");
    }
    ~CLocaleScope() {
        std::setlocale(LC_ALL, previous_.c_str());
        _configthreadlocale(mode_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    int mode_;
    std::string previous_;
};

long double StrtoldC(const char* text, char** end) {
    CLocaleScope scope;
    return std::strtold(text, end);
}
double StrtodC(const char* text, char** end) {
    CLocaleScope scope;
    return std::strtod(text, end);
}
float StrtofC(const char* text, char** end) {
    CLocaleScope scope;
    return std::strtof(text, end);
}
long long StrtollC(const char* text, char** end) {
    CLocaleScope scope;
    return std::strtoll(text, end, 10);
}

#else

// One C locale for the whole run; locale_t objects may be used from any thread.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) throw std::runtime_error("the C locale is not available");
    return locale;
}

// Switches the calling thread to the C locale for the lifetime of the object.
class CLocaleScope {
  public:
    CLocaleScope() : previous_(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t previous_;
};

long double StrtoldC(const char* text, char** end) {
    return strtold_l(text, end, CLocale());
}
double StrtodC(const char* text, char** end) {
    return strtod_l(text, end, CLocale());
}
float StrtofC(const char* text, char** end) {
    return strtof_l(text, end, CLocale());
}
long long StrtollC(const char* text, char** end) {
    return strtoll_l(text, end, 10, CLocale());
}

#endif

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string IntegerErrorText(const std::string& text) {
    return "'" + text + "' is not a valid integer value";
}
std::string RealErrorText(const std::string& text) {
    return "'" + text + "' is not a valid floating point value";
}

std::string FormatC(const char* format, ...) {
    CLocaleScope scope;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    char small[64];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string result;
    if (length < 0) {
        result.clear();
    } else if (static_cast<size_t>(length) < sizeof small) {
        result.assign(small, static_cast<size_t>(length));
    } else {
        std::vector<char> large(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        result.assign(large.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return result;
}

namespace {

std::string NanText(const char* format, double value) {
    const size_t length = std::strlen(format);
    const bool upper = length > 0 && std::isupper(static_cast<unsigned char>(format[length - 1]));
    return std::string(std::signbit(value) ? "-" : "") + (upper ? "NAN" : "nan");
}

// The formats are literals at every call of FormatReal; its one conversion takes a double (after
// an int precision for "*").
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename... Args>
std::string PrintC(const char* format, Args... args) {
    CLocaleScope scope;
    char text[512];
    const int length = std::snprintf(text, sizeof text, format, args...);
    if (length < 0) return {};
    if (static_cast<size_t>(length) < sizeof text) return std::string(text, static_cast<size_t>(length));
    std::vector<char> large(static_cast<size_t>(length) + 1);
    std::snprintf(large.data(), large.size(), format, args...);
    return std::string(large.data(), static_cast<size_t>(length));
}
#pragma GCC diagnostic pop

}  // namespace

std::string FormatReal(const char* format, double value) {
    return std::isnan(value) ? NanText(format, value) : PrintC(format, value);
}

std::string FormatReal(const char* format, int precision, double value) {
    return std::isnan(value) ? NanText(format, value) : PrintC(format, precision, value);
}

int32_t StrictInteger(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    // Accumulate the magnitude, stopping as soon as it leaves the 32-bit range.
    const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t magnitude = 0;
    size_t digits = 0;
    for (; i < n; ++i, ++digits) {
        const int digit = hex ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) throw ConversionError(IntegerErrorText(text));
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > limit) throw ConversionError(IntegerErrorText(text));
    }
    if (digits == 0) throw ConversionError(IntegerErrorText(text));

    const uint32_t bits = static_cast<uint32_t>(negative ? (0 - magnitude) : magnitude);
    return static_cast<int32_t>(bits);
}

long double StrictReal(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;

    // Check the whole grammar before converting, so that nothing the converter would also accept
    // (hexadecimal, "inf", "nan", a comma) slips through.
    size_t i = begin;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < end && IsDigit(text[i])) ++i, ++digits;
    if (i < end && text[i] == '.') {
        ++i;
        while (i < end && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) throw ConversionError(RealErrorText(text));
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < end && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) throw ConversionError(RealErrorText(text));
    }
    if (i != end) throw ConversionError(RealErrorText(text));

    const std::string number = text.substr(begin, end - begin);
    const long double value = StrtoldC(number.c_str(), nullptr);
    // Beyond the extended range: not a number the program can hold. Underflow gives 0 or a
    // subnormal, which is kept.
    if (std::isinf(value)) throw ConversionError(RealErrorText(text));
    return value;
}

float StrictRealToSingle(long double value, const std::string& text) {
    const float single = static_cast<float>(value);
    if (std::isinf(single)) throw ConversionError(RealErrorText(text));
    return single;
}

double StrictRealToDouble(long double value, const std::string& text) {
    const double result = static_cast<double>(value);
    if (std::isinf(result)) throw ConversionError(RealErrorText(text));
    return result;
}

std::optional<double> ScanDouble(const std::string& text) {
    char* endPosition = nullptr;
    const double value = StrtodC(text.c_str(), &endPosition);
    if (endPosition == text.c_str()) return std::nullopt;
    return value;
}

std::optional<float> ScanSingle(const std::string& text) {
    char* endPosition = nullptr;
    const float value = StrtofC(text.c_str(), &endPosition);
    if (endPosition == text.c_str()) return std::nullopt;
    return value;
}

std::optional<int32_t> ScanInteger32(const std::string& text) {
    char* endPosition = nullptr;
    const long long value = StrtollC(text.c_str(), &endPosition);
    if (endPosition == text.c_str()) return std::nullopt;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}
