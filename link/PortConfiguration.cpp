#include "link/PortConfiguration.h"

#include <cctype>

namespace {

bool SameLetters(const std::string& text, const char* word) {
    size_t i = 0;
    for (; word[i] != '\0'; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return i == text.size();
}

bool Digits(const std::string& text, int32_t& value) {
    if (text.empty() || text.size() > 6) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

bool PortLineFromCodes(uint8_t baudCode, uint8_t dataCode, uint8_t parityCode, uint8_t stopCode,
                       PortLine& line) {
    if (baudCode < 1 || baudCode >= kBaudRateOfCode.size() ||
        (dataCode != kDataBitsCode7 && dataCode != kDataBitsCode8) || parityCode > kParityCodeEven ||
        stopCode > kStopBitsCode2)
        return false;
    line.baudRate = kBaudRateOfCode[baudCode];
    line.dataBits = dataCode == kDataBitsCode7 ? 7 : 8;
    line.parity = parityCode;
    line.stopBits = stopCode == kStopBitsCode2 ? 2 : 1;
    return true;
}

bool PortLineFromRecord(const uint8_t* record, PortLine& line) {
    return PortLineFromCodes(record[kPortRecordInputBaud], record[kPortRecordDataBits],
                             record[kPortRecordParity], record[kPortRecordStopBits], line);
}

bool PortCodesFromLine(const PortLine& line, uint8_t codes[4]) {
    const int baudCode = BaudCodeOfRate(line.baudRate);
    if (baudCode < 0 || (line.dataBits != 7 && line.dataBits != 8) || line.parity < 0 || line.parity > 2 ||
        (line.stopBits != 1 && line.stopBits != 2))
        return false;
    codes[0] = static_cast<uint8_t>(baudCode);
    codes[1] = line.dataBits == 7 ? kDataBitsCode7 : kDataBitsCode8;
    codes[2] = static_cast<uint8_t>(line.parity);
    codes[3] = line.stopBits == 2 ? kStopBitsCode2 : kStopBitsCode1;
    return true;
}

bool PortRecordFromLine(const PortLine& line, uint8_t* record) {
    uint8_t codes[4];
    if (!PortCodesFromLine(line, codes)) return false;
    record[kPortRecordInputBaud] = codes[0];
    record[kPortRecordOutputBaud] = codes[0];
    record[kPortRecordDataBits] = codes[1];
    record[kPortRecordParity] = codes[2];
    record[kPortRecordStopBits] = codes[3];
    return true;
}

std::string PortLineText(const PortLine& line) {
    static constexpr char kParity[] = {'N', 'O', 'E'};
    const char parity = line.parity >= 0 && line.parity <= 2 ? kParity[line.parity] : '?';
    return std::to_string(line.baudRate) + "," + std::to_string(line.dataBits) + "," + parity + "," +
           std::to_string(line.stopBits);
}

bool ParsePortLine(const std::string& text, PortLine& line) {
    std::array<std::string, 4> fields;
    size_t field = 0;
    for (const char c : text) {
        if (c == ',') {
            if (++field >= fields.size()) return false;
        } else {
            fields[field] += c;
        }
    }
    if (field != 3) return false;
    PortLine parsed;
    if (!Digits(fields[0], parsed.baudRate) || !Digits(fields[1], parsed.dataBits) ||
        !Digits(fields[3], parsed.stopBits))
        return false;
    static constexpr const char* kParityWords[][2] = {{"n", "none"}, {"o", "odd"}, {"e", "even"}};
    parsed.parity = -1;
    for (int code = 0; code < 3; ++code)
        if (SameLetters(fields[2], kParityWords[code][0]) || SameLetters(fields[2], kParityWords[code][1]))
            parsed.parity = code;
    uint8_t codes[4];
    if (parsed.parity < 0 || !PortCodesFromLine(parsed, codes)) return false;
    line = parsed;
    return true;
}
