#include "cli/Probe.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "cli/DeviceIdentity.h"
#include "cli/Fleet.h"
#include "cli/Progress.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "operations/OperationWait.h"
#include "serial/Serial.h"

namespace {

constexpr int kListenSteps = 4;        // a Link Check's answer is awaited 4 × 100 ms at most
constexpr int kMostSendingSteps = 10;  // and its leaving the Transmit Queue 10 × 100 ms at most
constexpr int kListenStepMs = 100;

// Where one port of a batch stands in its hunt.
// A first answer may be a late answer to the settings before, so it is checked: once more at the
// settings before (a late answer comes once), then at its own settings. An answer at either finds.
struct Hunt {
    enum class Step { kSearch, kCheckBefore, kConfirm };
    Step step = Step::kSearch;
    size_t candidate = 0;
    size_t answeredAt = 0;  // where the first answer came
    bool done = false;
    bool lineSet = false;

    void MoveTo(size_t next, size_t count) {
        candidate = next;
        lineSet = false;
        done = next >= count;
    }
};

PortContext& Context(size_t i) {
    return PortContexts[i];
}

// f(i) for each i of `indices`, each on a thread of its own: the driver calls that wait on their
// port (open, line settings) take as long for twenty ports as for one.
template <typename F>
void SideBySide(const std::vector<size_t>& indices, F f) {
    std::vector<std::thread> threads;
    threads.reserve(indices.size());
    for (const size_t i : indices) threads.emplace_back(f, i);
    for (std::thread& thread : threads) thread.join();
}

std::string Of(size_t n, size_t count) {
    return std::to_string(n) + " of " + std::to_string(count);
}

nlohmann::ordered_json OpenFailure(uint8_t port) {
    const SerialFailure failure = SerialLastFailure(port);
    nlohmann::ordered_json reason;
    reason["code"] = SerialFailureCodeName(failure.code);
    reason["detail"] = failure.detail;
    reason["text"] = "could not be opened: " + DescribeSerialFailure(failure);
    return reason;
}

nlohmann::ordered_json NotFound(const ProbeOutcome& outcome) {
    const std::string settings = std::to_string(outcome.tried) + " line settings";
    nlohmann::ordered_json reason;
    if (outcome.received == 0) {
        reason["code"] = "nothing-received";
        reason["detail"] = settings;
        reason["text"] = "nothing came back at any of " + settings;
    } else {
        reason["code"] = "no-answer-to-link-check";
        reason["detail"] = std::to_string(outcome.unframed) + " of " + std::to_string(outcome.received) +
                           " bytes unframed; " + settings;
        reason["text"] =
            std::to_string(outcome.received) + " bytes came back (" + std::to_string(outcome.unframed) +
            " that do not frame as KIRP packets), but no answer to the Link Check at any of " + settings;
    }
    return reason;
}

// One batch of at most twenty devices, Comm 1 upwards; outcomes[first + i] for device i.
class ProbeBatchRun {
  public:
    ProbeBatchRun(const std::vector<std::string>& devices, size_t first, size_t count,
                  std::vector<ProbeOutcome>& outcomes, const ProbeProgress& progress)
        : devices_(devices),
          first_(first),
          count_(count),
          outcomes_(outcomes),
          progress_(progress),
          candidates_(ProbeCandidates()),
          hunts_(count),
          opened_(count, 0) {}

    void Run() {
        Open();
        for (std::vector<size_t> active = Active(); !active.empty(); active = Active()) {
            SetLines(active);
            SendLinkChecks(active);
            AwaitAnswers(active);
            for (const size_t i : active) Advance(i);
        }
        Close();
    }

  private:
    // Opens every port side by side; a port that cannot be opened is done with its reason.
    void Open() {
        std::vector<size_t> all;
        for (size_t i = 0; i < count_; ++i) {
            all.push_back(i);
            SerialSetDeviceName(static_cast<uint8_t>(i + 1), devices_[first_ + i]);
            Context(i).operationMode = kModeIdle;
            Context(i).linkState = kLinkIdle;
        }
        for (size_t i = 0; i < count_; ++i) progress_(first_ + i, "opening");
        SideBySide(all,
                   [&](size_t i) { opened_[i] = OpenPortContext(Context(i), static_cast<int32_t>(i + 1)); });
        for (size_t i = 0; i < count_; ++i) {
            outcomes_[first_ + i].device = devices_[first_ + i];
            outcomes_[first_ + i].opened = opened_[i] != 0;
            hunts_[i].done = opened_[i] == 0;
            if (opened_[i] == 0) {
                outcomes_[first_ + i].reason = OpenFailure(static_cast<uint8_t>(i + 1));
                progress_(first_ + i, "done: " + outcomes_[first_ + i].reason["text"].get<std::string>());
            }
        }
    }

    std::vector<size_t> Active() const {
        std::vector<size_t> active;
        for (size_t i = 0; i < count_; ++i)
            if (!hunts_[i].done) active.push_back(i);
        return active;
    }

