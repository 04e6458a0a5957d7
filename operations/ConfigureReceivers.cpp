#include "operations/ConfigureReceivers.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "messages/FieldDifferences.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "operations/OperationWait.h"
#include "operations/Operator.h"
#include "serial/Serial.h"

namespace {

constexpr int kMaxPasses = 8;

// The groups written back to back in step 9: every group but Port B (written last, on its own,
// because it changes the line the PC talks on) and Self Survey Configuration (written first).
constexpr std::array<int, 11> kSetOrder = {
    kGroup2DAltitude,          kGroupIOOptions, kGroupNMEAOutput,           kGroupGPSConfiguration,
    kGroupPortAConfiguration,  kGroupDatum,     kGroupTimingOutputSettings, kGroupPortBAutomaticOutput,
    kGroupTimingOutputOptions, kGroupPPSWidth,  kGroupPacket8EA5Masks,
};

// Values of the Settings Image the run depends on.
struct SurveyRule {
    uint8_t surveyEnable;  // g1 of Self Survey Configuration
    uint8_t receiverMode;  // g1 of GPS Configuration
    uint8_t dynamicsCode;  // g3 of GPS Configuration

    bool TimingMode() const { return receiverMode == 1 || receiverMode == 7; }
    bool SurveyAfterVerification() const {
        return surveyEnable != 0 && (receiverMode == 1 || receiverMode == 6 || receiverMode == 7);
    }
};

SurveyRule ReadSurveyRule() {
    return {SettingsGroupBytes(kGroupSelfSurveyConfiguration)[1],
            SettingsGroupBytes(kGroupGPSConfiguration)[1], SettingsGroupBytes(kGroupGPSConfiguration)[3]};
}

// How far each port of the run has gone, for a run that a stop request ends.
std::vector<RunStep> steps;

// A stop was requested: no packet is started after it.
bool Stopping() {
    return OperationStopRequested();
}

void Reach(int commIndex, RunStep step) {
    RunStep& at = steps[static_cast<size_t>(commIndex)];
    if (at < step) at = step;
}

PortContext& Context(int commIndex) {
    return PortContexts[static_cast<size_t>(commIndex)];
}
uint8_t PortNo(int commIndex) {
    return static_cast<uint8_t>(commIndex + 1);
}
bool Selected(int commIndex) {
    return Context(commIndex).operationMode == kModeConfiguring;
}

// Calls f(commIndex) for every port taking part in the run at this moment.
template <typename F>
void ForEachSelected(F f) {
    for (int i = 0; i < kPortContextCount; ++i)
        if (Selected(i)) f(static_cast<int16_t>(i));
}

// Runs f(commIndex) for every port taking part in the run, each port on its own thread, and
// returns when all are done. Used for the driver calls that wait on their port (open and line
// settings, purges, breaks): the ports are independent, so twenty of them take as long as one
// instead of queuing behind each other. f touches only the driver and its own Port Context.
template <typename F>
void ForEachSelectedSideBySide(F f) {
    std::vector<int16_t> selected;
    ForEachSelected([&](int16_t i) { selected.push_back(i); });
    if (selected.size() == 1) {
        f(selected.front());
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(selected.size());
    for (const int16_t i : selected) threads.emplace_back(f, i);
    for (std::thread& thread : threads) thread.join();
}

void DropSelection() {
    for (auto& context : PortContexts) context.operationMode = kModeIdle;
}

// The run's progress at step (pass 1.. of kMaxPasses, or 0): it names the port when one port takes
// part in the run, else it speaks of the run.
OperationProgress RunProgress(const std::string& step, int pass = 0) {
    int count = 0;
    int only = 0;
    ForEachSelected([&](int16_t i) {
        ++count;
        only = i;
    });
    OperationProgress progress;
    progress.port = count == 1 ? only + 1 : 0;
    progress.step = step;
    progress.pass = pass;
    progress.passes = pass > 0 ? kMaxPasses : 0;
    return progress;
}

// Link Check passes until every selected port answered, at most eight.
void LinkCheckPasses(Operator& op) {
    for (int pass = 0; pass < kMaxPasses && !Stopping(); ++pass) {
        int silent = 0;
        ForEachSelected([&](int16_t i) { silent += Context(i).linkState == kLinkCheckSent ? 1 : 0; });
        OperationProgress progress = RunProgress("Link Check", pass + 1);
        if (progress.port == 0) {
            progress.left = silent;
            progress.leftWhat = "receivers not answering yet";
        }
        op.Progress(progress);
        bool complete = true;
        ForEachSelected([&](int16_t i) {
            if (Context(i).linkState == kLinkCheckSent && !Stopping()) {
                SendLinkCheck(i);
                complete = false;
            }
        });
        OperationWait(500);
        for (auto& context : PortContexts)
            if (context.linkState == kLinkCheckSent) PumpPort(context, ReportHandler);
        if (complete) break;
    }
}

// Verification: re-request every group not yet received or received different, at most eight passes.
void VerificationPasses(Operator& op) {
    for (int pass = 0; pass < kMaxPasses && !Stopping(); ++pass) {
        int missing = 0;
        ForEachSelected([&](int16_t i) {
            for (uint8_t status : Context(i).groupStatus)
                missing += status == kGroupRequested || status == kGroupDiffers ? 1 : 0;
        });
        OperationProgress progress = RunProgress("Verifying", pass + 1);
        progress.left = missing;
        progress.leftWhat = "groups still missing";
        op.Progress(progress);
        bool complete = true;
        ForEachSelected([&](int16_t i) {
            for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
                const uint8_t status = Context(i).groupStatus[static_cast<size_t>(groupNo - 1)];
                if ((status == kGroupRequested || status == kGroupDiffers) && !Stopping()) {
                    SendRequest(groupNo, i);
                    complete = false;
                }
            }
        });
        OperationWait(500);
        ForEachSelected([](int16_t i) { PumpPort(Context(i), ReportHandler); });
        if (complete) break;
    }
}

uint8_t PortResultOf(const PortContext& context) {
    bool allMatch = true;
    bool anyMissing = false;
    for (uint8_t status : context.groupStatus) {
        allMatch = allMatch && status == kGroupMatches;
        anyMissing = anyMissing || status == kGroupRequested;
    }
    if (allMatch) return kResultSuccess;
    return anyMissing ? kResultGroupMissing : kResultGroupDiffers;
}

}  // namespace

