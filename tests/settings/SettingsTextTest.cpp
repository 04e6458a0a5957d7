// The text form of the Settings Image: every image goes to text and back to the same bytes, the
// text of an image is stable, the keys are those of the field table, and values are read as the
// window reads its controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "bytes/ByteOrder.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsText.h"

namespace {

// Fewer under the sanitizers, which make each round trip several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRandomImages = 60;
#else
constexpr int kRandomImages = 800;
#endif

void PutU64BE(uint64_t value, uint8_t* position) {
    PutU32BE(static_cast<uint32_t>(value >> 32), position);
    PutU32BE(static_cast<uint32_t>(value), position + 4);
}

using Image = std::array<uint8_t, kSettingsImageSize>;

// The image a text gives over zeros; fails the test with the reader's message otherwise.
Image Read(const std::string& text) {
    SettingsTextFile file;
    std::string error;
    Image image{};
    EXPECT_TRUE(ParseSettingsText(text, "test.toml", file, error)) << error;
    EXPECT_TRUE(ApplySettingsText(file, image.data(), error)) << error << "\n" << text;
    return image;
}

void ExpectRoundTrip(const Image& image, const std::string& what) {
    const std::string text = SettingsToText(image.data());
    const Image back = Read(text);
    ASSERT_EQ(back, image) << what << "\n" << text;
    EXPECT_EQ(SettingsToText(back.data()), text) << what;
}

const SettingsKey& Key(const std::string& path) {
    const SettingsKey* key = FindSettingsKey(path);
    if (key == nullptr) throw std::runtime_error("no key " + path);
    return *key;
}

int At(const std::string& path) {
    return Key(path).ImageOffset();
}

// Random images, a quarter of them with special reals (NaN payloads, -0, infinities, subnormals)
// in every real field and codes that no item shows.
std::vector<Image> RandomImages(int count) {
    std::mt19937_64 random(20261209);
    std::vector<Image> images;
    constexpr uint32_t kSingles[] = {0x7FC00001, 0xFFBFFFFF, 0x80000000, 0x7F800000, 0x00000001, 0x3E32B8C2};
    constexpr uint64_t kDoubles[] = {0x7FF8000000000123, 0x8000000000000000, 0xFFF0000000000000, 0x1,
                                     0x3EE4F8B588E368F1};
    for (int n = 0; n < count; ++n) {
        Image image{};
        for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
        if (n % 4 == 0) {
            for (const EditBinding& edit : kEditBindings) {
                uint8_t* field = image.data() + SettingsGroup(edit.group).offset + edit.offset;
                if (edit.field == FieldType::kSingle)
                    PutU32BE(kSingles[random() % std::size(kSingles)], field);
                else if (edit.field == FieldType::kDouble)
                    PutU64BE(kDoubles[random() % std::size(kDoubles)], field);
            }
        }
        if (n % 4 == 1) {  // small codes, so that items and buttons are chosen
            for (const ComboBoxBinding& combo : kComboBoxBindings)
                image[static_cast<size_t>(SettingsGroup(combo.group).offset + combo.offset +
                                          (combo.field == FieldType::kI16 ? 1 : 0))] =
                    static_cast<uint8_t>(random() % 12);
            image[static_cast<size_t>(SettingsGroup(kGroupDatum).offset + 1)] = 0;
        }
        images.push_back(image);
    }
    return images;
}

}  // namespace

TEST(SettingsText, KeysAreUniqueSnakeCaseAndCoverEveryFieldOfTheTable) {
    std::set<std::string> paths;
    int bytes = 0;
    for (const SettingsKey& key : SettingsKeys()) {
        EXPECT_TRUE(paths.insert(key.Path()).second) << key.Path();
        EXPECT_EQ(SnakeCase(key.key), key.key);
        EXPECT_EQ(FindSettingsKey(key.Path()), &key);
        for (const uint8_t mask : key.layout.bitMasks) bytes += __builtin_popcount(mask);
    }
    EXPECT_EQ(bytes, 8 * kSettingsImageSize);  // every bit of the image belongs to one key
    EXPECT_EQ(SnakeCase("Elevation Mask (degrees)"), "elevation_mask_degrees");
    EXPECT_EQ(At("gps_configuration.dynamics_code"), 18);
    EXPECT_EQ(At("datum.datum"), 79);
}

TEST(SettingsText, EveryImageOfARandomCorpusGoesToTextAndBackUnchanged) {
    int n = 0;
    for (const Image& image : RandomImages(kRandomImages)) {
        ExpectRoundTrip(image, "random image " + std::to_string(n++));
        if (HasFatalFailure()) return;
    }
    ExpectRoundTrip(Image{}, "zeros");
    Image ff;
    ff.fill(0xFF);
    ExpectRoundTrip(ff, "all FF");
}

TEST(SettingsText, TheSettingsFileFuzzCorpusGoesToTextAndBackUnchanged) {
    const char* source = std::getenv("VC_SOURCE_DIR");
    const std::filesystem::path folder =
        std::filesystem::path(source != nullptr ? source : VC_BUILT_SOURCE_DIR) / "fuzz/corpus/settings_file";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        Image image;
        image.fill(0xFF);  // as the window's loader reads a short file
        std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
        ExpectRoundTrip(image, entry.path().string());
        ++files;
    }
    EXPECT_GE(files, 5);
}

