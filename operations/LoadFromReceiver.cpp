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

// One load, step by step. Each step after the open returns false when the load ends there (a stop
// request, or no answer to the Link Check); the load then has closed the port.
class ReceiverLoad {
  public:
    ReceiverLoad(int commIndex, Operator& op)
        : op_(op),
          index_(static_cast<int16_t>(commIndex)),
          portNo_(static_cast<uint8_t>(commIndex + 1)),
          context_(PortContexts[static_cast<size_t>(commIndex)]) {}

    uint8_t Run() {
        if (!Open()) return 0;
        bool found = false;
        if (SendLineBreak() && WaitForBreakReply(found) && FollowBreakReply(found) && CheckLink() &&
            RequestGroups())
            Finish();
        return 1;
    }

  private:
    // Opens the port at 9600 8 none 1; false (Error 10 shown) when it cannot be opened.
    bool Open() {
        if (OpenPortContext(context_, portNo_) != 0) {
            op_.Progress(LoadProgress(portNo_, "Line break"));
            return true;
        }
        std::snprintf(text_, sizeof text_, "%s %d%s", "Could not initialize Comm port", portNo_, ".");
        const SerialFailure failure = SerialLastFailure(portNo_);
        op_.PortWarning(
            "Error 10", text_,
            failure.code == SerialFailureCode::kNone ? std::string() : DescribeSerialFailure(failure));
        return false;
    }

    // A stop request (never in the window program) ends the load at its next wait: nothing more
    // is sent, what was queued goes out whole, the port is closed; the image keeps what arrived.
    bool Stopped() {
        if (!OperationStopRequested()) return false;
        op_.Progress({});
        context_.linkState = kLinkIdle;
        context_.operationMode = kModeIdle;
        context_.groupStatus.fill(kGroupNothingPending);
        DrainTransmitQueues();
        SerialClose(portNo_);
        return true;
    }

    // A line break makes the receiver send its Break Reply.
    bool SendLineBreak() {
        SerialPurgeReceive(portNo_);
        SerialSendBreak(portNo_, 400);
        OperationWait(500);
        if (Stopped()) return false;
        SendLinkCheck(index_);
        OperationWait(500);
        return !Stopped();
    }

    bool WaitForBreakReply(bool& found) {
        for (int attempt = 0; attempt < kMaxProbeAttempts && !found; ++attempt) {
            op_.Progress(LoadProgress(portNo_, "Waiting for the reply to the line break", attempt + 1,
                                      kMaxProbeAttempts));
            found = ProbeBreakReply(reply_, static_cast<int>(index_)) != 0;
            OperationWait(500);
            if (Stopped()) return false;
        }
        return true;
    }

    // A usable reply moves the receiver's Port B and then the PC side to the line it tells; without
    // a reply the PC side takes the PC Serial Settings.
    bool FollowBreakReply(bool found) {
        if (!found) {
            ApplyPortSettings(PcSerialSettings.data(), index_);
            return true;
        }
        // The reply is read as text up to its first zero; the extra byte always ends it.
        reply_[kBreakReplySize] = 0;
        std::array<uint8_t, kPortConfigurationSize> probeRecord = kProbeRecordDefaults;
        ParseBreakReply(reinterpret_cast<const char*>(reply_), probeRecord.data());
        if (!ProbeRecordUsable(probeRecord)) {
            std::snprintf(
                text_, sizeof text_, "%s %d %s", "Port B of the receiver connected to com ", portNo_,
                "is currently operating with a serial configuration with which this application cannot "
                "effectively communicate.  The application will attempt to set the receiver to 9600 8 "
                "NONE 1.");
            op_.Warning("Error 12", text_);
            return true;
        }
        SetPortConfiguration(1, probeRecord.data(), index_);
        OperationWait(500);
        // The receiver's Port B may have moved: the PC side follows it before any stop.
        ApplyPortSettings(probeRecord.data(), index_);
        OperationWait(500);
        if (Stopped()) return false;
        SerialPurgeReceive(portNo_);
        context_.linkState = kLinkCheckSent;
        return true;
    }

    // Link Check passes, only after a usable Break Reply; still no answer: give up.
    bool CheckLink() {
        for (int pass = 0; context_.linkState == kLinkCheckSent && pass < kMaxPasses; ++pass) {
            op_.Progress(LoadProgress(portNo_, "Link Check", pass + 1, kMaxPasses));
            SendLinkCheck(index_);
            OperationWait(500);
            if (Stopped()) return false;
            PumpPort(context_, ReportHandler);
        }
        if (context_.linkState != kLinkCheckSent) return true;
        op_.Progress({});
        std::snprintf(text_, sizeof text_, "%s %d%s",
                      "Communications could not be established with the receiver \nconnected to Comm ",
                      portNo_, ".");
        op_.Warning("Error 20", text_);
        SerialClose(portNo_);
        context_.linkState = kLinkIdle;
        return false;
    }

    // Every group requested; what arrives is stored and shown by the Report Handler. Each pass
    // re-sends only what has not arrived.
    bool RequestGroups() {
        context_.linkState = kLinkIdle;
        context_.operationMode = kModeLoading;
        context_.groupStatus.fill(kGroupRequested);
        SerialPurgeReceive(portNo_);
        for (int pass = 0; pass < kMaxPasses; ++pass) {
            op_.Progress(
                LoadProgress(portNo_, "Requesting settings", pass + 1, kMaxPasses, CountRequested(context_)));
            bool complete = true;
            for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
                if (context_.groupStatus[static_cast<size_t>(groupNo - 1)] == kGroupRequested) {
                    SendRequest(groupNo, index_);
                    complete = false;
                }
            }
            OperationWait(500);
            if (Stopped()) return false;
            PumpPort(context_, ReportHandler);
            if (complete) break;
        }
        return true;
    }

    // The load is over; a group that never arrived is reported. Back to idle, port closed.
    void Finish() {
        op_.Progress({});
        if (AnyGroupRequested(context_)) {
            std::snprintf(text_, sizeof text_, "%s %d%s",
                          "The settings could not be retrieved from the receiver \nconnected to Comm ",
                          portNo_, ".");
            op_.Warning("Error 30", text_);
        }
        context_.operationMode = kModeIdle;
        context_.groupStatus.fill(kGroupNothingPending);
        SerialClose(portNo_);
    }

    Operator& op_;
    const int16_t index_;
    const uint8_t portNo_;
    PortContext& context_;
    uint8_t reply_[kBreakReplySize + 1] = {};
    char text_[256] = {};
};

}  // namespace

uint8_t LoadFromReceiver(int commIndex, Operator& op) {
    if (commIndex < 0 || commIndex >= kPortContextCount) return 0;
    return ReceiverLoad(commIndex, op).Run();
}
