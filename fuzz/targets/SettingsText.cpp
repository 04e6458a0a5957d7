// The settings text form: any text through the reader. It never crashes or hangs; a text it takes
// gives an image that goes to text and back to the same image, and that text reads back to itself.
//
// Input: the text of a settings file (no base is followed: the reader is given none to read).
#include "settings/SettingsText.h"

#include <array>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"

namespace {

constexpr const char* kTarget = "settings_text";

bool ImageFrom(const std::string& text, std::array<uint8_t, kSettingsImageSize>& image) {
    SettingsTextFile file;
    std::string error;
    image.fill(0);
    if (!ParseSettingsText(text, "fuzz.toml", file, error)) {
        FuzzCheck(!error.empty(), kTarget, "a refused text says why");
        return false;
    }
    const bool applied = ApplySettingsText(file, image.data(), error);
    FuzzCheck(applied || !error.empty(), kTarget, "a refused value says why");
    return applied;
}

}  // namespace

int FuzzSettingsText(const uint8_t* data, size_t size) {
    std::array<uint8_t, kSettingsImageSize> image{};
    if (!ImageFrom(std::string(reinterpret_cast<const char*>(data), size), image)) return 0;
    const std::string text = SettingsToText(image.data());
    std::array<uint8_t, kSettingsImageSize> again{};
    FuzzCheck(ImageFrom(text, again), kTarget, "the written text reads back");
    FuzzCheck(again == image, kTarget, "image -> text -> image gives the same bytes");
    FuzzCheck(SettingsToText(again.data()) == text, kTarget, "text -> image -> text is stable");
    return 0;
}
