// show and diff through the real program, on files whose contents are laid out by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// What show prints for FactorySettingsFile() after its first line, checked against the group
// tables field by field.
const char* const kFactoryShowText = R"golden(Group 1: 2D Altitude
  2D Altitude: Set Altitude
  Altitude (m): 35.000
Group 2: I/O Options
  Output XYZ ECEF (Packet 42): off
  Ouput LLA (Packet 4A): on
  LLA Output MSL geoid: off
  LLA Input MSL geoid: off
  Double-Precision: on
  Output 8F-20: off
  Other bits of byte 0: 0x00
  Output XYZ ECEF (Packet 43): off
  Output ENU (Packet 56): on
  Other bits of byte 1: 0x00
  Position fix time tags in UTC: on
  Compute fix on integer second: off
  Output fix on request only: off
  Synchronize measurements: off
  Minimize projections: off
  Other bits of byte 2: 0x00
  Raw measurements (Packet 5A): on
  Doppler smoothed codephase: off
  Other bits of byte 3: 0x00
Group 3: NMEA Output
  Byte 0: 00
  Output Interval (0-255 sec): 1
  GGA: on
  GLL: off
  VTG: off
  GSV: off
  GSA: off
  ZDA: on
  RMC: off
  Other bits of bytes 2-5: 0x00000000
Group 4: GPS Configuration
  Byte 0: 00
  Receiver Mode: Over-determined clock
  DGPS Mode: DGPS auto
  Dynamics Code: Stationary
  Track Mode: Over-determined fix
  Elevation Mask (degrees): 10.0
  Signal Level Mask (AMU): 4.0
  PDOP Mask: 12.0
  PDOP Switch: 8.0
  DGPS Age Limit (seconds): 30
  Bytes 22-42: 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F
Group 5: Port A Configuration
  Byte 0: 00
  Baud Rate: 4800
  Baud Rate (output): 4800
  Data Bits: 8
  Parity: None
  Stop Bits: 1
  Byte 6: 00
  Input Protocol: RTCM
  Output Protocol: NMEA
  Byte 9: 00
Group 6: Port B Configuration
  Byte 0: 01
  Baud Rate: 9600
  Baud Rate (output): 9600
  Data Bits: 8
  Parity: None
  Stop Bits: 1
  Byte 6: 00
  Input Protocol: KIRP
  Output Protocol: KIRP
  Byte 9: 00
Group 7: Datum
  Byte 0: 15
  Datum: WGS-84
  DX: 0.0
  DY: 0.0
  DZ: 0.0
  A-Axis: 6378137.000
  Eccentricity: 0.00669437999014
Group 8: Timing Output Settings
  Byte 0: 4A
  Driver Switch: Enabled
  Time Base: UTC
  Polarity: Positive
  PPS Offset (s): 0.000e+00
  Bias Uncertainty Threshold (m): 300.00
Group 9: Port B Automatic Output
  Byte 0: 4D
  Packet 40: on
  Packets 58, 5B: off
  Packet 4F: on
  Packet 58: off
  Packet 48: off
  Packet 49: off
  Packet 41: off
  Packets 6D, 46, 4B, 82: off
  Packets 42, 43, 4A, 54, 56, 83, 84, 8F-20: off
  Packet 5A: off
  Other bits of bytes 1-4: 0x00000000
Group 10: Timing Output Options
  Byte 0: 4E
  Output Options: When tracking at least 1 satellite
Group 11: PPS Width
  Byte 0: 4F
  PPS Width (seconds): 1.000e-05
Group 12: Packet 8E-A5 Masks
  Byte 0: A5
  Synchronous 8F-0B on Port A: off
  Event 8F-0B on Port A: off
  Event 8F-0B on Port B: off
  Synchronous 8F-0B on Port B: on
  Synchronous 8F-AD on Port A: off
  Event 8F-AD on Port A: off
  Event 8F-AD on Port B: off
  Synchronous 8F-AD on Port B: off
  8F-20 on Port B: on
  Auto KIRP Outputs: on
  8F-AB on Port A, Port B: off
  8F-AC on Port A, Port B: off
  Other bits of byte 2: 0x00
  Bytes 3-4: 03 05
Group 13: Self Survey Configuration
  Byte 0: A9
  Enable Self Survey: on
  Auto Save Position: off
  Self Survey Limit: 2000
  Bytes 7-10: 0A 1B 2C 3D
)golden";

class CliShowDiff : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder.Path().empty());
        factory = folder.File("factory.dat");
        changed = folder.File("changed.dat");
        ASSERT_TRUE(WriteBytes(factory, FactorySettingsFile()));
        ASSERT_TRUE(WriteBytes(changed, ChangedSettingsFile()));
    }
    TempFolder folder;
    std::string factory;
    std::string changed;
};

