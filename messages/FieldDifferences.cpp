#include "messages/FieldDifferences.h"

#include <cstring>

#include "settings/SettingsFields.h"

std::array<std::array<ReceivedGroup, kGroupCount>, kPortContextCount> ReceivedGroups{};

void ForgetReceivedGroups() {
    for (auto& port : ReceivedGroups) port.fill(ReceivedGroup{});
}

void RememberReceivedGroup(int commIndex, int groupNo, const uint8_t* group) {
    if (commIndex < 0 || commIndex >= kPortContextCount || groupNo < 1 || groupNo > kGroupCount) return;
    ReceivedGroup& kept = ReceivedGroups[static_cast<size_t>(commIndex)][static_cast<size_t>(groupNo - 1)];
    kept.arrived = true;
    std::memcpy(kept.bytes.data(), group, static_cast<size_t>(SettingsGroup(groupNo).length));
}

std::vector<FieldChange> DifferingFields(int groupNo, const uint8_t* received) {
    std::vector<FieldChange> changes;
    if (groupNo < 1 || groupNo > kGroupCount) return changes;
    const ComparisonMask* mask = ComparisonRule(groupNo, received);
    if (mask == nullptr) return changes;
    const uint8_t* image = SettingsGroupBytes(groupNo);
    const std::vector<SettingsField> written = DecodeSettingsGroup(groupNo, image);
    const std::vector<SettingsField> read = DecodeSettingsGroup(groupNo, received);
    for (size_t i = 0; i < written.size() && i < read.size(); ++i) {
        const SettingsField& field = written[i];
        bool differs = false;
        for (int k = 0; k < field.width && !differs; ++k) {
            const size_t at = static_cast<size_t>(field.offset + k);
            const uint8_t bits =
                field.bitMasks.empty() ? uint8_t{0xFF} : field.bitMasks[static_cast<size_t>(k)];
            differs = ((image[at] ^ received[at]) & bits & (*mask)[at]) != 0;
        }
        if (!differs) continue;
        changes.push_back({groupNo, field.name, field.text, read[i].text, FieldHex(field, image),
                           FieldHex(read[i], received)});
    }
    return changes;
}

std::vector<FieldChange> DifferingFieldsOfPort(int commIndex, int groupNo) {
    if (commIndex < 0 || commIndex >= kPortContextCount || groupNo < 1 || groupNo > kGroupCount) return {};
    const ReceivedGroup& kept =
        ReceivedGroups[static_cast<size_t>(commIndex)][static_cast<size_t>(groupNo - 1)];
    return kept.arrived ? DifferingFields(groupNo, kept.bytes.data()) : std::vector<FieldChange>{};
}

std::string FieldChangeLine(const FieldChange& change, bool written) {
    std::string line = change.field + (written ? ": written " : ": expected ") + change.written +
                       (written ? ", read back " : ", found ") + change.readBack;
    // Texts that read the same hide a difference the format rounds away: the bytes tell it.
    if (change.written == change.readBack)
        line += " (bytes " + change.writtenHex + " -> " + change.readBackHex + ")";
    return line;
}
