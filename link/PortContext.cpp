#include "link/PortContext.h"

#include "serial/Serial.h"

std::array<PortContext, kPortContextCount> PortContexts = [] {
    std::array<PortContext, kPortContextCount> contexts{};
    // The record for comm index i always carries comm port number i + 1.
    for (int i = 0; i < kPortContextCount; ++i) contexts[static_cast<size_t>(i)].commPortNumber = i + 1;
    return contexts;
}();

uint8_t OpenPortContext(PortContext& context, int32_t commPortNumber) {
    context.readPosition = 0;
    context.collectedLength = 0;
    context.bytesRemaining = 0;
    context.completedLength = 0;
    context.dleFlag = 0;
    context.commPortNumber = commPortNumber;
    context.tally.Start(PortLine{9600, 8, 0, 1});
    if (commPortNumber < 1 || commPortNumber > kSerialPortCount) return 0;
    return SerialOpen(static_cast<uint8_t>(commPortNumber), kAccessThreaded, kRawReceiveBufferSize, 9600, 0,
                      8, 1);
}

int PumpPort(PortContext& context, ReportHandlerFn handler) {
    context.readPosition = 0;
    context.bytesRemaining =
        ReadBytes(context.rawReceiveBuffer, kRawReceiveBufferSize, context.commPortNumber);
    context.tally.Listen(context.bytesRemaining);
    FrameDecoderFields decoder = context.Decoder();
    while (context.bytesRemaining > 0) {
        const uint8_t byte = context.rawReceiveBuffer[context.readPosition];
        ++context.readPosition;
        --context.bytesRemaining;
        const uint32_t dleBefore = context.dleFlag;
        const int32_t collectedBefore = context.collectedLength;
        const uint8_t completed = FrameDecodeByte(decoder, byte);
        context.tally.Count(dleBefore, collectedBefore, byte, completed);
        if (completed != 0 && handler != nullptr) {
            handler(context);  // before the next byte is decoded
        }
    }
    context.readPosition = 0;
    return 0;
}

uint16_t ReadBytes(uint8_t* destination, uint16_t maxCount, int32_t commPortNumber) {
    if (commPortNumber < 1 || commPortNumber > kSerialPortCount) return 0;
    // Exactly maxCount attempts of ReadByte, made by the driver in one call: bytes that the I/O
    // thread stores meanwhile are collected too.
    return SerialGetBytes(static_cast<uint8_t>(commPortNumber), destination, maxCount);
}

uint8_t ReadByte(uint8_t* destination, int32_t commPortNumber) {
    if (commPortNumber < 1 || commPortNumber > kSerialPortCount) return 0;
    return SerialGetByte(static_cast<uint8_t>(commPortNumber), destination);
}

void ApplyPortSettings(const uint8_t* record, int16_t commIndex) {
    // Lenient where the strict conversion refuses: a baud code past the table is 9600, data bits
    // other than code 2 are 8, a parity other than odd or even is none, stop bits other than code 1
    // are one. Baud code 0 is rate 0, which leaves the line's speed to the device.
    const uint8_t baudCode = record[kPortRecordInputBaud];
    const int32_t baudRate = baudCode < kBaudRateOfCode.size() ? kBaudRateOfCode[baudCode] : 9600;
    const int32_t dataBits = record[kPortRecordDataBits] == kDataBitsCode7 ? 7 : 8;
    const uint8_t parityCode = record[kPortRecordParity];
    const int32_t parity = parityCode == kParityCodeOdd || parityCode == kParityCodeEven ? parityCode : 0;
    const int32_t stopBits = record[kPortRecordStopBits] == kStopBitsCode2 ? 2 : 1;
    auto apply = [&](int index) {
        PortContexts[static_cast<size_t>(index)].tally.Switch({baudRate, dataBits, parity, stopBits});
        SerialSetParams(static_cast<uint8_t>(index + 1), kAccessThreaded, kRawReceiveBufferSize, baudRate,
                        parity, dataBits, stopBits);
    };
    if (commIndex >= 0) {
        if (commIndex < kPortContextCount) apply(commIndex);
        return;
    }
    for (int i = 0; i < kPortContextCount; ++i) {
        if (PortContexts[static_cast<size_t>(i)].operationMode == kModeConfiguring) apply(i);
    }
}
