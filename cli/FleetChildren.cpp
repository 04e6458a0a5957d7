// The runs of a fleet in processes of their own: each started as `vandel-cli --fleet-run` with its
// request on standard input, watched through its events (RunProtocol.h), stopped with the fleet,
// and collected in the order the receivers were given. Starting and watching the processes is the
// system's part (platform/RunProcesses*.cpp).
#include "cli/FleetRuns.h"
#include "cli/RunProtocol.h"
#include "operations/OperationWait.h"
#include "operations/SummaryTables.h"
#include "serial/Trace.h"

namespace {

constexpr size_t kMaxEventLine = 4u << 20;  // a port event with every field of every group differing
constexpr size_t kMaxErrorLine = 4096;

// Complete lines of `pending` (after appending `bytes`) handed to `take`; an endless line is cut.
template <typename Take>
void TakeLines(std::string& pending, const char* bytes, size_t count, size_t limit, Take take) {
    pending.append(bytes, count);
    size_t begin = 0;
    for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1)
        take(pending.substr(begin, end - begin));
    pending.erase(0, begin);
    if (pending.size() > limit) {
        take(pending.substr(0, limit));
        pending.clear();
    }
}

void TakeEvent(const std::string& line, ChildRun& child, ProgressBoard& board) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object() || !event.contains("event")) return;
    const std::string kind = event["event"].is_string() ? event["event"].get<std::string>() : std::string();
    const int comm =
        event.contains("comm") && event["comm"].is_number_integer() ? event["comm"].get<int>() : 0;
    const bool member = comm >= 1 && static_cast<size_t>(comm) <= child.members.size();
    const size_t index = member ? child.members[static_cast<size_t>(comm - 1)] : 0;
    if (kind == "state" && member && event.contains("state") && event["state"].is_string()) {
        // A port through before its run ends (it could not be opened, never answered) counts as
        // done from now.
        const int result =
            event.contains("result") && event["result"].is_number_integer() ? event["result"].get<int>() : 0;
        if (result > 0 && result < static_cast<int>(kPortResults.size()))
            board.Done(index, event["state"].get<std::string>(),
                       PortResultTone(static_cast<uint8_t>(result)));
        else
            board.Update(index, event["state"].get<std::string>());
    } else if (kind == "message" && event.contains("text") && event["text"].is_string()) {
        child.lastError = event["text"].get<std::string>();
        board.Message("run " + std::to_string(child.run) + ": " + child.lastError);
    } else if (kind == "port" && member) {
        FleetOutcome outcome;
        if (OutcomeFromPortEvent(event, outcome)) {
            board.Done(index, OutcomeText(child.kind, outcome), OutcomeTone(outcome));
            child.outcomes[static_cast<size_t>(comm - 1)] = std::move(outcome);
        }
    } else if (kind == "end") {
        child.ended = true;
    }
}

std::string WhyNoResult(const ChildRun& child) {
    if (!child.spawnError.empty()) return "its run could not be started: " + child.spawnError;
    std::string how = "its run " + child.howItEnded + " without a result for it";
    if (!child.lastError.empty()) how += ": " + child.lastError;
    return how;
}

void CollectChild(const ChildRun& child, FleetResult& result) {
    for (size_t i = 0; i < child.members.size(); ++i) {
        FleetOutcome& outcome = result.outcomes[child.members[i]];
        if (child.outcomes[i]) {
            outcome = *child.outcomes[i];
        } else {
            outcome = FleetOutcome{};
            outcome.started = child.started;
            outcome.seconds = child.seconds;
            outcome.noResult = WhyNoResult(child);
        }
        outcome.run = child.run;
        outcome.comm = static_cast<int>(i + 1);
    }
}

}  // namespace

void TakeRunEvents(ChildRun& child, const char* bytes, size_t count, ProgressBoard& board) {
    TakeLines(child.eventLine, bytes, count, kMaxEventLine,
              [&](const std::string& line) { TakeEvent(line, child, board); });
}

void TakeRunErrors(ChildRun& child, const char* bytes, size_t count, ProgressBoard& board) {
    TakeLines(child.errLine, bytes, count, kMaxErrorLine, [&](const std::string& line) {
        child.lastError = line;
        board.Message("run " + std::to_string(child.run) + ": " + line);
    });
}

void RunInChildren(const std::vector<FleetReceiver>& receivers, const std::vector<std::vector<size_t>>& runs,
                   const FleetFiles& files, const FleetRunOptions& options, ProgressBoard& board,
                   FleetResult& result) {
    std::vector<ChildRun> children(runs.size());
    // One look at other processes for every run: each would otherwise walk the machine's
    // processes itself, a cost that grows with the fleet's runs as with the machine.
    std::vector<std::string> devices;
    for (const FleetReceiver& receiver : receivers) devices.push_back(receiver.device);
    const HandedLook look = TakeLookFor(devices);
    for (size_t r = 0; r < runs.size() && !OperationStopRequested(); ++r) {
        ChildRun& child = children[r];
        child.kind = options.kind;
        child.run = r + 1;
        child.members = runs[r];
        child.outcomes.resize(child.members.size());
        const FleetReceiver& first = receivers[child.members.front()];
        RunRequest request;
        request.kind = options.kind;
        request.yes = options.yes;
        request.pcLine = first.pcLine;
        request.settings = files.at(SettingsSource(first));
        for (size_t index : child.members) request.devices.push_back(receivers[index].device);
        if (!options.trace.empty()) request.trace = options.trace + "." + std::to_string(child.run);
        request.parent = CurrentProcessId();
        request.look = LookPartFor(look, request.devices);
        child.requestText = RunRequestLine(request);
        if (StartRun(child) && ProgramTrace().IsOpen()) {
            ProgramTrace().Line(0, "note",
                                "run " + std::to_string(child.run) + " pid=" + std::to_string(child.pid) +
                                    " trace=" + request.trace);
        }
    }
    WatchRuns(children, board);
    for (const ChildRun& child : children) {
        if (child.run == 0) continue;  // never started: a stop came first
        CollectChild(child, result);
    }
    // Runs a stop kept from starting: their receivers were never touched.
    for (size_t r = 0; r < runs.size(); ++r) {
        if (children[r].run != 0) continue;
        for (size_t i = 0; i < runs[r].size(); ++i) {
            FleetOutcome& outcome = result.outcomes[runs[r][i]];
            outcome.run = r + 1;
            outcome.comm = static_cast<int>(i + 1);
            outcome.interrupted = true;
            outcome.step = RunStep::kOpening;
            outcome.started = std::chrono::system_clock::now();
        }
    }
}
