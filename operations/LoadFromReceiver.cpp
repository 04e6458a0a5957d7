#include "operations/LoadFromReceiver.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "operations/OperationWait.h"
#include "operations/Operator.h"
#include "serial/Serial.h"

namespace {

constexpr int kMaxProbeAttempts = 4;
constexpr int kMaxPasses = 8;

bool AnyGroupRequested(const PortContext& context) {
    for (uint8_t status : context.groupStatus)
        if (status == kGroupRequested) return true;
    return false;
}

// The Break Reply record passes when the receiver's Port B runs at 1200 baud or faster both ways
// and speaks KIRP both ways.
bool ProbeRecordUsable(const std::array<uint8_t, kPortConfigurationSize>& record) {
    const int kSlowest = BaudCodeOfRate(1200);
    return record[kPortRecordInputBaud] >= kSlowest && record[kPortRecordOutputBaud] >= kSlowest &&
           record[kPortRecordInputProtocol] == kProtocolKirp &&
           record[kPortRecordOutputProtocol] == kProtocolKirp;
}

int CountRequested(const PortContext& context) {
    int count = 0;
    for (uint8_t status : context.groupStatus) count += status == kGroupRequested ? 1 : 0;
    return count;
}

// The load's progress on port portNo at step (pass 1..passes, or 0), what is left (-1: not told).
OperationProgress LoadProgress(uint8_t portNo, const std::string& step, int pass = 0, int passes = 0,
                               int groupsMissing = -1) {
    OperationProgress progress{portNo, step, pass, passes, groupsMissing, {}};
    if (groupsMissing >= 0) progress.leftWhat = "groups still missing";
    return progress;
}

}  // namespace

uint8_t LoadFromReceiver(int commIndex, Operator& op) {
    if (commIndex < 0 || commIndex >= kPortContextCount) return 0;
    const auto index = static_cast<int16_t>(commIndex);
    const auto portNo = static_cast<uint8_t>(commIndex + 1);
    PortContext& context = PortContexts[static_cast<size_t>(commIndex)];
    std::array<uint8_t, kPortConfigurationSize> probeRecord = kProbeRecordDefaults;
    char text[256];

    // Open the port at 9600 8 none 1.
    if (OpenPortContext(context, portNo) == 0) {
        std::snprintf(text, sizeof text, "%s %d%s", "Could not initialize Comm port", portNo, ".");
        const SerialFailure failure = SerialLastFailure(portNo);
        op.PortWarning(
            "Error 10", text,
            failure.code == SerialFailureCode::kNone ? std::string() : DescribeSerialFailure(failure));
        return 0;
    }
    op.Progress(LoadProgress(portNo, "Line break"));

    // A stop request (never in the window program) ends the load at its next wait: nothing more
    // is sent, what was queued goes out whole, the port is closed; the image keeps what arrived.
    auto stopped = [&] {
        if (!OperationStopRequested()) return false;
        op.Progress({});
        context.linkState = kLinkIdle;
        context.operationMode = kModeIdle;
        context.groupStatus.fill(kGroupNothingPending);
        DrainTransmitQueues();
        SerialClose(portNo);
        return true;
    };

    // A line break makes the receiver send its Break Reply.
    SerialPurgeReceive(portNo);
    SerialSendBreak(portNo, 400);
    OperationWait(500);
    if (stopped()) return 1;
    SendLinkCheck(index);
    OperationWait(500);
    if (stopped()) return 1;

    // Look for the Break Reply.
    uint8_t reply[kBreakReplySize + 1] = {};
    uint8_t found = 0;
    for (int attempt = 0; attempt < kMaxProbeAttempts; ++attempt) {
        op.Progress(
            LoadProgress(portNo, "Waiting for the reply to the line break", attempt + 1, kMaxProbeAttempts));
        found = ProbeBreakReply(reply, commIndex);
        OperationWait(500);
        if (stopped()) return 1;
        if (found != 0) break;
    }

    if (found != 0) {
        // The reply is read as text up to its first zero; the extra byte always ends it. A usable
        // reply moves the receiver's Port B and then the PC side to the line it tells.
        reply[kBreakReplySize] = 0;
        ParseBreakReply(reinterpret_cast<const char*>(reply), probeRecord.data());
        if (ProbeRecordUsable(probeRecord)) {
            SetPortConfiguration(1, probeRecord.data(), index);
            OperationWait(500);
            // The receiver's Port B may have moved: the PC side follows it before any stop.
            ApplyPortSettings(probeRecord.data(), index);
            OperationWait(500);
            if (stopped()) return 1;
            SerialPurgeReceive(portNo);
            context.linkState = kLinkCheckSent;
        } else {
            std::snprintf(
                text, sizeof text, "%s %d %s", "Port B of the receiver connected to com ", portNo,
                "is currently operating with a serial configuration with which this application cannot "
                "effectively communicate.  The application will attempt to set the receiver to 9600 8 "
                "NONE 1.");
            op.Warning("Error 12", text);
        }
    } else {
        // No Break Reply: the PC side takes the PC Serial Settings.
        ApplyPortSettings(PcSerialSettings.data(), index);
    }

    // Link Check passes, only after a usable Break Reply.
    for (int pass = 0; context.linkState == kLinkCheckSent && pass < kMaxPasses; ++pass) {
        op.Progress(LoadProgress(portNo, "Link Check", pass + 1, kMaxPasses));
        SendLinkCheck(index);
        OperationWait(500);
        if (stopped()) return 1;
        PumpPort(context, ReportHandler);
    }

    // Still no answer to the Link Check: give up.
    if (context.linkState == kLinkCheckSent) {
        op.Progress({});
        std::snprintf(text, sizeof text, "%s %d%s",
                      "Communications could not be established with the receiver \nconnected to Comm ",
                      portNo, ".");
        op.Warning("Error 20", text);
        SerialClose(portNo);
        context.linkState = kLinkIdle;
        return 1;
    }

    // Every group requested; what arrives is stored and shown by the Report Handler.
    context.linkState = kLinkIdle;
    context.operationMode = kModeLoading;
    context.groupStatus.fill(kGroupRequested);
    SerialPurgeReceive(portNo);

    // Request passes: each re-sends only what has not arrived.
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        op.Progress(
            LoadProgress(portNo, "Requesting settings", pass + 1, kMaxPasses, CountRequested(context)));
        bool complete = true;
        for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
            if (context.groupStatus[static_cast<size_t>(groupNo - 1)] == kGroupRequested) {
                SendRequest(groupNo, index);
                complete = false;
            }
        }
        OperationWait(500);
        if (stopped()) return 1;
        PumpPort(context, ReportHandler);
        if (complete) break;
    }

    // The load is over; a group that never arrived is reported.
    op.Progress({});
    if (AnyGroupRequested(context)) {
        std::snprintf(text, sizeof text, "%s %d%s",
                      "The settings could not be retrieved from the receiver \nconnected to Comm ", portNo,
                      ".");
        op.Warning("Error 30", text);
    }

    // Back to idle, port closed.
    context.operationMode = kModeIdle;
    context.groupStatus.fill(kGroupNothingPending);
    SerialClose(portNo);
    return 1;
}