    // The PC side of each port that moved on takes its next candidate (which empties its ring).
    void SetLines(const std::vector<size_t>& active) {
        std::vector<size_t> moving;
        for (const size_t i : active)
            if (!hunts_[i].lineSet) moving.push_back(i);
        SideBySide(moving, [&](size_t i) {
            std::array<uint8_t, kPortConfigurationSize> record{};
            PortRecordFromLine(candidates_[hunts_[i].candidate], record.data());
            ApplyPortSettings(record.data(), static_cast<int16_t>(i));
            hunts_[i].lineSet = true;
        });
    }

    void SendLinkChecks(const std::vector<size_t>& active) {
        for (const size_t i : active) {
            // One state per baud rate: a log gets nine lines per device at most, not a hundred.
            const size_t at = hunts_[i].candidate;
            if (at == 0 || candidates_[at].baudRate != candidates_[at - 1].baudRate)
                progress_(first_ + i, "trying " + std::to_string(candidates_[at].baudRate) + " baud (" +
                                          Of(at + 1, candidates_.size()) + " line settings)");
            Context(i).linkState = kLinkCheckSent;
            SendLinkCheck(static_cast<int16_t>(i));
        }
    }

    // The answer is awaited from when the Link Check has left: a port's I/O thread starts a while
    // after its open, and the next candidate's line settings would purge it unsent.
    static void AwaitAnswers(const std::vector<size_t>& active) {
        for (int step = 0; step < kMostSendingSteps; ++step) {
            const bool sending = std::any_of(active.begin(), active.end(), [](size_t i) {
                return SerialTransmitCount(static_cast<uint8_t>(i + 1)) > 0;
            });
            if (!sending) break;
            OperationWait(kListenStepMs);
        }
        for (int step = 0; step < kListenSteps; ++step) {
            OperationWait(kListenStepMs);
            bool waiting = false;
            for (const size_t i : active) {
                if (Context(i).linkState != kLinkCheckSent) continue;
                PumpPort(Context(i), ReportHandler);
                waiting = waiting || Context(i).linkState == kLinkCheckSent;
            }
            if (!waiting) break;
        }
    }

    // Port i's hunt after a Link Check: found, checking a first answer, or on to the next candidate.
    void Advance(size_t i) {
        Hunt& hunt = hunts_[i];
        const bool answered = Context(i).linkState == kLinkAnswered;
        Context(i).linkState = kLinkIdle;
        const bool checked = hunt.step != Hunt::Step::kSearch;
        if (answered && checked) {
            ProbeOutcome& outcome = outcomes_[first_ + i];
            outcome.found = true;
            outcome.line = candidates_[hunt.candidate];
            hunt.done = true;
            progress_(first_ + i, "done: found " + PortLineText(outcome.line));
        } else if (answered) {
            hunt.answeredAt = hunt.candidate;
            hunt.step = hunt.candidate > 0 ? Hunt::Step::kCheckBefore : Hunt::Step::kConfirm;
            if (hunt.candidate > 0) hunt.MoveTo(hunt.candidate - 1, candidates_.size());
        } else if (hunt.step == Hunt::Step::kCheckBefore) {
            hunt.step = Hunt::Step::kConfirm;
            hunt.MoveTo(hunt.answeredAt, candidates_.size());
        } else {
            hunt.step = Hunt::Step::kSearch;
            hunt.MoveTo((checked ? hunt.answeredAt : hunt.candidate) + 1, candidates_.size());
        }
    }

    // Each opened port's tally into its outcome, then the port closed.
    void Close() {
        for (size_t i = 0; i < count_; ++i) {
            if (opened_[i] == 0) continue;
            ProbeOutcome& outcome = outcomes_[first_ + i];
            outcome.tried = outcome.found ? static_cast<int>(hunts_[i].candidate + 1)
                                          : static_cast<int>(candidates_.size());
            outcome.received = Context(i).tally.TotalReceived();
            outcome.unframed = Context(i).tally.TotalUnframed();
            if (!outcome.found) {
                outcome.reason = NotFound(outcome);
                progress_(first_ + i, "done: not found: " + outcome.reason["text"].get<std::string>());
            }
            SerialClose(static_cast<uint8_t>(i + 1));
        }
    }

