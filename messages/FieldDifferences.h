// The fields that differ between what a configure run wrote and what the receiver reported back:
// the group bytes of the last report of each group on each port are kept in a side table beside the
// Port Contexts (which stay as they are), and the differences are listed under each group's
// comparison rule (only the bytes and bits the rule compares), named and formatted by the one field
// table that `vandel-cli show` and `diff` use.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/PortContext.h"
#include "messages/GroupComparison.h"
#include "settings/SettingsImage.h"

// The last report received for a group on a port, in group form (2D Altitude: built from 4A).
struct ReceivedGroup {
    bool arrived = false;
    std::array<uint8_t, kMaxGroupLength> bytes{};
};
// Indexed by comm index, then group number − 1. Written by the Report Handler, on the operations'
// thread only, like the Port Contexts.
extern std::array<std::array<ReceivedGroup, kGroupCount>, kPortContextCount> ReceivedGroups;
void ForgetReceivedGroups();
void RememberReceivedGroup(int commIndex, int groupNo, const uint8_t* group);

struct FieldChange {
    int group = 0;
    std::string field;       // its name, as show and diff name it
    std::string written;     // as the Settings Image has it, formatted as show formats it
    std::string readBack;    // as the receiver reported it
    std::string writtenHex;  // the field's compared bytes
    std::string readBackHex;
};

// The fields of the group that differ between the Settings Image and `received` under the group's
// comparison rule; empty when the rule finds no difference.
std::vector<FieldChange> DifferingFields(int groupNo, const uint8_t* received);
// The same for the last report of the group on the port (empty when none arrived).
std::vector<FieldChange> DifferingFieldsOfPort(int commIndex, int groupNo);
// "Datum: written WGS-84, read back Tokyo" lines, one per field; "Datum: expected WGS-84, found
// Tokyo" where nothing was written (verify).
std::string FieldChangeLine(const FieldChange& change, bool written = true);