namespace {
bool WriteAndSave(Operator& op, const SurveyRule& rule);
bool RunSteps(Operator& op, RunKind kind, const SurveyRule& rule);
}  // namespace

const char* InvalidConfigurationQuestion() {
    const SurveyRule rule = ReadSurveyRule();
    if (rule.surveyEnable == 0) return nullptr;
    if (rule.TimingMode() && rule.dynamicsCode != 4) return kTimingModeNeedsStationaryText;
    if (!rule.TimingMode() && rule.dynamicsCode == 4) return kPositionModeForbidsStationaryText;
    return nullptr;
}

bool ValidateConfiguration(Operator& op) {
    const char* question = InvalidConfigurationQuestion();
    if (question == nullptr || op.AskOkCancel(kInvalidConfigurationTitle, question)) return true;
    // Cancelled: no run takes place, so no port stays marked as taking part in one.
    DropSelection();
    return false;
}

void ConfigureReceivers(Operator& op, RunKind kind) {
    if (kind == RunKind::kConfigure && !ValidateConfiguration(op)) return;
    const SurveyRule rule = ReadSurveyRule();
    steps.assign(kPortContextCount, RunStep::kOpening);

    // No port has a result yet, nor any report.
    for (auto& context : PortContexts) context.portResult = kResultNotInRun;
    ForgetReceivedGroups();

    // The summary, or for a stopped run what each port had gone through; then every Port Context
    // back to idle and every port closed (what was queued goes out whole first).
    const bool finished = RunSteps(op, kind, rule);
    op.Progress({});
    if (finished) {
        op.ShowConfigurationSummary();
    } else {
        for (int i = 0; i < kPortContextCount; ++i)
            if (Context(i).portResult != kResultNotInRun) steps[static_cast<size_t>(i)] = RunStep::kFinished;
        op.RunStopped(steps);
    }

    for (auto& context : PortContexts) {
        context.operationMode = kModeIdle;
        context.linkState = kLinkIdle;
        context.groupStatus.fill(kGroupNothingPending);
        context.portResult = kResultNotInRun;
    }
    DrainTransmitQueues();
    SerialCloseAll();
}

