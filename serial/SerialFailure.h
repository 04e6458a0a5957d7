// Why a device could not be opened or set up. The driver's results stay 1/0; the reason of the last
// failed open is kept per Port Slot beside them (SerialLastFailure) for whoever reports to a person.
#pragma once

#include <cstdint>
#include <string>

enum class SerialFailureCode : uint8_t {
    kNone,
    kNoSuchDevice,
    kPermissionDenied,
    kBusy,
    kNotSerial,
    kLineSettings,  // the device did not take the line settings asked for
    kNameNotResolved,
    kConnectionRefused,
    kNoAnswer,
    kComPortRefused,
    kSettingsNotAcknowledged,
    kOther,
};

struct SerialFailure {
    SerialFailureCode code = SerialFailureCode::kNone;
    std::string detail;     // the system's words, the holder of a busy port, ...
    int32_t holderPid = 0;  // kBusy: the process holding the device or its lock file, when known
};

// A stable name for scripts ("busy", "no-such-device", ...) and a short phrase for people.
const char* SerialFailureCodeName(SerialFailureCode code);
const char* SerialFailureText(SerialFailureCode code);
// "busy: held by PID 4711 (minicom)": the phrase, then the detail when there is one.
std::string DescribeSerialFailure(const SerialFailure& failure);
