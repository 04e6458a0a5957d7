// The wire format of network serial ports: telnet with the COM-PORT option (RFC 2217).
// Pure encode/decode functions shared by the network device (the client) and the receiver
// emulator (a server). No I/O here.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Telnet commands.
constexpr uint8_t kTelnetIAC = 255;
constexpr uint8_t kTelnetDONT = 254;
constexpr uint8_t kTelnetDO = 253;
constexpr uint8_t kTelnetWONT = 252;
constexpr uint8_t kTelnetWILL = 251;
constexpr uint8_t kTelnetSB = 250;
constexpr uint8_t kTelnetSE = 240;

// Telnet options.
constexpr uint8_t kOptionBinary = 0;
constexpr uint8_t kOptionSuppressGoAhead = 3;
constexpr uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands from client to server; the server answers a command c with c + 100.
constexpr uint8_t kComPortSignature = 0;
constexpr uint8_t kComPortSetBaudRate = 1;
constexpr uint8_t kComPortSetDataSize = 2;
constexpr uint8_t kComPortSetParity = 3;
constexpr uint8_t kComPortSetStopSize = 4;
constexpr uint8_t kComPortSetControl = 5;
constexpr uint8_t kComPortNotifyLineState = 6;
constexpr uint8_t kComPortNotifyModemState = 7;
constexpr uint8_t kComPortFlowControlSuspend = 8;
constexpr uint8_t kComPortFlowControlResume = 9;
constexpr uint8_t kComPortSetLineStateMask = 10;
constexpr uint8_t kComPortSetModemStateMask = 11;
constexpr uint8_t kComPortPurgeData = 12;
constexpr uint8_t kComPortServerOffset = 100;

// Values of the commands. 0 asks for the current value in every SET command.
constexpr uint8_t kComPortParityNone = 1;
constexpr uint8_t kComPortParityOdd = 2;
constexpr uint8_t kComPortParityEven = 3;
constexpr uint8_t kComPortParityMark = 4;
constexpr uint8_t kComPortParitySpace = 5;
constexpr uint8_t kComPortStopOne = 1;
constexpr uint8_t kComPortStopTwo = 2;
constexpr uint8_t kComPortStopOneAndHalf = 3;
constexpr uint8_t kComPortControlBreakOn = 5;
constexpr uint8_t kComPortControlBreakOff = 6;
constexpr uint8_t kComPortPurgeReceive = 1;   // the server's buffer of bytes from the line
constexpr uint8_t kComPortPurgeTransmit = 2;  // the server's buffer of bytes for the line
constexpr uint8_t kComPortPurgeBoth = 3;

// Line settings ↔ COM-PORT values, one table each; each inverse reads the same table backwards.
// Parity as the driver codes it: 0 none, 1 odd, 2 even. Stop bits as the device layer codes them:
// 0 one, 1 one and a half, 2 two.
uint8_t ComPortParity(int32_t parity);   // 0 for a parity that has no value
int32_t ParityOfComPort(uint8_t value);  // −1 for mark, space or nonsense
uint8_t ComPortStopSize(int32_t stopBits);
int32_t StopBitsOfComPort(uint8_t value);

// Appends data bytes with every 0xFF doubled.
void TelnetEncodeData(const uint8_t* data, int count, std::vector<uint8_t>& out);
// Appends IAC verb option (verb: WILL, WONT, DO or DONT).
void TelnetEncodeOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);
// Appends IAC SB COM-PORT-OPTION command value IAC SE, with every 0xFF in the value doubled.
void ComPortEncode(uint8_t command, const uint8_t* value, int count, std::vector<uint8_t>& out);
void ComPortEncodeU8(uint8_t command, uint8_t value, std::vector<uint8_t>& out);
void ComPortEncodeU32(uint8_t command, uint32_t value, std::vector<uint8_t>& out);  // big-endian

// Subnegotiations longer than this are cut (the rest is read and dropped, `truncated` is set).
constexpr int kTelnetSubnegotiationMax = 64;
// A subnegotiation still open after this many bytes is abandoned and the decoder goes back to data,
// so that a peer that never sends IAC SE cannot swallow the line for good. The longest COM-PORT
// message a server sends (a signature text) is far shorter.
constexpr int kTelnetSubnegotiationLimit = 512;

struct TelnetEvent {
    enum class Kind : uint8_t { Option, Subnegotiation };
    Kind kind = Kind::Option;
    uint8_t verb = 0;    // Option: WILL, WONT, DO or DONT
    uint8_t option = 0;  // the option negotiated, or the option of the subnegotiation
    // Subnegotiation: the bytes between IAC SB option and IAC SE, IAC IAC undone. For COM-PORT
    // the first byte is the command.
    std::array<uint8_t, kTelnetSubnegotiationMax> value{};
    int valueLength = 0;
    bool truncated = false;
};

// The telnet receive state; survives between calls, so a sequence split across two network
// reads is reassembled.
struct TelnetDecoder {
    enum class State : uint8_t { Data, Iac, Option, SubOption, Sub, SubIac };
    State state = State::Data;
    uint8_t verb = 0;
    int subBytes = 0;  // bytes taken since IAC SB, IAC escapes included
    TelnetEvent pending;
};

// Decodes `count` received bytes: data bytes go to `dataOut` (room for `count` bytes is enough),
// negotiations and subnegotiations are appended to `events`. Returns the number of data bytes.
// Other telnet commands (NOP, GA and the like) are dropped.
int TelnetDecode(TelnetDecoder& decoder, const uint8_t* in, int count, uint8_t* dataOut,
                 std::vector<TelnetEvent>& events);

// A COM-PORT value read as a big-endian number (baud rate: 4 bytes); 0 when too short.
uint32_t ComPortValueU32(const TelnetEvent& event);
uint8_t ComPortValueU8(const TelnetEvent& event);