namespace {

// The run over the selected ports up to the summary; false when a stop request ended it.
bool RunSteps(Operator& op, RunKind kind, const SurveyRule& rule) {
    if (Stopping()) return false;
    // Open every selected port at the PC Serial Settings.
    op.Progress(RunProgress("Opening the comm ports"));
    ForEachSelectedSideBySide([](int16_t i) {
        if (OpenPortContext(Context(i), PortNo(i)) == 0) {
            Context(i).portResult = kResultOpenFailed;
            Context(i).operationMode = kModeIdle;
        } else {
            ApplyPortSettings(PcSerialSettings.data(), i);
        }
    });

    // Every open port waits for the answer to its first Link Check.
    OperationWait(200);
    ForEachSelectedSideBySide([](int16_t i) {
        Context(i).linkState = kLinkCheckSent;
        SerialPurgeReceive(PortNo(i));
        Reach(i, RunStep::kLinkCheck);
    });
    if (Stopping()) return false;

    LinkCheckPasses(op);
    if (Stopping()) return false;

    // Receivers still silent get a line break and the fallback line settings.
    bool fallback = false;
    ForEachSelected([&](int16_t i) { fallback = fallback || Context(i).linkState == kLinkCheckSent; });
    if (fallback) {
        op.Progress(RunProgress("Line break and fallback line settings"));
        ForEachSelectedSideBySide([](int16_t i) {
            if (Context(i).linkState != kLinkCheckSent) return;
            SerialSendBreak(PortNo(i), 400);
            ApplyPortSettings(kFallbackLineSettings.data(), i);
            SerialPurgeReceive(PortNo(i));
        });
    }

    // A second series of Link Checks for them.
    OperationWait(200);
    if (fallback) LinkCheckPasses(op);
    if (Stopping()) return false;

    // Receivers that never answered leave the run.
    ForEachSelected([](int16_t i) {
        if (Context(i).linkState == kLinkCheckSent) {
            Context(i).portResult = kResultNoAnswer;
            Context(i).operationMode = kModeIdle;
        }
    });
    for (auto& context : PortContexts) context.linkState = kLinkIdle;

    const bool writes = kind == RunKind::kConfigure;
    if (writes && !WriteAndSave(op, rule)) return false;

    // Every group is asked for (again); whatever answered before is discarded.
    ForEachSelectedSideBySide([](int16_t i) {
        Context(i).groupStatus.fill(kGroupRequested);
        SerialPurgeReceive(PortNo(i));
        Reach(i, RunStep::kVerifying);
    });
    VerificationPasses(op);
    if (Stopping()) return false;

    // Each port's result from its groups.
    ForEachSelected([](int16_t i) { Context(i).portResult = PortResultOf(Context(i)); });

    // The self-survey starts again after the verification, where the settings ask for it.
    if (writes && rule.SurveyAfterVerification()) {
        ForEachSelected([](int16_t i) {
            SendCommand8E45(i);
            SendCommand8EA6(i);
        });
    }
    return true;
}

// Sends a command to every selected port unless a stop was requested; `step` is how far a port
// has gone once it was sent.
template <typename Send>
void SendToEach(RunStep step, Send send) {
    ForEachSelected([&](int16_t i) {
        if (Stopping()) return;
        Reach(i, step);
        send(i);
    });
}

bool WriteAndSave(Operator& op, const SurveyRule& rule) {
    // Self survey first.
    op.Progress(RunProgress("Writing settings"));
    SendToEach(RunStep::kWriting, [](int16_t i) {
        SendSet(kGroupSelfSurveyConfiguration, SettingsGroupBytes(kGroupSelfSurveyConfiguration), i);
    });
    SendToEach(RunStep::kWriting, [](int16_t i) { SendCommand8EA6(i); });
    if (rule.surveyEnable != 0 && rule.TimingMode())
        SendToEach(RunStep::kWriting, [](int16_t i) { SendCommand32(i); });

    // The other groups, back to back per port.
    SendToEach(RunStep::kWriting, [](int16_t i) {
        for (int groupNo : kSetOrder)
            if (!Stopping()) SendSet(groupNo, SettingsGroupBytes(groupNo), i);
    });
    if (Stopping()) return false;

    // Port B last; nothing is sent between it and the switch of the PC side to the new Port B settings.
    OperationWait(500);
    SendToEach(RunStep::kWriting, [](int16_t i) {
        SendSet(kGroupPortBConfiguration, SettingsGroupBytes(kGroupPortBConfiguration), i);
    });
    OperationWait(500);
    // The PC side of every port in the run follows its receiver's new Port B settings (also when a
    // stop came meanwhile: the receivers that took the Port B set now talk at its settings).
    ForEachSelectedSideBySide(
        [](int16_t i) { ApplyPortSettings(SettingsGroupBytes(kGroupPortBConfiguration), i); });
    OperationWait(500);
    if (Stopping()) return false;

    // Save the settings, then reset the receiver so that it comes back on the saved copy.
    op.Progress(RunProgress("Saving settings"));
    SendToEach(RunStep::kSaving, [](int16_t i) { SendSaveSettings(i); });
    OperationWait(2000);
    SendToEach(RunStep::kSaving, [](int16_t i) { SendCommand1E(i); });
    OperationWait(1000);
    return !Stopping();
}

}  // namespace