    const std::vector<std::string>& devices_;
    const size_t first_;
    const size_t count_;
    std::vector<ProbeOutcome>& outcomes_;
    const ProbeProgress& progress_;
    const std::vector<PortLine>& candidates_;
    std::vector<Hunt> hunts_;
    std::vector<uint8_t> opened_;
};

const char* ParityName(int32_t parity) {
    return parity == 1 ? "odd" : parity == 2 ? "even" : "none";
}

std::string ReasonText(const ProbeOutcome& outcome) {
    return outcome.reason.contains("text") ? outcome.reason["text"].get<std::string>() : std::string();
}

void Print(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

}  // namespace

const std::vector<PortLine>& ProbeCandidates() {
    static const std::vector<PortLine> candidates = [] {
        std::vector<PortLine> lines;
        for (const int32_t rate : {9600, 19200, 4800, 38400, 2400, 1200, 600, 300, 110})
            for (const int32_t dataBits : {8, 7})
                for (const int32_t stopBits : {1, 2})
                    for (const int32_t parity : {0, 1, 2})
                        lines.push_back({rate, dataBits, parity, stopBits});
        return lines;
    }();
    return candidates;
}

std::vector<ProbeOutcome> ProbeDevices(const std::vector<std::string>& devices,
                                       const ProbeProgress& progress) {
    std::vector<ProbeOutcome> outcomes(devices.size());
    for (size_t first = 0; first < devices.size(); first += kPortContextCount) {
        const size_t count = std::min(devices.size() - first, static_cast<size_t>(kPortContextCount));
        ProbeBatchRun(devices, first, count, outcomes, progress).Run();
    }
    return outcomes;
}

std::string ProbeOutcomeText(const ProbeOutcome& outcome) {
    if (outcome.found)
        return outcome.device + ": " + PortLineText(outcome.line) + " (found after trying " +
               std::to_string(outcome.tried) + " of " + std::to_string(ProbeCandidates().size()) +
               " line settings)\n";
    return outcome.device + ": " + (outcome.opened ? "not found: " : "") + ReasonText(outcome) + "\n";
}

nlohmann::ordered_json ProbeOutcomeJson(const ProbeOutcome& outcome) {
    nlohmann::ordered_json json;
    json["device"] = outcome.device;
    json["found"] = outcome.found;
    if (outcome.found) {
        json["settings"] = PortLineText(outcome.line);
        json["baudRate"] = outcome.line.baudRate;
        json["dataBits"] = outcome.line.dataBits;
        json["parity"] = ParityName(outcome.line.parity);
        json["stopBits"] = outcome.line.stopBits;
    } else {
        json["settings"] = nullptr;
    }
    json["tried"] = outcome.tried;
    json["received"] = outcome.received;
    json["unframed"] = outcome.unframed;
    if (!outcome.found) json["reason"] = outcome.reason;
    return json;
}

int RunProbe(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    std::string error;
    const std::vector<std::string>& devices = arguments.devices;
    DeviceIdentities identities;
    for (size_t i = 0; i < devices.size(); ++i) {
        size_t earlier = DeviceIdentities::kNone;
        if (!CheckDeviceName(devices[i], error) || !identities.Register(devices[i], i, earlier, error)) {
            std::fprintf(err, "vandel-cli: %s\n", error.c_str());
            return kExitUsage;
        }
        if (earlier != DeviceIdentities::kNone) {
            std::fprintf(err, "vandel-cli: %s and %s are the same device\n", devices[earlier].c_str(),
                         devices[i].c_str());
            return kExitUsage;
        }
    }
    ProgressBoard board(arguments.devices, err, ProgressModeFor(err, arguments.quiet, ProgressMode::kOff));
    const std::vector<ProbeOutcome> outcomes =
        ProbeDevices(arguments.devices, [&](size_t i, const std::string& state) {
            board.Update(i, state);
            board.Tick();
        });
    board.Finish();
    const bool allFound =
        std::all_of(outcomes.begin(), outcomes.end(), [](const ProbeOutcome& o) { return o.found; });
    if (arguments.json) {
        nlohmann::ordered_json json = nlohmann::ordered_json::array();
        for (const ProbeOutcome& outcome : outcomes) json.push_back(ProbeOutcomeJson(outcome));
        Print(out, json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
    } else {
        for (const ProbeOutcome& outcome : outcomes) Print(out, ProbeOutcomeText(outcome));
    }
    return allFound ? kExitSuccess : kExitFailed;
}

void ProbeFleetLines(std::vector<FleetReceiver>& receivers, ProgressBoard& board) {
    std::vector<std::string> devices;
    for (const FleetReceiver& receiver : receivers) devices.push_back(receiver.device);
    const std::vector<ProbeOutcome> outcomes = ProbeDevices(devices, [&](size_t i, const std::string& state) {
        board.Update(i, "probing: " + state);
        board.Tick();
    });
    for (size_t i = 0; i < receivers.size(); ++i) {
        if (outcomes[i].found) {
            receivers[i].pcLine = outcomes[i].line;
            continue;
        }
        board.Message("vandel-cli: " + receivers[i].device + ": the probe found no line settings (" +
                      ReasonText(outcomes[i]) + "); the PC side stays " + PortLineText(receivers[i].pcLine));
    }
}

bool ProbeLoadLine(const std::string& device, bool quiet, std::FILE* err) {
    ProgressBoard board({device}, err, ProgressModeFor(err, quiet, ProgressMode::kOff));
    const std::vector<ProbeOutcome> outcomes =
        ProbeDevices({device}, [&](size_t i, const std::string& state) {
            board.Update(i, "probing: " + state);
            board.Tick();
        });
    board.Finish();
    if (!outcomes[0].found) {
        std::fprintf(err, "vandel-cli: %s: the probe found no line settings (%s); nothing loaded\n",
                     device.c_str(), ReasonText(outcomes[0]).c_str());
        return false;
    }
    PcSerialSettings.fill(0);
    PortRecordFromLine(outcomes[0].line, PcSerialSettings.data());
    return true;
}

std::string WrittenToText(const std::string& device, const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return "wrote the settings of " + device + " to " + (error ? path : absolute.lexically_normal().string());
}
