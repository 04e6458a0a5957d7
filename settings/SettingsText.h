// The text form of the Settings Image: a TOML document with one table per group and one key per
// field, the fields and their names being those the command-line tool shows (settings/SettingsFields.h,
// itself driven by the control tables). Values are written so that every image, whatever it holds,
// reads back to the same bytes, and are read the way the main window reads its controls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/SettingsFields.h"
#include "settings/SettingsImage.h"

// One key of the text form.
struct SettingsKey {
    std::string table;     // the group's table, e.g. "gps_configuration"
    std::string key;       // the field's key within it, e.g. "dynamics_code"
    SettingsField layout;  // group, offset, width, bits, kind, control and name of the field
    std::string Path() const { return table + "." + key; }
    int ImageOffset() const;
};

// "Elevation Mask (degrees)" → "elevation_mask_degrees".
std::string SnakeCase(std::string_view text);
std::string GroupTableName(int groupNo);

// Every key, in group and byte order; the keys of a group are those of DecodeSettingsGroup.
const std::vector<SettingsKey>& SettingsKeys();
// "group.key", or nullptr.
const SettingsKey* FindSettingsKey(std::string_view path);

// A value as it comes: typed from a TOML document, or text as an operator types it (kText: an item
// text, a caption, a number or a word such as "true", whichever the field takes).
enum class SettingsValueType : uint8_t { kText, kString, kInteger, kFloat, kBoolean };
struct SettingsValue {
    SettingsValueType type = SettingsValueType::kText;
    std::string text;  // the literal (a float's as written), the string's contents, "true"/"false"
};

// Sets the field of key in image from value, converted as the window converts the control (the
// same conversions and messages; a check box is true or false, a list takes an item text or a code,
// bytes and other bits take hex). On a bad value the image is unchanged and error says why.
bool SetSettingsField(const SettingsKey& key, const SettingsValue& value, uint8_t* image, std::string& error);

// A field's value from image: as a TOML value, and as plain text that SetSettingsField takes back
// as kText. Reals that no decimal text gives back exactly are written "hex:" and their bytes.
struct FieldValueText {
    std::string toml;
    std::string plain;
};
FieldValueText SettingsFieldValue(const SettingsKey& key, const uint8_t* image);
// The comment beside a key: the window's caption and unit, the kind of value, the image offset.
std::string SettingsKeyComment(const SettingsKey& key);

// The whole image as a TOML document.
std::string SettingsToText(const uint8_t* image);

// A parsed text file: its base (if any) and its assignments in the order they appear.
struct SettingsTextEntry {
    const SettingsKey* key = nullptr;
    SettingsValue value;
    int line = 0;    // 1-based; the value's place in the text, for editing it in place
    int column = 0;  // 1-based
    int length = 0;  // 0 when the value spans lines
};
struct SettingsTextFile {
    bool hasBase = false;
    std::string base;
    SettingsTextEntry baseEntry;  // where the base's name stands (its key is nullptr)
    std::vector<SettingsTextEntry> entries;
};

// Parses text (name for the messages). False with error for a document that is no TOML, an unknown
// table or key, a value of a type the key does not take; values are not converted yet.
bool ParseSettingsText(const std::string& text, const std::string& name, SettingsTextFile& file,
                       std::string& error);

// Sets every entry over image. A key given alone brings along what the window writes with it: the
// output baud rate follows the input baud rate, and a listed datum zeroes the five custom
// parameters, unless those keys are given too. On failure error names the key; image may be
// partly written.
bool ApplySettingsText(const SettingsTextFile& file, uint8_t* image, std::string& error);
// The same for keys given one by one (set): the explicit keys and their followers.
bool ApplySettingsValues(const std::vector<std::pair<const SettingsKey*, SettingsValue>>& values,
                         uint8_t* image, std::string& error);

// The keys that follow key as the window writes them (the output baud rate, the datum parameters).
std::vector<const SettingsKey*> FollowerKeys(const SettingsKey& key);

// The manual page vandel-settings(5), in roff, from the same keys.
std::string SettingsManPage();
