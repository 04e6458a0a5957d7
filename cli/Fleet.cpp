#include "cli/Fleet.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <unordered_map>

#include "cli/DeviceIdentity.h"
#include "cli/Progress.h"
#include "cli/RunProtocol.h"
#include "cli/Silence.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "serial/Serial.h"
#include "settings/Display.h"
#include "settings/SettingsText.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string WithOrigin(const FleetReceiver& receiver, const std::string& message) {
    return receiver.origin.empty() ? message : receiver.origin + ": " + message;
}

// The image and the PC side of a run: the settings file's bytes taken in as the window's loader
// takes them (no capture), the PC settings as given.
void TakeSettings(const SettingsFileBytes& file, const PortLine& pcLine) {
    StorePcSerialSettingsDefaults();
    PcSerialSettings.fill(0);
    PortRecordFromLine(pcLine, PcSerialSettings.data());
    for (const SettingsGroupInfo& group : kSettingsGroups)
        ShowGroup(group.number, file.bytes.data() + group.offset);
}

nlohmann::ordered_json ReasonJson(uint8_t port) {
    const SerialFailure failure = SerialLastFailure(port);
    nlohmann::ordered_json json;
    json["code"] = SerialFailureCodeName(failure.code);
    json["detail"] = failure.detail;
    if (failure.holderPid != 0) json["pid"] = failure.holderPid;
    json["text"] = DescribeSerialFailure(failure);
    return json;
}

// The "Invalid Configuration" question, once for each settings file, before any run starts.
bool AskForEveryFile(const std::vector<FleetReceiver>& receivers,
                     const std::vector<std::vector<size_t>>& runs, const FleetFiles& files,
                     const FleetRunOptions& options, std::FILE* err) {
    std::vector<std::string> asked;
    for (const std::vector<size_t>& run : runs) {
        const FleetReceiver& first = receivers[run.front()];
        const std::string source = SettingsSource(first);
        if (std::find(asked.begin(), asked.end(), source) != asked.end()) continue;
        asked.push_back(source);
        TakeSettings(files.at(source), first.pcLine);
        CliOperator op(err, {.yes = options.yes});
        if (!ValidateConfiguration(op)) return false;
    }
    return true;
}

}  // namespace

void RunHere(const std::vector<FleetReceiver>& receivers, const std::vector<size_t>& members,
             const FleetFiles& files, const FleetRunOptions& options, ProgressBoard& board, std::FILE* err,
             FleetResult& result) {
    const FleetReceiver& first = receivers[members.front()];
    TakeSettings(files.at(SettingsSource(first)), first.pcLine);
    for (size_t i = 0; i < PortContexts.size(); ++i) {
        const bool selected = i < members.size();
        if (selected) SerialSetDeviceName(static_cast<uint8_t>(i + 1), receivers[members[i]].device);
        PortContexts[i].operationMode = selected ? kModeConfiguring : kModeIdle;
    }

    // Working for another process: the question was asked there, the events go there.
    const bool forAnother = options.eventFd >= 0;
    CliOperator op(err, {.yes = options.yes, .askedElsewhere = forAnother});
    op.SetBoard(&board);
    const auto started = std::chrono::system_clock::now();
    const Clock::time_point start = Clock::now();
    // When each port got a result of its own before the run's end (it failed to open, or never
    // answered): its seconds end there.
    std::vector<double> doneAt(members.size(), -1);
    WatchPorts(static_cast<int>(members.size()),
               [&](int commIndex, const std::string& state, uint8_t through) {
                   const size_t at = static_cast<size_t>(commIndex);
                   if (doneAt[at] < 0 && PortContexts[at].portResult != kResultNotInRun)
                       doneAt[at] = SecondsSince(start);
                   if (forAnother) {
                       WriteRunEvent(options.eventFd, StateEventLine(commIndex + 1, state, through));
                   } else {
                       if (through != kResultNotInRun)
                           board.Done(members[at], state, PortResultTone(through));
                       else
                           board.Update(members[at], state);
                       board.Tick();
                   }
               });
    ConfigureReceivers(op, options.kind);
    StopWatchingPorts();
    const double seconds = SecondsSince(start);

    result.stopped = op.Declined();
    for (size_t i = 0; i < members.size(); ++i) {
        FleetOutcome& outcome = result.outcomes[members[i]];
        outcome.run = 1;
        outcome.comm = static_cast<int>(i + 1);
        outcome.started = started;
        outcome.seconds = doneAt[i] >= 0 ? doneAt[i] : seconds;
        const bool finished =
            op.SummaryShown() || (op.RunWasStopped() && op.Steps()[i] == RunStep::kFinished);
        if (!finished) {
            if (op.RunWasStopped()) {
                outcome.interrupted = true;
                outcome.step = op.Steps()[i];
            } else {
                outcome.noResult = "the run was stopped before anything was sent";
            }
            continue;
        }
        outcome.reported = true;
        outcome.summary = op.Summary()[i];
        if (outcome.summary.portResult == kResultOpenFailed)
            outcome.reason = ReasonJson(static_cast<uint8_t>(i + 1));
        if (outcome.summary.portResult == kResultNoAnswer)
            outcome.reason = SilenceReason(static_cast<int>(i), ConfigureLineRoles());
    }
}

