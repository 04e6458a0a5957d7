#include "cli/Color.h"

#include <unistd.h>

#include <cstdlib>

bool ParseColorWhen(const std::string& text, ColorWhen& when) {
    if (text == "auto") {
        when = ColorWhen::kAuto;
    } else if (text == "always") {
        when = ColorWhen::kAlways;
    } else if (text == "never") {
        when = ColorWhen::kNever;
    } else {
        return false;
    }
    return true;
}

bool ColorFor(std::FILE* stream, ColorWhen when) {
    if (when != ColorWhen::kAuto) return when == ColorWhen::kAlways;
    const char* noColor = std::getenv("NO_COLOR");
    if (noColor != nullptr && *noColor != '\0') return false;
    const char* term = std::getenv("TERM");
    if (term != nullptr && std::string(term) == "dumb") return false;
    return stream != nullptr && ::isatty(::fileno(stream)) != 0;
}

std::string Paint(const std::string& text, Tone tone, bool color) {
    if (!color || tone == Tone::kPlain || text.empty()) return text;
    const char* start = tone == Tone::kGood ? "\033[32m" : tone == Tone::kBad ? "\033[31m" : "\033[33m";
    return start + text + "\033[0m";
}
