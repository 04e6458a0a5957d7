// The pieces the text form's files share: how a field finds its control, and the small readers
// and writers of numbers, hex and text. For settings/SettingsText*.cpp and SettingsManPage.cpp only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/SettingsControls.h"
#include "settings/SettingsFields.h"

namespace settings_text {

constexpr int kLargestGroup = 43;
// Arrays and inline tables nested deeper than this are refused before the parser sees them: a
// settings file has none, and the parser descends once per level.
constexpr int kMostNesting = 32;

const EditBinding* EditOf(const SettingsField& field);
// The combo box of a field: its own, or the one whose code capture copies into it.
const ComboBoxBinding* ComboOf(const SettingsField& field);
std::vector<const RadioButtonBinding*> ButtonsOf(const SettingsField& field);
int ReadCode(const ComboBoxBinding& combo, const uint8_t* bytes);
std::string Quoted(const std::string& text);
bool SameWord(std::string_view a, std::string_view b);
// A whole decimal integer (optional sign) within [low, high].
bool ParseInteger(const std::string& text, long long low, long long high, long long& value);
// Hex digits, blanks between bytes allowed, an optional "0x" in front: exactly count bytes.
bool ParseHex(std::string_view text, int count, uint8_t* bytes);
std::string CompactHex(const uint8_t* bytes, int count);
// A decimal text TOML reads as a float: digits on both sides of a point, or an exponent.
bool TomlFloatText(const std::string& text);
// The text of a real edit that the window's conversion turns back into exactly these bytes: the
// window's own text when it does, else the shortest "%.*g" that does; none for NaN, infinities and
// values no decimal text reaches.
std::string ExactRealText(const EditBinding& edit, const uint8_t* field, const std::string& shown);
std::string KindWord(const SettingsField& field);
std::string ImageBytes(int first, int width);
// The deepest nesting of brackets and braces, counted without regard to strings and comments (so
// it may count too many, never too few).
int RoughNesting(const std::string& text);
std::string FirstLines(const std::string& text, int count);

}  // namespace settings_text
