// Where a receiver of the emulator starts from: a settings file, or the reports of a trace.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "emulator/EmulatorOptions.h"
#include "serial/TraceRead.h"

bool ReceiverSettingsFromFile(const std::string& path, ReceiverSettings& settings, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::array<uint8_t, kSettingsImageSize + 1> image{};
    const size_t size = std::fread(image.data(), 1, image.size(), file);
    std::fclose(file);
    if (size != static_cast<size_t>(kSettingsImageSize)) {
        error = path + ": a settings file is exactly " + std::to_string(kSettingsImageSize) + " bytes";
        return false;
    }
    settings = FactoryReceiverSettings(PortLine{});
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        const uint8_t* bytes = image.data() + group.offset;
        uint8_t* report = settings.Group(group.number);
        if (group.number == kGroup2DAltitude) {
            // 4A, 9-byte form: the altitude, a reserved single, the hold flag (on in the altitude form).
            std::memcpy(report, bytes + 1, 4);
            report[8] = bytes[0] == 0 ? 1 : 0;
        } else {
            std::memcpy(report, bytes, static_cast<size_t>(group.length));
        }
    }
    return true;
}

bool ReceiverSettingsFromTrace(const std::string& path, std::vector<ReceiverSettings>& settings,
                               std::string& error) {
    ParsedTrace trace;
    if (!ReadTrace(path, trace, error)) return false;
    std::map<int, ReceiverSettings> ports;
    for (const TraceEvent& event : trace.events) {
        if (event.event != "packet-rx") continue;
        const auto group = event.values.find("group");
        const auto data = event.values.find("data");
        if (group == event.values.end() || data == event.values.end()) continue;
        const int groupNo = std::atoi(group->second.c_str());
        if (groupNo < 1 || groupNo > kGroupCount) continue;
        const std::vector<uint8_t> packet = HexToBytes(data->second);
        const int length = kReceiverGroups[static_cast<size_t>(groupNo - 1)].reportLength;
        if (packet.size() != static_cast<size_t>(length) + 1) continue;  // id, then the report
        auto entry = ports.try_emplace(event.port, FactoryReceiverSettings(PortLine{})).first;
        std::memcpy(entry->second.Group(groupNo), packet.data() + 1, static_cast<size_t>(length));
    }
    if (ports.empty()) {
        error = path + ": no report of a settings group in the trace";
        return false;
    }
    settings.clear();
    for (const auto& port : ports) settings.push_back(port.second);
    return true;
}
