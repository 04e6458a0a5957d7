#include "cli/Ports.h"

#include "serial/Serial.h"

std::string PortVerdictText(const SerialFailure& verdict) {
    switch (verdict.code) {
        case SerialFailureCode::kNone:
            return "usable";
        case SerialFailureCode::kBusy:
            return "busy (" + verdict.detail + ")";
        case SerialFailureCode::kPermissionDenied:
            return "not permitted (" + verdict.detail + ")";
        case SerialFailureCode::kNotSerial:
            return "not a serial device";
        case SerialFailureCode::kNoSuchDevice:
            return "missing";
        default:
            return "cannot be used (" + DescribeSerialFailure(verdict) + ")";
    }
}

std::string PortListingLine(const PortListing& port) {
    std::string line = port.path;
    if (!port.target.empty()) line += " -> " + port.target;
    line += ": " + PortVerdictText(port.verdict);
    std::vector<std::string> facts;
    if (!port.driver.empty()) facts.push_back("driver " + port.driver);
    if (!port.usbId.empty()) facts.push_back("USB " + port.usbId);
    if (!port.usbSerial.empty()) facts.push_back("serial " + port.usbSerial);
    if (!port.byIdLink.empty() && port.target.empty()) facts.push_back(port.byIdLink);
    if (!facts.empty()) {
        line += " [";
        for (size_t i = 0; i < facts.size(); ++i) line += (i == 0 ? "" : ", ") + facts[i];
        line += "]";
    }
    return line;
}

nlohmann::ordered_json PortJson(const PortListing& port) {
    nlohmann::ordered_json json;
    json["path"] = port.path;
    if (!port.target.empty()) json["target"] = port.target;
    json["usable"] = port.verdict.code == SerialFailureCode::kNone;
    json["verdict"] = PortVerdictText(port.verdict);
    if (port.verdict.code != SerialFailureCode::kNone) {
        json["reason"] = {{"code", SerialFailureCodeName(port.verdict.code)},
                          {"detail", port.verdict.detail}};
        if (port.verdict.holderPid != 0) json["reason"]["pid"] = port.verdict.holderPid;
    }
    if (!port.driver.empty()) json["driver"] = port.driver;
    if (!port.usbId.empty()) json["usb"] = port.usbId;
    if (!port.usbSerial.empty()) json["serialNumber"] = port.usbSerial;
    if (!port.byIdLink.empty()) json["byId"] = port.byIdLink;
    return json;
}
