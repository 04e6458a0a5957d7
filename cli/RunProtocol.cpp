#include "cli/RunProtocol.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/Arguments.h"
#include "cli/Progress.h"
#include "cli/StopSignals.h"
#include "cli/WriteAll.h"
#include "cli/platform/RunSide.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "serial/Trace.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kMaxRequest = 1u << 20;  // twenty names of 4 KB as hex, with room to spare
constexpr RunStep kRunSteps[] = {RunStep::kOpening, RunStep::kLinkCheck, RunStep::kWriting,
                                 RunStep::kSaving,  RunStep::kVerifying, RunStep::kFinished};

std::string Hex(const uint8_t* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string Hex(const std::string& text) {
    return Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool Unhex(const Json& value, std::string& bytes) {
    if (!value.is_string()) return false;
    const std::string& hex = value.get_ref<const std::string&>();
    if (hex.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int byte = 0;
        for (size_t k = i; k < i + 2; ++k) {
            const char c = hex[k];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            byte = byte * 16 + digit;
        }
        bytes += static_cast<char>(byte);
    }
    return true;
}

std::string Line(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool StepFromName(const std::string& name, RunStep& step) {
    for (RunStep candidate : kRunSteps) {
        if (name == RunStepName(candidate)) {
            step = candidate;
            return true;
        }
    }
    return false;
}

int64_t Milliseconds(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::string StringAt(const nlohmann::json& object, const char* key) {
    const auto at = object.find(key);
    return at != object.end() && at->is_string() ? at->get<std::string>() : std::string();
}

// The request is the first line on standard input; what came after it is handed back in `rest`.
bool ReadRequest(std::string& line, std::string& rest, std::string& error) {
    char buffer[8192];
    for (;;) {
        const auto n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("cannot read the run's request: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
        line.append(buffer, static_cast<size_t>(n));
        const size_t end = line.find('\n');
        if (end != std::string::npos) {
            rest = line.substr(end + 1);
            line.resize(end + 1);
            return true;
        }
        if (line.size() > kMaxRequest) {
            error = "the run's request is too large";
            return false;
        }
    }
}

// {"takenAt":NS,"unheld":[DEVICE,...]}: at most a device a port.
bool ParseHandedLook(const nlohmann::json& json, HandedLook& look) {
    if (!json.is_object() || !json.contains("takenAt") || !json["takenAt"].is_number_integer() ||
        !json.contains("unheld") || !json["unheld"].is_array() ||
        json["unheld"].size() > static_cast<size_t>(kPortContextCount))
        return false;
    look.takenAt = json["takenAt"].get<int64_t>();
    for (const nlohmann::json& device : json["unheld"]) {
        if (!device.is_number_unsigned()) return false;
        look.unheld.push_back(device.get<uint64_t>());
    }
    return look.takenAt != 0;
}

}  // namespace

std::string RunRequestLine(const RunRequest& request) {
    Json json;
    json["protocol"] = kRunProtocolVersion;
    json["operation"] = request.kind == RunKind::kVerify ? "verify" : "configure";
    json["yes"] = request.yes;
    json["pcSettings"] = PortLineText(request.pcLine);
    json["settings"] = Hex(request.settings.bytes.data(), request.settings.bytes.size());
    json["devices"] = Json::array();
    for (const std::string& device : request.devices) json["devices"].push_back(Hex(device));
    json["trace"] = request.trace.empty() ? Json() : Json(Hex(request.trace));
    json["parent"] = request.parent;
    if (request.look.takenAt != 0)
        json["look"] = {{"takenAt", request.look.takenAt}, {"unheld", request.look.unheld}};
    return Line(json);
}

bool ParseRunRequest(const std::string& line, RunRequest& request, std::string& error) {
    request = RunRequest{};
    const nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
    error = "the run's request is not understood";
    if (json.is_discarded() || !json.is_object()) return false;
    if (json.value("protocol", 0) != kRunProtocolVersion) {
        error = "the run's request is of another protocol version";
        return false;
    }
    const std::string operation = StringAt(json, "operation");
    if (operation != "configure" && operation != "verify") return false;
    request.kind = operation == "verify" ? RunKind::kVerify : RunKind::kConfigure;
    if (!json.contains("yes") || !json["yes"].is_boolean()) return false;
    request.yes = json["yes"].get<bool>();
    if (!ParsePortLine(StringAt(json, "pcSettings"), request.pcLine)) return false;
    std::string settings;
    if (!json.contains("settings") || !Unhex(json["settings"], settings) ||
        settings.size() != kSettingsImageSize)
        return false;
    std::memcpy(request.settings.bytes.data(), settings.data(), settings.size());
    request.settings.size = kSettingsImageSize;
    if (!json.contains("devices") || !json["devices"].is_array() || json["devices"].empty() ||
        json["devices"].size() > static_cast<size_t>(kPortContextCount))
        return false;
    for (const nlohmann::json& device : json["devices"]) {
        std::string name;
        if (!Unhex(device, name) || name.empty()) return false;
        request.devices.push_back(name);
    }
    if (json.contains("trace") && !json["trace"].is_null() && !Unhex(json["trace"], request.trace))
        return false;
    if (!json.contains("parent") || !json["parent"].is_number_integer()) return false;
    request.parent = json["parent"].get<long>();
    if (json.contains("look") && !ParseHandedLook(json["look"], request.look)) return false;
    error.clear();
    return true;
}

std::string StateEventLine(int comm, const std::string& state, uint8_t result) {
    if (result == 0) return Line({{"event", "state"}, {"comm", comm}, {"state", state}});
    return Line({{"event", "state"}, {"comm", comm}, {"state", state}, {"result", result}});
}

std::string MessageEventLine(const std::string& text) {
    return Line({{"event", "message"}, {"text", text}});
}

std::string EndEventLine(bool stopped, int signal) {
    return Line({{"event", "end"}, {"stopped", stopped}, {"signal", signal}});
}

std::string PortEventLine(const FleetOutcome& outcome) {
    Json json;
    json["event"] = "port";
    json["comm"] = outcome.comm;
    json["reported"] = outcome.reported;
    json["interrupted"] = outcome.interrupted;
    json["step"] = RunStepName(outcome.step);
    json["portResult"] = outcome.summary.portResult;
    json["groups"] = outcome.summary.groupStatus;
    json["differences"] = Json::array();
    for (int g = 1; g <= kGroupCount; ++g)
        for (const FieldChange& change : outcome.summary.differences[static_cast<size_t>(g - 1)])
            json["differences"].push_back(
                {g, change.field, change.written, change.readBack, change.writtenHex, change.readBackHex});
    json["reason"] = outcome.reason;
    json["started"] = Milliseconds(outcome.started);
    json["seconds"] = outcome.seconds;
    return Line(json);
}

bool OutcomeFromPortEvent(const nlohmann::json& event, FleetOutcome& outcome) {
    outcome = FleetOutcome{};
    if (!event.is_object()) return false;
    for (const char* key : {"comm", "portResult", "started"})
        if (!event.contains(key) || !event[key].is_number_integer()) return false;
    for (const char* key : {"reported", "interrupted"})
        if (!event.contains(key) || !event[key].is_boolean()) return false;
    if (!event.contains("seconds") || !event["seconds"].is_number()) return false;
    outcome.comm = event["comm"].get<int>();
    outcome.reported = event["reported"].get<bool>();
    outcome.interrupted = event["interrupted"].get<bool>();
    if (outcome.reported == outcome.interrupted) return false;
    if (!StepFromName(StringAt(event, "step"), outcome.step)) return false;
    const int portResult = event["portResult"].get<int>();
    if (portResult < 0 || portResult >= static_cast<int>(kPortResults.size())) return false;
    outcome.summary.portResult = static_cast<uint8_t>(portResult);
    if (!event.contains("groups") || !event["groups"].is_array() || event["groups"].size() != kGroupCount)
        return false;
    for (size_t g = 0; g < kGroupCount; ++g) {
        const nlohmann::json& status = event["groups"][g];
        if (!status.is_number_integer() || status.get<int>() < 0 ||
            status.get<int>() >= static_cast<int>(kGroupStatuses.size()))
            return false;
        outcome.summary.groupStatus[g] = static_cast<uint8_t>(status.get<int>());
    }
    if (!event.contains("differences") || !event["differences"].is_array()) return false;
    for (const nlohmann::json& change : event["differences"]) {
        if (!change.is_array() || change.size() != 6 || !change[0].is_number_integer()) return false;
        const int group = change[0].get<int>();
        if (group < 1 || group > kGroupCount) return false;
        FieldChange field;
        field.group = group;
        std::string* texts[] = {&field.field, &field.written, &field.readBack, &field.writtenHex,
                                &field.readBackHex};
        for (size_t k = 0; k < 5; ++k) {
            if (!change[k + 1].is_string()) return false;
            *texts[k] = change[k + 1].get<std::string>();
        }
        outcome.summary.differences[static_cast<size_t>(group - 1)].push_back(std::move(field));
    }
    if (event.contains("reason") && event["reason"].is_object()) outcome.reason = event["reason"];
    outcome.started =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(event["started"].get<int64_t>()));
    outcome.seconds = event["seconds"].get<double>();
    return outcome.seconds >= 0;
}

void WriteRunEvent(int fd, const std::string& line) {
    size_t done = 0;
    WriteAll(fd, line.data(), line.size(), done);  // whoever watches may have gone: the run goes on
}

int RunForFleet() {
    if (!StartedAsRun()) {
        std::fprintf(stderr,
                     "vandel-cli: %s is how the tool starts the runs of a fleet; it is not for use by hand\n",
                     kFleetRunArgument);
        return kExitUsage;
    }
    InstallStopSignals();
    StopWhenParentDies();
    std::FILE* messages = OpenRunMessages();
    if (messages == nullptr) return kExitUsage;

    std::string line;
    std::string rest;
    std::string error;
    RunRequest request;
    if (!ReadRequest(line, rest, error) || !ParseRunRequest(line, request, error)) {
        WriteRunEvent(kRunEventFd, MessageEventLine(error));
        CloseRunMessages(messages);
        return kExitUsage;
    }
    WatchParent(request.parent, rest);
    AcceptHandedLook(request.look);
    if (!request.trace.empty() &&
        !ProgramTrace().Open(request.trace, std::string("vandel-cli ") + VC_VERSION, error))
        WriteRunEvent(kRunEventFd, MessageEventLine("cannot write the trace: " + error));

    std::vector<FleetReceiver> receivers;
    std::vector<size_t> members;
    for (const std::string& device : request.devices) {
        members.push_back(receivers.size());
        receivers.push_back({device, std::string(), request.pcLine, {}, 0, {}});
    }
    const FleetFiles files = {{std::string(), request.settings}};
    FleetRunOptions options;
    options.kind = request.kind;
    options.yes = request.yes;
    options.eventFd = kRunEventFd;
    ProgressBoard board(request.devices, messages, ProgressMode::kOff);
    FleetResult result;
    result.outcomes.resize(receivers.size());
    RunHere(receivers, members, files, options, board, messages, result);
    ProgramTrace().Close();
    for (const FleetOutcome& outcome : result.outcomes) WriteRunEvent(kRunEventFd, PortEventLine(outcome));
    WriteRunEvent(kRunEventFd, EndEventLine(result.stopped, StopSignal()));
    CloseRunMessages(messages);
    return StopSignal() != 0 ? StopExitStatus() : kExitSuccess;
}
