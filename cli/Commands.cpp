#include "cli/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/CliOperator.h"
#include "cli/Ports.h"
#include "cli/Progress.h"
#include "cli/SettingsFileRead.h"
#include "cli/ShowDiff.h"
#include "cli/TraceReading.h"
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

nlohmann::ordered_json ReasonJson(uint8_t port) {
    const SerialFailure failure = SerialLastFailure(port);
    nlohmann::ordered_json json;
    json["code"] = SerialFailureCodeName(failure.code);
    json["detail"] = failure.detail;
    if (failure.holderPid != 0) json["pid"] = failure.holderPid;
    return json;
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
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = path + ": cannot write in " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SetPcSerialSettings(const CliArguments& arguments) {
    StorePcSerialSettingsDefaults();
    if (arguments.pcSettingsGiven) PcSerialSettings = arguments.pcSettings;
}

std::string CommName(size_t commIndex) {
    return "Comm " + std::to_string(commIndex + 1);
}

// A port whose receiver answered the Link Check has a row of group results.
bool Answered(uint8_t portResult) {
    return portResult == kResultGroupMissing || portResult == kResultGroupDiffers ||
           portResult == kResultSuccess;
}

std::string SummaryText(const std::string& title, const std::vector<std::string>& devices,
                        const CliOperator& op) {
    std::string text = title + "\n";
    for (size_t i = 0; i < devices.size(); ++i) {
        text += CommName(i) + " (" + devices[i] + "): " + PortResultText(op.Summary()[i].portResult) + "\n";
        if (op.Summary()[i].portResult == kResultOpenFailed) text += ReasonLine(static_cast<uint8_t>(i + 1));
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        const PortSummary& port = op.Summary()[i];
        if (!Answered(port.portResult)) continue;
        text += "\nSummary for Comm Port " + std::to_string(i + 1) + "\n";
        for (const CommSummaryRow& row : kCommSummaryRows) {
            const size_t at = static_cast<size_t>(row.groupNo - 1);
            text += std::string("  ") + row.caption + ": " + GroupStatusText(port.groupStatus[at]) + "\n";
            for (const FieldChange& change : port.differences[at])
                text += "    " + FieldChangeLine(change) + "\n";
        }
    }
    return text;
}

nlohmann::ordered_json SummaryJson(const std::string& file, const std::vector<std::string>& devices,
                                   const CliOperator& op, bool success) {
    nlohmann::ordered_json json;
    json["file"] = file;
    json["success"] = success;
    json["aborted"] = !op.SummaryShown();
    json["ports"] = nlohmann::ordered_json::array();
    if (!op.SummaryShown()) return json;
    for (size_t i = 0; i < devices.size(); ++i) {
        const PortSummary& port = op.Summary()[i];
        nlohmann::ordered_json entry;
        entry["comm"] = i + 1;
        entry["device"] = devices[i];
        entry["result"] = port.portResult;
        entry["text"] = PortResultText(port.portResult);
        if (port.portResult == kResultOpenFailed) entry["reason"] = ReasonJson(static_cast<uint8_t>(i + 1));
        if (Answered(port.portResult)) {
            entry["groups"] = nlohmann::ordered_json::array();
            for (const CommSummaryRow& row : kCommSummaryRows) {
                const uint8_t status = port.groupStatus[static_cast<size_t>(row.groupNo - 1)];
                nlohmann::ordered_json group;
                group["group"] = row.groupNo;
                group["name"] = SettingsGroup(row.groupNo).name;
                group["caption"] = row.caption;
                group["status"] = status;
                group["text"] = GroupStatusText(status);
                if (status == kGroupDiffers) {
                    group["differences"] = nlohmann::ordered_json::array();
                    for (const FieldChange& change : port.differences[static_cast<size_t>(row.groupNo - 1)])
                        group["differences"].push_back({{"field", change.field},
                                                        {"written", change.written},
                                                        {"readBack", change.readBack},
                                                        {"writtenHex", change.writtenHex},
                                                        {"readBackHex", change.readBackHex}});
                }
                entry["groups"].push_back(std::move(group));
            }
        }
        json["ports"].push_back(std::move(entry));
    }
    return json;
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
    StartProgress({device}, err);
    const uint8_t opened = LoadFromReceiver(0, op);
    StopProgress();

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
    const bool verify = arguments.command == CliCommand::kVerify;
    const std::string& path = arguments.files[0];
    SettingsFileBytes file;
    std::string error;
    if (!ReadSettingsFile(path, file, error)) {
        Message(err, error);
        return kExitUsage;
    }
    // A receiver is never written from a file that is not a whole settings file: the bytes the
    // window's loader would make up (FF) are not settings anyone chose.
    if (file.size != kSettingsImageSize) {
        Message(err, path + " is " + std::to_string(file.size) + " bytes: a settings file is exactly " +
                         std::to_string(kSettingsImageSize) + " bytes; no receiver was touched");
        return kExitUsage;
    }
    if (!CheckDevicesOrSay(arguments.devices, err)) return kExitUsage;

    // No capture: the image is the file, taken in as the window's loader takes it.
    SetPcSerialSettings(arguments);
    for (const SettingsGroupInfo& group : kSettingsGroups)
        ShowGroup(group.number, file.bytes.data() + group.offset);
    for (size_t i = 0; i < PortContexts.size(); ++i) {
        const bool selected = i < arguments.devices.size();
        if (selected) SerialSetDeviceName(static_cast<uint8_t>(i + 1), arguments.devices[i]);
        PortContexts[i].operationMode = selected ? kModeConfiguring : kModeIdle;
    }

    CliOperator op(arguments.yes, err);
    StartProgress(arguments.devices, err);
    ConfigureReceivers(op, verify ? RunKind::kVerify : RunKind::kConfigure);
    StopProgress();

    bool success = op.SummaryShown();
    for (size_t i = 0; success && i < arguments.devices.size(); ++i)
        success = op.Summary()[i].portResult == kResultSuccess;

    if (arguments.json)
        PrintJson(out, SummaryJson(path, arguments.devices, op, success));
    else if (op.SummaryShown())
        Print(out,
              SummaryText(verify ? "Verification Summary" : "Configuration Summary", arguments.devices, op));
    if (!op.SummaryShown()) Message(err, "nothing was sent to any receiver");
    return success ? kExitSuccess : kExitFailed;
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
