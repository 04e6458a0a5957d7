#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Audit.h"
#include "cli/CliOperator.h"
#include "cli/Fleet.h"
#include "cli/Manifest.h"
#include "cli/Ports.h"
#include "cli/Progress.h"
#include "cli/SettingsFileRead.h"
#include "cli/ShowDiff.h"
#include "cli/TraceReading.h"
#include "cli/platform/Platform.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/ConfigureReceivers.h"
#include "operations/LoadFromReceiver.h"
#include "operations/SummaryTables.h"
#include "serial/Serial.h"
#include "serial/Trace.h"
#include "settings/Display.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsImage.h"

namespace {

void Message(std::FILE* err, const std::string& text) {
    std::fprintf(err, "vandel-cli: %s\n", text.c_str());
    std::fflush(err);
}

void Print(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

// A file name from the command line need not be UTF-8: bytes that are not come out replaced.
void PrintJson(std::FILE* out, const nlohmann::ordered_json& json) {
    Print(out, json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

bool ReadFileOrSay(const std::string& path, SettingsFileBytes& file, std::FILE* err) {
    std::string error;
    if (!ReadSettingsFile(path, file, error)) {
        Message(err, error);
        return false;
    }
    const std::string warning = SettingsFileSizeWarning(path, file);
    if (!warning.empty()) Message(err, "warning: " + warning);
    return true;
}

bool CheckDevicesOrSay(const std::vector<std::string>& devices, std::FILE* err) {
    bool ok = true;
    std::string error;
    for (const std::string& device : devices) {
        if (!CheckDeviceName(device, error)) {
            Message(err, error);
            ok = false;
        }
    }
    // Two names of one device (a link and its target) would be two ports fighting over one line.
    for (size_t i = 0; ok && i < devices.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (SameSerialDevice(devices[j], devices[i])) {
                Message(err, devices[j] + " and " + devices[i] + " are the same device");
                ok = false;
                break;
            }
        }
    }
    return ok;
}

// The reason the driver kept for a port that would not open: the line that follows its Error 10 or
// Error 101, and the object in the JSON.
std::string ReasonLine(uint8_t port) {
    const SerialFailure failure = SerialLastFailure(port);
    return failure.code == SerialFailureCode::kNone ? std::string()
                                                    : "  reason: " + DescribeSerialFailure(failure) + "\n";
}

// The file load writes must be writable before the receiver is asked anything: a folder that does
// not exist or cannot be written is found now, not after the operation.
bool CheckOutputFile(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    std::string target;
    if (!CheckSaveTarget(path, target, error)) {
        error = path + ": " + error;
        return false;
    }
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty()) folder = ".";
    if (!CanWriteIn(folder.string())) {
        error = path + ": cannot write in " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SetPcSerialSettings(const CliArguments& arguments) {
    StorePcSerialSettingsDefaults();
    if (arguments.pcSettingsGiven) PcSerialSettings = arguments.pcSettings;
}

}  // namespace

int RunShow(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    SettingsFileBytes file;
    if (!ReadFileOrSay(arguments.files[0], file, err)) return kExitUsage;
    if (arguments.json)
        PrintJson(out, ShowJson(arguments.files[0], file));
    else
        Print(out, ShowText(arguments.files[0], file));
    return kExitSuccess;
}

int RunDiff(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    SettingsFileBytes first;
    SettingsFileBytes second;
    const bool firstRead = ReadFileOrSay(arguments.files[0], first, err);
    const bool secondRead = ReadFileOrSay(arguments.files[1], second, err);
    if (!firstRead || !secondRead) return kExitUsage;
    const std::vector<FieldDifference> differences = DiffSettings(first, second);
    if (arguments.json)
        PrintJson(out, DiffJson(arguments.files[0], arguments.files[1], differences));
    else
        Print(out, DiffText(differences));
    return differences.empty() ? kExitSuccess : kExitFailed;
}

int RunLoad(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    const std::string& device = arguments.devices[0];
    std::string error;
    if (!CheckDevicesOrSay(arguments.devices, err)) return kExitUsage;
    const bool toStandardOutput = arguments.output == "-";
    if (!toStandardOutput && !CheckOutputFile(arguments.output, error)) {
        Message(err, error);
        return kExitUsage;
    }

    SetPcSerialSettings(arguments);
    SerialSetDeviceName(1, device);
    SettingsImage.fill(0);

    CliOperator op(false, err);
    ProgressBoard board({device}, err, ProgressModeFor(err, arguments.quiet, false));
    op.SetBoard(&board);
    WatchPorts(1, [&](int, const std::string& state) {
        board.Update(0, state);
        board.Tick();
    });
    const uint8_t opened = LoadFromReceiver(0, op);
    StopWatchingPorts();
    board.Finish();

    if (opened == 0) {
        std::fputs(ReasonLine(1).c_str(), err);
        std::fflush(err);
    }
    // Error 12 only says the load goes on at 9600 8 none 1; every other message means a group is missing.
    bool complete = opened != 0;
    for (const std::string& title : op.WarningTitles())
        if (title != "Error 12") complete = false;
    if (!complete) {
        Message(err,
                arguments.output + " not written: the settings of " + device + " could not all be loaded");
        return kExitFailed;
    }
    if (toStandardOutput) {
        // "-o -": the 169 bytes on standard output (RunCommand reports a failed write).
        std::fwrite(SettingsImage.data(), 1, SettingsImage.size(), out);
        return kExitSuccess;
    }
    if (!SaveSettingsImage(arguments.output, error)) {
        Message(err, "cannot write " + arguments.output + ": " + error);
        return kExitFailed;
    }
    return kExitSuccess;
}

int RunConfigure(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    const RunKind kind = arguments.command == CliCommand::kVerify ? RunKind::kVerify : RunKind::kConfigure;
    PortLine pcLine = DefaultPcLine();
    if (arguments.pcSettingsGiven) PortLineFromRecord(arguments.pcSettings.data(), pcLine);
    const std::string file = arguments.files.empty() ? std::string() : arguments.files[0];

    // Every receiver, settings file and device is checked before anything is opened.
    std::vector<FleetReceiver> receivers;
    std::vector<std::string> errors;
    if (!arguments.manifest.empty()) {
        ReadManifest(arguments.manifest, file, pcLine, receivers, errors);
    } else {
        for (const std::string& device : arguments.devices) receivers.push_back({device, file, pcLine, {}});
    }
    FleetFiles files;
    if (errors.empty()) CheckFleet(receivers, files, errors);
    std::string error;
    AuditFile audit;
    if (errors.empty() && !arguments.audit.empty() && !audit.Open(arguments.audit, error))
        errors.push_back("cannot write the audit record: " + error);
    if (!errors.empty()) {
        // A file that is no manifest at all would give a line for each of its lines.
        constexpr size_t kMostErrors = 50;
        for (size_t i = 0; i < errors.size() && i < kMostErrors; ++i) Message(err, errors[i]);
        if (errors.size() > kMostErrors)
            Message(err, "... and " + std::to_string(errors.size() - kMostErrors) + " more problems");
        Message(err, "no receiver was touched");
        return kExitUsage;
    }

    std::vector<std::string> labels;
    for (const FleetReceiver& receiver : receivers) labels.push_back(receiver.device);
    const ProgressMode mode =
        arguments.progressFd >= 0 ? ProgressMode::kOff : ProgressModeFor(err, arguments.quiet, true);
    ProgressBoard board(labels, err, mode);
    FleetRunOptions options;
    options.kind = kind;
    options.yes = arguments.yes;
    options.trace = arguments.trace;
    options.progressFd = arguments.progressFd;
    const auto started = std::chrono::system_clock::now();
    const FleetResult result = RunFleet(receivers, files, options, board, err);

    if (arguments.json)
        PrintJson(out, FleetSummaryJson(kind, arguments.manifest.empty() ? file : std::string(), receivers,
                                        result));
    if (result.stopped) {
        Message(err, "nothing was sent to any receiver");
        return kExitStopped;
    }
    if (!arguments.json) Print(out, FleetSummaryText(kind, receivers, result));
    int status = FleetSucceeded(result) ? kExitSuccess : kExitFailed;
    if (!arguments.audit.empty() && !audit.Append(kind, started, receivers, files, result, error)) {
        Message(err, "the audit record was not written: " + error);
        status = kExitFailed;
    }
    return status;
}

int RunPorts(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    std::vector<PortListing> ports;
    int status = kExitSuccess;
    if (!arguments.devices.empty()) {
        for (const std::string& device : arguments.devices) {
            struct stat info {};
            if (::stat(device.c_str(), &info) != 0) {
                Message(err, device + ": " +
                                 (errno == ENOENT ? std::string("no such device") : std::strerror(errno)));
                status = kExitUsage;
                continue;
            }
            ports.push_back(DescribePort(device));
        }
    } else {
        struct stat info {};
        if (::stat(arguments.devDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            Message(err, arguments.devDir + ": not a folder");
            return kExitUsage;
        }
        ports = ListSerialPorts(arguments.devDir);
    }
    if (arguments.json) {
        nlohmann::ordered_json json = nlohmann::ordered_json::array();
        for (const PortListing& port : ports) json.push_back(PortJson(port));
        PrintJson(out, json);
        return status;
    }
    if (ports.empty() && arguments.devices.empty())
        Print(out, "No serial devices found in " + arguments.devDir + ".\n");
    for (const PortListing& port : ports) Print(out, PortListingLine(port) + "\n");
    return status;
}

int RunTrace(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    ParsedTrace trace;
    std::string error;
    if (!ReadTrace(arguments.files[0], trace, error)) {
        Message(err, error);
        return kExitUsage;
    }
    if (arguments.json)
        PrintJson(out, TraceConversationJson(arguments.files[0], trace));
    else
        Print(out, TraceConversationText(trace));
    return kExitSuccess;
}

namespace {

int Dispatch(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    switch (arguments.command) {
        case CliCommand::kShow:
            return RunShow(arguments, out, err);
        case CliCommand::kDiff:
            return RunDiff(arguments, out, err);
        case CliCommand::kLoad:
            return RunLoad(arguments, out, err);
        case CliCommand::kConfigure:
        case CliCommand::kVerify:
            return RunConfigure(arguments, out, err);
        case CliCommand::kPorts:
            return RunPorts(arguments, out, err);
        case CliCommand::kTrace:
            return RunTrace(arguments, out, err);
        case CliCommand::kNone:
            break;
    }
    return kExitUsage;
}

}  // namespace

int RunCommand(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    if (!arguments.trace.empty()) {
        std::string error;
        if (!ProgramTrace().Open(arguments.trace, std::string("vandel-cli ") + VC_VERSION, error)) {
            Message(err, "cannot write the trace: " + error);
            return kExitUsage;
        }
    }
    int status = Dispatch(arguments, out, err);
    ProgramTrace().Close();
    // Output that did not reach its file (a full disk, a closed pipe) is no result: say so.
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        const int error = errno;
        Message(err, std::string("cannot write the output: ") + std::strerror(error != 0 ? error : EIO));
        status = kExitUsage;
    }
    return status;
}