TEST(SettingsText, ValuesReadAsTheWindowReadsItsControls) {
    const Image image = Read(
        "[gps_configuration]\n"
        "receiver_mode = \"Over-determined clock\"\n"
        "dynamics_code = \"stationary\"  # items in any case\n"
        "elevation_mask_degrees = 15.0\n"
        "[datum]\n"
        "datum = \"WGS-84\"\n"
        "[port_b_configuration]\n"
        "baud_rate = \"19200\"\n"
        "[self_survey_configuration]\n"
        "enable_self_survey = true\n");
    EXPECT_EQ(image[16], 7);
    EXPECT_EQ(image[18], 4);
    EXPECT_EQ(GetU32BE(image.data() + 20), 0x3E860A8Au);  // what capture stores for "15.0"
    EXPECT_EQ(GetU16BE(image.data() + 79), 0);
    EXPECT_EQ(image[69], 8);
    EXPECT_EQ(image[70], 8);  // the output baud rate follows, as capture writes it
    EXPECT_EQ(image[159], 1);

    struct Bad {
        const char* path;
        SettingsValue value;
        const char* message;
    };
    const Bad bad[] = {
        {"nmea_output.output_interval_0_255_sec",
         {SettingsValueType::kText, ""},
         "'' is not a valid integer value."},
        {"gps_configuration.pdop_mask",
         {SettingsValueType::kText, "1,5"},
         "'1,5' is not a valid floating point value."},
        {"timing_output_settings.pps_offset_s",
         {SettingsValueType::kText, "soon"},
         "'soon' is not a valid floating point value."},
        {"gps_configuration.dynamics_code",
         {SettingsValueType::kText, "Hover"},
         "'Hover' is not an item of Dynamics Code"},
        {"datum.datum",
         {SettingsValueType::kText, "European"},
         "'European' names more than one item of Datum: give its code (4, 13)"},
        {"nmea_output.gga", {SettingsValueType::kText, "maybe"}, "'maybe' is not true or false"},
        {"gps_configuration.bytes_22_42",
         {SettingsValueType::kText, "00 01"},
         "'00 01' is not hex of 21 bytes"},
        {"gps_configuration.receiver_mode",
         {SettingsValueType::kBoolean, "true"},
         "is not an item of Receiver Mode"},
    };
    for (const Bad& each : bad) {
        Image changed = image;
        std::string error;
        EXPECT_FALSE(SetSettingsField(Key(each.path), each.value, changed.data(), error)) << each.path;
        EXPECT_NE(error.find(each.message), std::string::npos) << each.path << ": " << error;
        EXPECT_EQ(changed, image) << each.path;
    }
}

TEST(SettingsText, RealsNoDecimalGivesBackAreWrittenInHexAndTheWindowsTextOtherwise) {
    Image image{};
    PutU32BE(0x7FC00123, image.data() + At("2d_altitude.altitude_m"));               // a NaN payload
    PutU64BE(0x8000000000000000, image.data() + At("pps_width.pps_width_seconds"));  // -0
    std::string error;
    ASSERT_TRUE(SetSettingsField(Key("gps_configuration.elevation_mask_degrees"),
                                 {SettingsValueType::kText, "10.0"}, image.data(), error));
    EXPECT_EQ(SettingsFieldValue(Key("2d_altitude.altitude_m"), image.data()).toml, "\"hex:7FC00123\"");
    EXPECT_EQ(SettingsFieldValue(Key("pps_width.pps_width_seconds"), image.data()).toml, "-0.000e+00");
    EXPECT_EQ(SettingsFieldValue(Key("gps_configuration.elevation_mask_degrees"), image.data()).toml, "10.0");
    ExpectRoundTrip(image, "special reals");
}

TEST(SettingsText, AListedDatumZeroesTheParametersUnlessTheyAreGiven) {
    Image image{};
    for (int i = 0; i < 40; ++i) image[static_cast<size_t>(At("datum.dx") + i)] = 0x41;
    Image listed = image;
    std::string error;
    ASSERT_TRUE(ApplySettingsValues({{&Key("datum.datum"), {SettingsValueType::kText, "NAD-83"}}},
                                    listed.data(), error));
    EXPECT_EQ(GetU16BE(listed.data() + At("datum.datum")), 7);
    EXPECT_TRUE(std::all_of(listed.begin() + At("datum.dx"), listed.begin() + At("datum.dx") + 40,
                            [](uint8_t b) { return b == 0; }));
    Image custom = image;
    ASSERT_TRUE(ApplySettingsValues({{&Key("datum.datum"), {SettingsValueType::kText, "Custom"}},
                                     {&Key("datum.dy"), {SettingsValueType::kText, "-12.5"}}},
                                    custom.data(), error));
    EXPECT_EQ(GetDoubleBE(custom.data() + At("datum.dy")), -12.5);
    EXPECT_EQ(custom[static_cast<size_t>(At("datum.dx"))],
              0x41);  // kept: a custom datum keeps its parameters
}
