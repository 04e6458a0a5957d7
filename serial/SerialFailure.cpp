#include "serial/SerialFailure.h"

namespace {

struct FailureRow {
    SerialFailureCode code;
    const char* name;
    const char* text;
};

constexpr FailureRow kFailureRows[] = {
    {SerialFailureCode::kNone, "none", "no failure"},
    {SerialFailureCode::kNoSuchDevice, "no-such-device", "no such device"},
    {SerialFailureCode::kPermissionDenied, "permission-denied", "permission denied"},
    {SerialFailureCode::kBusy, "busy", "busy"},
    {SerialFailureCode::kNotSerial, "not-serial", "not a serial device"},
    {SerialFailureCode::kLineSettings, "line-settings", "the device did not take the line settings"},
    {SerialFailureCode::kNameNotResolved, "name-not-resolved", "host name not resolved"},
    {SerialFailureCode::kConnectionRefused, "connection-refused", "connection refused"},
    {SerialFailureCode::kNoAnswer, "no-answer", "no answer in time"},
    {SerialFailureCode::kComPortRefused, "com-port-refused", "the server refused the COM-PORT option"},
    {SerialFailureCode::kSettingsNotAcknowledged, "settings-not-acknowledged",
     "the server acknowledged other line settings than those asked for"},
    {SerialFailureCode::kOther, "other", "failed"},
};

const FailureRow& RowOf(SerialFailureCode code) {
    for (const FailureRow& row : kFailureRows)
        if (row.code == code) return row;
    return kFailureRows[sizeof kFailureRows / sizeof kFailureRows[0] - 1];
}

}  // namespace

const char* SerialFailureCodeName(SerialFailureCode code) {
    return RowOf(code).name;
}
const char* SerialFailureText(SerialFailureCode code) {
    return RowOf(code).text;
}

std::string DescribeSerialFailure(const SerialFailure& failure) {
    std::string text = SerialFailureText(failure.code);
    if (!failure.detail.empty()) text += ": " + failure.detail;
    return text;
}