const nlohmann::json* FindField(const nlohmann::json& group, const std::string& name) {
    for (const auto& field : group["fields"])
        if (field["name"] == name) return &field;
    return nullptr;
}

}  // namespace

TEST_F(CliShowDiff, ShowPrintsEveryFieldWithTheWindowsTexts) {
    const CliResult result = RunCli({"show", factory});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, factory + ": 169 bytes\n" + kFactoryShowText);
}

TEST_F(CliShowDiff, ShowJsonCarriesCodesBytesAndTexts) {
    const CliResult result = RunCli({"show", factory, "--json"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["file"], factory);
    EXPECT_EQ(json["size"], 169);
    ASSERT_EQ(json["groups"].size(), 13u);

    const nlohmann::json& gps = json["groups"][3];
    EXPECT_EQ(gps["number"], 4);
    EXPECT_EQ(gps["name"], "GPS Configuration");
    EXPECT_EQ(gps["imageOffset"], 15);
    EXPECT_EQ(gps["table"], "gps_configuration");
    EXPECT_EQ(gps["length"], 43);
    const nlohmann::json* mode = FindField(gps, "Receiver Mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(*mode, nlohmann::json::parse(
                         R"json({"name": "Receiver Mode", "kind": "combo", "control": "ComboBox_RMode",
        "key": "gps_configuration.receiver_mode", "groupOffset": 1, "imageOffset": 16, "width": 1, "text": "Over-determined clock", "hex": "07", "code": 7})json"));
    const nlohmann::json* mask = FindField(gps, "Elevation Mask (degrees)");
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ((*mask)["text"], "10.0");
    EXPECT_EQ((*mask)["hex"], "3E 32 B8 C2");
    const nlohmann::json* carried = FindField(gps, "Bytes 22-42");
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ((*carried)["kind"], "bytes");
    EXPECT_EQ((*carried)["hex"], "0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");

    const nlohmann::json* baud = FindField(json["groups"][5], "Baud Rate");
    ASSERT_NE(baud, nullptr);
    EXPECT_EQ((*baud)["text"], "9600");
    EXPECT_EQ((*baud)["code"], 7);
    const nlohmann::json* datum = FindField(json["groups"][6], "Datum");
    ASSERT_NE(datum, nullptr);
    EXPECT_EQ((*datum)["text"], "WGS-84");
    EXPECT_EQ((*datum)["width"], 2);
    const nlohmann::json* packet4F = FindField(json["groups"][8], "Packet 4F");
    ASSERT_NE(packet4F, nullptr);
    EXPECT_EQ(*packet4F,
              nlohmann::json::parse(R"json({"name": "Packet 4F", "kind": "check", "control": "CheckBox_Bit2",
        "key": "port_b_automatic_output.packet_4f", "groupOffset": 4, "imageOffset": 141, "width": 1, "text": "on", "hex": "04", "bit": 2, "checked": true})json"));

    // Every group's hex is its bytes of the file.
    EXPECT_EQ(json["groups"][12]["hex"], "A9 01 00 00 00 07 D0 0A 1B 2C 3D");
}

TEST_F(CliShowDiff, ShowLeavesNoByteOut) {
    // The text and the JSON list the same fields, and the fields of each group cover its bytes.
    const CliResult text = RunCli({"show", factory});
    const CliResult json = RunCli({"show", factory, "--json"});
    ASSERT_EQ(text.exitStatus, 0);
    ASSERT_EQ(json.exitStatus, 0);
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    size_t fields = 0;
    for (const auto& group : parsed["groups"]) {
        std::vector<bool> covered(group["length"].get<size_t>(), false);
        for (const auto& field : group["fields"]) {
            ++fields;
            for (int i = 0; i < field["width"].get<int>(); ++i)
                covered.at(field["groupOffset"].get<size_t>() + static_cast<size_t>(i)) = true;
        }
        for (size_t i = 0; i < covered.size(); ++i) EXPECT_TRUE(covered[i]) << group["name"] << " byte " << i;
    }
    const size_t lines = static_cast<size_t>(std::count(text.out.begin(), text.out.end(), '\n'));
    EXPECT_EQ(lines, 1 + 13 + fields);
}

