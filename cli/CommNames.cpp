#include "cli/CommNames.h"

#include <cctype>

#include "link/PortContext.h"
#include "serial/Serial.h"

namespace {

// The end of "Comm 3", "Comm port 3" or "com  3" starting at `at`, or npos.
size_t PortNumberEnd(const std::string& text, size_t at, int& number) {
    size_t i = at + 3;  // "Com" or "com"
    if (i < text.size() && text[i] == 'm') ++i;
    if (text.compare(i, 5, " port") == 0) i += 5;
    const size_t blanks = i;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == blanks) return std::string::npos;
    const size_t digits = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0 && i - digits < 3) ++i;
    if (i == digits || (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0))
        return std::string::npos;
    number = std::stoi(text.substr(digits, i - digits));
    return i;
}

}  // namespace

std::string NameDevices(const std::string& text) {
    std::string named;
    size_t from = 0;
    for (size_t at = 0; at + 3 <= text.size(); ++at) {
        if (text.compare(at, 3, "Com") != 0 && text.compare(at, 3, "com") != 0) continue;
        if (at > 0 && std::isalpha(static_cast<unsigned char>(text[at - 1])) != 0) continue;
        int number = 0;
        const size_t end = PortNumberEnd(text, at, number);
        if (end == std::string::npos || number < 1 || number > kPortContextCount) continue;
        const std::string device = SerialDeviceName(static_cast<uint8_t>(number));
        if (device.empty()) continue;
        named += text.substr(from, end - from) + " (" + device + ")";
        from = end;
        at = end - 1;
    }
    return named + text.substr(from);
}
