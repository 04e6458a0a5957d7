// The port configuration record: 10 bytes laid out like the Port A and Port B Configuration groups.
// The PC Serial Settings have the same layout, the Break Reply parser writes one, ApplyPortSettings
// reads one, and the emulated receiver keeps its ports in it. Its byte offsets and code tables, with
// their conversions, are written here once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

constexpr int kPortConfigurationSize = 10;

// Byte offsets in the record.
enum PortRecordByte : int {
    kPortRecordReceiverPort = 0,  // 0 Port A, 1 Port B
    kPortRecordInputBaud = 1,
    kPortRecordOutputBaud = 2,
    kPortRecordDataBits = 3,
    kPortRecordParity = 4,
    kPortRecordStopBits = 5,
    kPortRecordInputProtocol = 7,
    kPortRecordOutputProtocol = 8,
};

// Baud rate by code; code 0 ("None") has no rate.
inline constexpr std::array<int32_t, 10> kBaudRateOfCode = {0,    110,  300,  600,   1200,
                                                            2400, 4800, 9600, 19200, 38400};
constexpr uint8_t kDataBitsCode7 = 2;
constexpr uint8_t kDataBitsCode8 = 3;
constexpr uint8_t kParityCodeNone = 0;
constexpr uint8_t kParityCodeOdd = 1;
constexpr uint8_t kParityCodeEven = 2;
constexpr uint8_t kStopBitsCode1 = 0;
constexpr uint8_t kStopBitsCode2 = 1;
// Protocol codes: input 0, 2 or 8; output 0, 2 or 4.
constexpr uint8_t kProtocolNone = 0;
constexpr uint8_t kProtocolKirp = 2;
constexpr uint8_t kProtocolNmea = 4;
constexpr uint8_t kProtocolRtcm = 8;

// The line settings of a port: rate, 7 or 8 data bits, parity 0 none 1 odd 2 even, 1 or 2 stop bits.
struct PortLine {
    int32_t baudRate = 9600;
    int32_t dataBits = 8;
    int32_t parity = 0;
    int32_t stopBits = 1;
    bool operator==(const PortLine&) const = default;
};

// The code of a baud rate, −1 for a rate that has none (0 included: "None" is no rate).
constexpr int BaudCodeOfRate(int32_t rate) {
    for (size_t code = 1; code < kBaudRateOfCode.size(); ++code)
        if (kBaudRateOfCode[code] == rate) return static_cast<int>(code);
    return -1;
}

// Strict: false for any code outside its table (baud 1..9, data bits 2..3, parity 0..2, stop bits 0..1).
bool PortLineFromCodes(uint8_t baudCode, uint8_t dataCode, uint8_t parityCode, uint8_t stopCode,
                       PortLine& line);
bool PortLineFromRecord(const uint8_t* record, PortLine& line);
// False for a rate, data bits, parity or stop bits that have no code; else the four codes
// (baud, data bits, parity, stop bits).
bool PortCodesFromLine(const PortLine& line, uint8_t codes[4]);
// Writes the four codes into a record (the output baud code as the input one), leaving the rest.
bool PortRecordFromLine(const PortLine& line, uint8_t* record);

// "9600,8,N,1"
std::string PortLineText(const PortLine& line);
// Parses BAUD,DATA,PARITY,STOP (parity N, O, E or None, Odd, Even in any case); false otherwise.
bool ParsePortLine(const std::string& text, PortLine& line);
