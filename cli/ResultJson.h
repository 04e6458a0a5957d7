// The words every JSON output of vandel-cli shares (docs/schema/common.json): a group is always
// {"number", "name", "table", ...}, a field always {"name", "key", "kind", "groupOffset",
// "imageOffset", "width", ...}, and a difference is a field with the value it should have and the
// one found: {"expected", "found", "expectedHex", "foundHex"}, listed in its group's
// "differences". show, diff, trace, the configure and verify summary and the audit line build
// theirs from these, so that one field difference reads the same wherever it is printed.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Fleet.h"
#include "messages/FieldDifferences.h"
#include "settings/SettingsFields.h"

// {"number": 7, "name": "Datum", "table": "datum"}
nlohmann::ordered_json GroupJson(int groupNo);
// The field's identity: name, key, kind, groupOffset, imageOffset, width.
nlohmann::ordered_json FieldJson(const SettingsField& field);
// A field whose value differs: its identity, then expected/found and their bytes.
nlohmann::ordered_json DifferenceJson(const SettingsField& field, const std::string& expected,
                                      const std::string& found, const std::string& expectedHex,
                                      const std::string& foundHex);
// The same for a difference a receiver reported (the field found by its name in its group).
nlohmann::ordered_json DifferenceJson(const FieldChange& change);

// What a port's summary line says. configure: the Port Result's text. verify: what was found ("holds
// these settings", "differs: Datum", "could not be retrieved: ..."); its opening and Link Check
// failures keep configure's texts, which say nothing of writing.
std::string OutcomeText(RunKind kind, const PortSummary& summary);
// One receiver's result: the summary's entry for it, and the body of its audit line.
nlohmann::ordered_json PortOutcomeJson(RunKind kind, const FleetReceiver& receiver,
                                       const FleetOutcome& outcome);
