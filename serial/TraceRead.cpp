#include "serial/TraceRead.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

// "id=8F sub=15 group=7 length=43 data=8F 15 ..." → values; data and detail run to the end of the line.
std::map<std::string, std::string> KeyValues(const std::string& fields) {
    std::map<std::string, std::string> values;
    size_t at = 0;
    while (at < fields.size()) {
        const size_t equals = fields.find('=', at);
        if (equals == std::string::npos) break;
        const std::string key = fields.substr(at, equals - at);
        size_t end = key == "data" || key == "detail" ? fields.size() : fields.find(' ', equals + 1);
        if (end == std::string::npos) end = fields.size();
        values[key] = fields.substr(equals + 1, end - equals - 1);
        at = end + 1;
    }
    return values;
}

}  // namespace

std::vector<uint8_t> HexToBytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    std::istringstream in(hex);
    std::string pair;
    while (in >> pair) {
        if (pair.size() != 2 || !std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            break;
        bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return bytes;
}

bool ReadTrace(const std::string& path, ParsedTrace& trace, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty()) continue;
        if (line[0] == '#') {
            if (trace.header.empty()) trace.header = line;
            continue;
        }
        std::istringstream in(line);
        TraceEvent event;
        std::string port;
        if (!(in >> event.ms >> port >> event.event) || port.rfind("comm", 0) != 0) {
            ++trace.badLines;
            continue;
        }
        try {
            event.port = std::stoi(port.substr(4));
        } catch (...) {
            ++trace.badLines;
            continue;
        }
        std::getline(in >> std::ws, event.fields);
        if (event.event.rfind("packet-", 0) == 0) event.values = KeyValues(event.fields);
        trace.events.push_back(std::move(event));
    }
    return true;
}