PortLine DefaultPcLine() {
    StorePcSerialSettingsDefaults();
    PortLine line;
    PortLineFromRecord(PcSerialSettings.data(), line);
    return line;
}

std::string SettingsSource(const FleetReceiver& receiver) {
    std::string source = receiver.settingsFile;
    for (size_t i = 0; i < receiver.overrides.size(); ++i)
        source +=
            (i == 0 ? " with " : " ") + receiver.overrides[i].first + "=" + receiver.overrides[i].second;
    return source;
}

bool CheckFleet(const std::vector<FleetReceiver>& receivers, FleetFiles& files,
                std::vector<FleetProblem>& problems) {
    const size_t before = problems.size();
    std::set<std::string> failedFiles;
    std::map<std::string, SettingsFileBytes> read;  // each settings file once, by path
    DeviceIdentities identities;
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetReceiver& receiver = receivers[i];
        auto problem = [&](const std::string& text) {
            problems.push_back({receiver.line, WithOrigin(receiver, text)});
        };
        const std::string& path = receiver.settingsFile;
        if (read.count(path) == 0 && failedFiles.count(path) == 0) {
            SettingsFileBytes file;
            std::string error;
            if (!ReadSettingsFile(path, file, error)) {
                problem(error);
                failedFiles.insert(path);
            } else if (file.size != kSettingsImageSize) {
                // A receiver is never written from a file that is not a whole settings file: the
                // bytes the window's loader would make up (FF) are not settings anyone chose.
                problem(path + " is " + std::to_string(file.size) + " bytes: a settings file is exactly " +
                        std::to_string(kSettingsImageSize) + " bytes");
                failedFiles.insert(path);
            } else {
                read[path] = file;
            }
        }
        const std::string source = SettingsSource(receiver);
        if (read.count(path) != 0 && files.count(source) == 0) {
            SettingsFileBytes file = read.at(path);
            std::vector<std::pair<const SettingsKey*, SettingsValue>> values;
            for (const auto& [name, value] : receiver.overrides)
                values.emplace_back(FindSettingsKey(name), SettingsValue{SettingsValueType::kText, value});
            std::string error;
            if (ApplySettingsValues(values, file.bytes.data(), error))
                files[source] = file;
            else
                problem(error);
        }
        size_t earlier = DeviceIdentities::kNone;
        std::string error;
        if (!identities.Register(receiver.device, i, earlier, error)) {
            problem(error);
            continue;
        }
        // Two names of one device (a link and its target) would be two ports fighting over one line.
        if (earlier != DeviceIdentities::kNone) {
            const FleetReceiver& first = receivers[earlier];
            const std::string where = first.origin.empty() ? "" : " (" + first.origin + ")";
            problem(first.device + where + " and " + receiver.device + " are the same device");
        }
    }
    return problems.size() == before;
}

std::vector<std::vector<size_t>> PlanFleetRuns(const std::vector<FleetReceiver>& receivers) {
    std::vector<std::vector<size_t>> runs;
    std::vector<size_t> open;  // for each run still taking receivers: its index in runs
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetReceiver& receiver = receivers[i];
        auto fits = std::find_if(open.begin(), open.end(), [&](size_t r) {
            const FleetReceiver& first = receivers[runs[r].front()];
            return SettingsSource(first) == SettingsSource(receiver) && first.pcLine == receiver.pcLine;
        });
        if (fits == open.end()) {
            runs.push_back({i});
            open.push_back(runs.size() - 1);
            continue;
        }
        runs[*fits].push_back(i);
        if (runs[*fits].size() == static_cast<size_t>(kPortContextCount)) open.erase(fits);
    }
    return runs;
}

FleetResult RunFleet(const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                     const FleetRunOptions& options, ProgressBoard& board, std::FILE* err) {
    FleetResult result;
    result.outcomes.resize(receivers.size());
    const std::vector<std::vector<size_t>> runs = PlanFleetRuns(receivers);
    result.runCount = runs.size();
    if (runs.size() == 1) {
        RunHere(receivers, runs.front(), files, options, board, err, result);
    } else if (options.kind == RunKind::kConfigure &&
               !AskForEveryFile(receivers, runs, files, options, err)) {
        result.stopped = true;
        for (FleetOutcome& outcome : result.outcomes)
            outcome.noResult = "the run was stopped before anything was sent";
    } else {
        RunInChildren(receivers, runs, files, options, board, result);
    }
    for (size_t i = 0; !result.stopped && i < receivers.size(); ++i) {
        board.Done(i, OutcomeText(options.kind, result.outcomes[i]), OutcomeTone(result.outcomes[i]));
    }
    board.Finish();
    return result;
}
