// Port sessions: one Port Context per comm port "Comm 1" .. "Comm 20" (comm index 0..19).
// Touched by the user-interface thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/Framing.h"
#include "link/PortConfiguration.h"
#include "link/ReceiveTally.h"

constexpr int kPortContextCount = 20;
// One Group Status per Settings Group (the settings' kGroupCount; checked where the two meet).
constexpr int kGroupStatusCount = 13;
constexpr int kRawReceiveBufferSize = 4096;
constexpr int kBreakReplySize = 200;

// Operation Mode
constexpr uint8_t kModeIdle = 0;
constexpr uint8_t kModeLoading = 1;
constexpr uint8_t kModeConfiguring = 2;
// Link State
constexpr uint8_t kLinkIdle = 0;
constexpr uint8_t kLinkCheckSent = 1;
constexpr uint8_t kLinkAnswered = 2;
// Group Status
constexpr uint8_t kGroupNothingPending = 0;
constexpr uint8_t kGroupRequested = 1;
constexpr uint8_t kGroupReceived = 2;
constexpr uint8_t kGroupDiffers = 3;
constexpr uint8_t kGroupMatches = 4;
// Port Result
constexpr uint8_t kResultNotInRun = 0;
constexpr uint8_t kResultOpenFailed = 1;
constexpr uint8_t kResultNoAnswer = 2;
constexpr uint8_t kResultGroupMissing = 3;
constexpr uint8_t kResultGroupDiffers = 4;
constexpr uint8_t kResultSuccess = 5;
// The receiver answered the Link Check: its port has a result for every group.
constexpr bool ResultAnswered(uint8_t portResult) {
    return portResult == kResultGroupMissing || portResult == kResultGroupDiffers ||
           portResult == kResultSuccess;
}

struct PortContext {
    int32_t readPosition = 0;      // next byte of the Raw Receive Buffer to decode
    int32_t collectedLength = 0;   // Frame Decoder
    uint32_t bytesRemaining = 0;   // bytes of the current read not yet decoded
    uint32_t completedLength = 0;  // Frame Decoder: payload length of the packet just completed
    uint32_t dleFlag = 0;          // Frame Decoder
    int32_t commPortNumber = 0;    // 1..20
    uint32_t packetId = 0;         // Frame Decoder: id of the packet being assembled or just completed
    uint8_t rawReceiveBuffer[kRawReceiveBufferSize] = {};
    uint8_t payloadBuffer[kPayloadBufferSize] = {};  // for 0x8F reports the first byte is the subcode
    uint8_t operationMode = kModeIdle;
    uint8_t linkState = kLinkIdle;
    std::array<uint8_t, kGroupStatusCount> groupStatus{};
    uint8_t portResult = kResultNotInRun;
    // What came back since the port was opened, per line settings of the PC side (kept after the
    // port closes, until it opens again).
    ReceiveTally tally;

    FrameDecoderFields Decoder() {
        return {collectedLength, completedLength, dleFlag, packetId, payloadBuffer};
    }
};

extern std::array<PortContext, kPortContextCount> PortContexts;

using ReportHandlerFn = void (*)(PortContext& context);

uint8_t OpenPortContext(PortContext& context, int32_t commPortNumber);
int PumpPort(PortContext& context, ReportHandlerFn handler);
uint16_t ReadBytes(uint8_t* destination, uint16_t maxCount, int32_t commPortNumber);
uint8_t ReadByte(uint8_t* destination, int32_t commPortNumber);
uint8_t ProbeBreakReply(uint8_t* destination /* kBreakReplySize bytes */, int commIndex);
int ParseBreakReply(const char* text, uint8_t* record /* kPortConfigurationSize bytes */);
// The same, for a text that may lack its terminating zero: it ends at its first zero byte or after
// textSize bytes, whichever comes first (use it on the kBreakReplySize copy of ProbeBreakReply).
int ParseBreakReply(const char* text, size_t textSize, uint8_t* record);
void ApplyPortSettings(const uint8_t* record, int16_t commIndex);