TEST_F(CliShowDiff, ShowOfAShortFileReadsTheMissingBytesAsFF) {
    const std::string empty = folder.File("empty.dat");
    ASSERT_TRUE(WriteBytes(empty, {}));
    const CliResult result = RunCli({"show", empty});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("is 0 bytes, not 169: the missing bytes read as FF"));
    // An all-FF datum index is -1: "Custom", as the window's loader shows it.
    EXPECT_THAT(result.out, HasSubstr("\n  Datum: Custom\n"));
    EXPECT_THAT(result.out, HasSubstr("\n  Receiver Mode: no item (code 255)\n"));
}

TEST_F(CliShowDiff, ShowNamesAnAltitudeTheWindowLeavesOut) {
    std::vector<uint8_t> bytes = FactorySettingsFile();
    bytes[0] = 1;  // "Cancel Altitude Set Mode"
    const std::string cancel = folder.File("cancel.dat");
    ASSERT_TRUE(WriteBytes(cancel, bytes));
    const CliResult result = RunCli({"show", cancel});
    ASSERT_EQ(result.exitStatus, 0);
    EXPECT_THAT(result.out, HasSubstr("  2D Altitude: Cancel Altitude Set Mode\n"
                                      "  Altitude (m): 35.000 (unused unless \"Set Altitude\" is chosen)\n"));
}

TEST_F(CliShowDiff, DiffListsTheDifferingFieldsOneALine) {
    const CliResult result = RunCli({"diff", factory, changed});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(
        result.out,
        "GPS Configuration: Receiver Mode: Over-determined clock -> Full Position (3D)\n"
        "GPS Configuration: Elevation Mask (degrees): 10.0 -> 15.0\n"
        "GPS Configuration: Bytes 22-42: 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F -> "
        "0B 0C 0D 0E 0F 10 11 12 7F 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n"
        "Port B Configuration: Baud Rate: 9600 -> 19200\n"
        "Port B Configuration: Baud Rate (output): 9600 -> 19200\n"
        "PPS Width: PPS Width (seconds): 1.000e-05 -> 1.000e-05 "
        "(bytes 3E E4 F8 B5 88 E3 68 F1 -> 3E E4 F8 B5 88 E3 68 F2)\n");
}

TEST_F(CliShowDiff, DiffOfEqualFilesPrintsNothingAndSucceeds) {
    const std::string copy = folder.File("copy.dat");
    ASSERT_TRUE(WriteBytes(copy, FactorySettingsFile()));
    const CliResult result = RunCli({"diff", factory, copy});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    const CliResult json = RunCli({"diff", factory, copy, "--json"});
    EXPECT_EQ(json.exitStatus, 0);
    EXPECT_EQ(
        nlohmann::json::parse(json.out),
        nlohmann::json(
            {{"file1", factory}, {"file2", copy}, {"equal", true}, {"groups", nlohmann::json::array()}}));
}

TEST_F(CliShowDiff, DiffJsonGivesTextsAndBytes) {
    const CliResult result = RunCli({"diff", factory, changed, "--json"});
    EXPECT_EQ(result.exitStatus, 1);
    const nlohmann::json json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["equal"], false);
    // The differences in their groups: FILE1's values expected, FILE2's found.
    std::vector<nlohmann::json> differences;
    for (const auto& group : json["groups"])
        for (const auto& difference : group["differences"]) differences.push_back(difference);
    ASSERT_EQ(json["groups"].size(), 3u);
    ASSERT_EQ(differences.size(), 6u);
    EXPECT_EQ(json["groups"][0]["number"], 4);
    EXPECT_EQ(json["groups"][0]["name"], "GPS Configuration");
    EXPECT_EQ(differences[0],
              nlohmann::json::parse(R"json({"name": "Receiver Mode", "key": "gps_configuration.receiver_mode",
        "kind": "combo", "groupOffset": 1, "imageOffset": 16, "width": 1, "expected": "Over-determined clock",
        "found": "Full Position (3D)", "expectedHex": "07", "foundHex": "04"})json"));
    EXPECT_EQ(differences[3]["key"], "port_b_configuration.baud_rate");
    EXPECT_EQ(differences[3]["found"], "19200");
    EXPECT_EQ(differences[5]["expected"], differences[5]["found"]);
    EXPECT_EQ(differences[5]["foundHex"], "3E E4 F8 B5 88 E3 68 F2");
}

TEST_F(CliShowDiff, DiffSeesABitWithoutACheckBox) {
    std::vector<uint8_t> bytes = FactorySettingsFile();
    bytes[5] |= 0x80;  // I/O Options position byte, bit 7: no check box
    const std::string extra = folder.File("extra.dat");
    ASSERT_TRUE(WriteBytes(extra, bytes));
    const CliResult result = RunCli({"diff", factory, extra});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "I/O Options: Other bits of byte 0: 0x00 -> 0x80\n");
}
