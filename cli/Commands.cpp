#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Audit.h"
#include "cli/CliOperator.h"
#include "cli/ClosedPipe.h"
#include "cli/CommandTable.h"
#include "cli/DeviceIdentity.h"
#include "cli/Fleet.h"
#include "cli/Manifest.h"
#include "cli/Ports.h"
#include "cli/Probe.h"
#include "cli/Progress.h"
#include "cli/SettingsFileRead.h"
#include "cli/SettingsTextCommands.h"
#include "cli/ShowDiff.h"
#include "cli/Silence.h"
#include "cli/StopSignals.h"
#include "cli/TraceReading.h"
#include "cli/platform/Platform.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/ConfigureReceivers.h"
#include "operations/LoadFromReceiver.h"
#include "operations/OperationWait.h"
#include "operations/SummaryTables.h"
#include "serial/Serial.h"
#include "serial/Trace.h"
#include "settings/Display.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsImage.h"

void Message(std::FILE* err, const std::string& text) {
    std::fprintf(err, "vandel-cli: %s\n", text.c_str());
    std::fflush(err);
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

namespace {

void Print(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

// A file name from the command line need not be UTF-8: bytes that are not come out replaced.
void PrintJson(std::FILE* out, const nlohmann::ordered_json& json) {
    Print(out, json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

// A device name that can never be a serial device is refused before anything is opened; one that
// is not there now fails to open like any other.
bool CheckDeviceOrSay(const std::string& device, std::FILE* err) {
    DeviceIdentities identities;
    std::vector<std::string> keys;
    std::string error;
    if (identities.Identify(device, keys, error)) return true;
    Message(err, error);
    return false;
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
    else if (arguments.toml)
        Print(out, SettingsToText(file.bytes.data()));
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
    if (!CheckDeviceOrSay(device, err)) return kExitUsage;
    const bool toStandardOutput = arguments.output == "-";
    if (!toStandardOutput && !CheckOutputFile(arguments.output, error)) {
        Message(err, error);
        return kExitUsage;
    }

    SetPcSerialSettings(arguments);
    if (arguments.pcSettingsAuto && !ProbeLoadLine(device, arguments.quiet, err)) return kExitFailed;
    SerialSetDeviceName(1, device);
    SettingsImage.fill(0);

    CliOperator op(err);
    ProgressBoard board({device}, err, ProgressModeFor(err, arguments.quiet, ProgressMode::kOff));
    op.SetBoard(&board);
    WatchPorts(1, [&](int, const std::string& state, uint8_t) {
        board.Update(0, state);
        board.Tick();
    });
    const uint8_t opened = StopSignal() != 0 ? 0 : LoadFromReceiver(0, op);
    StopWatchingPorts();
    board.Finish();

    // Stopped by a signal: the port is closed and nothing is written (not even a temporary file).
    if (StopSignal() != 0) {
        const std::string step = op.LastStep().empty() ? std::string("before the port was opened")
                                                       : "at \"" + op.LastStep() + "\"";
        Message(err, std::string("interrupted by ") + SignalText(StopSignal()) + " " + step + ": " +
                         (toStandardOutput ? std::string("nothing was written")
                                           : arguments.output + " was not written"));
        return StopExitStatus();
    }

    std::fputs((opened == 0 ? ReasonLine(1) : LoadSilenceLine(op.WarningTitles())).c_str(), err);
    std::fflush(err);
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
    const std::string contents = SettingsFileContents(arguments.output, SettingsImage);
    if (!SaveFileAtomically(arguments.output, contents.data(), contents.size(), error)) {
        Message(err, "cannot write " + arguments.output + ": " + error);
        return kExitFailed;
    }
    if (!arguments.quiet) Message(err, WrittenToText(device, arguments.output));
    return kExitSuccess;
}

namespace {

// Every receiver, settings file and device is checked before anything is opened, and every
// problem is told at once, by line. False (problems told) when any was found.
bool CheckReceivers(const CliArguments& arguments, const std::string& file, const PortLine& pcLine,
                    std::vector<FleetReceiver>& receivers, FleetFiles& files, AuditFile& audit,
                    std::FILE* err) {
    std::vector<FleetProblem> problems;
    if (!arguments.manifest.empty()) {
        ReadManifest(arguments.manifest, file, pcLine, receivers, problems);
    } else {
        for (const std::string& device : arguments.devices)
            receivers.push_back({device, file, pcLine, {}, 0, {}});
    }
    CheckFleet(receivers, files, problems);
    std::string error;
    if (problems.empty() && !arguments.audit.empty() && !audit.Open(arguments.audit, error))
        problems.push_back({0, "cannot write the audit record: " + error});
    if (problems.empty()) return true;
    std::stable_sort(problems.begin(), problems.end(),
                     [](const FleetProblem& a, const FleetProblem& b) { return a.line < b.line; });
    // A file that is no manifest at all would give a line for each of its lines.
    constexpr size_t kMostProblems = 50;
    for (size_t i = 0; i < problems.size() && i < kMostProblems; ++i) Message(err, problems[i].text);
    if (problems.size() > kMostProblems)
        Message(err, "... and " + std::to_string(problems.size() - kMostProblems) + " more problems");
    Message(err, "no receiver was touched");
    return false;
}

// The record, the summary and the exit status of a finished fleet.
int ReportFleet(const CliArguments& arguments, RunKind kind, const std::string& file,
                const std::vector<FleetReceiver>& receivers, const FleetFiles& files, AuditFile& audit,
                FleetResult& result, std::FILE* out, std::FILE* err) {
    // The record first: it is what tells which receivers were written, also after a signal.
    std::string error;
    if (!arguments.audit.empty() && !result.stopped) {
        result.audited = true;
        if (!audit.Append(kind, receivers, files, result, result.auditWritten, error))
            result.auditError = error;
    }
    if (arguments.json)
        PrintJson(out, FleetSummaryJson(kind, arguments.manifest.empty() ? file : std::string(), receivers,
                                        result));
    if (result.stopped) {
        Message(err, "nothing was sent to any receiver");
        return kExitStopped;
    }
    if (!arguments.json)
        Print(out,
              FleetSummaryText(kind, receivers, result, {arguments.brief, ColorFor(out, arguments.color)}));
    if (!result.auditError.empty())
        Message(err, "the audit record is incomplete: " + std::to_string(result.auditWritten) + " of " +
                         std::to_string(receivers.size()) + " lines were written: " + result.auditError);
    if (result.signal != 0) {
        Message(err, std::string("interrupted by ") + SignalText(result.signal) +
                         ": the receivers not finished are listed as interrupted, with their step");
        return StopExitStatus();
    }
    return FleetSucceeded(result) ? kExitSuccess : kExitFailed;
}

}  // namespace

int RunConfigure(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    const RunKind kind = arguments.command == CliCommand::kVerify ? RunKind::kVerify : RunKind::kConfigure;
    PortLine pcLine = DefaultPcLine();
    if (arguments.pcSettingsGiven) PortLineFromRecord(arguments.pcSettings.data(), pcLine);
    const std::string file = arguments.files.empty() ? std::string() : arguments.files[0];
    std::vector<FleetReceiver> receivers;
    FleetFiles files;
    AuditFile audit;
    if (!CheckReceivers(arguments, file, pcLine, receivers, files, audit, err)) return kExitUsage;

    if (StopSignal() != 0) {
        Message(err, std::string("interrupted by ") + SignalText(StopSignal()) + ": no receiver was touched");
        return StopExitStatus();
    }
    // The keys that make a file fail the self-survey/dynamics check are named before its question
    // is asked (once: not again in each run's own process).
    if (kind == RunKind::kConfigure)
        for (const auto& [path, bytes] : files)
            if (const std::string fields = InvalidConfigurationFields(bytes.bytes); !fields.empty())
                Message(err, "warning: " + path + " fails the self-survey/dynamics check: " + fields);

    std::vector<std::string> labels;
    for (const FleetReceiver& receiver : receivers) labels.push_back(receiver.device);
    ProgressBoard board(labels, err, ProgressModeFor(err, arguments.quiet, ProgressMode::kLines),
                        ColorFor(err, arguments.color));
    if (arguments.pcSettingsAuto) ProbeFleetLines(receivers, board);
    FleetRunOptions options;
    options.kind = kind;
    options.yes = arguments.yes;
    options.trace = arguments.trace;
    FleetResult result = RunFleet(receivers, files, options, board, err);
    result.signal = StopSignal();
    return ReportFleet(arguments, kind, file, receivers, files, audit, result, out, err);
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
    TraceConversation trace;
    std::string error;
    if (!ReadTraceConversation(arguments.files[0], trace, error)) {
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
    const CliCommandEntry* entry = FindCliCommand(arguments.command);
    return entry == nullptr ? kExitUsage : entry->run(arguments, out, err);
}

}  // namespace

int RunCommand(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    WriteWholePrints(out);
    // The commands that talk to receivers stop safely on SIGINT, SIGTERM and SIGHUP.
    if (arguments.command == CliCommand::kLoad || arguments.command == CliCommand::kConfigure ||
        arguments.command == CliCommand::kVerify)
        InstallStopSignals();
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
        if (ReaderHasGone(out)) return kExitClosedPipe;
        const int error = errno;
        Message(err, std::string("cannot write the output: ") + std::strerror(error != 0 ? error : EIO));
        status = kExitUsage;
    }
    return status;
}
