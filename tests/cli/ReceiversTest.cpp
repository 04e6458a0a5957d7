// load and configure through the real program against emulated receivers (run in this process,
// so that the test can look at what each receiver holds). Every run waits for real: keep them few.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "emulator/Emulator.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// What a receiver holds, in settings-file form: the reports' bytes, and for 2D Altitude mode 0
// followed by the altitude report's first four bytes.
std::vector<uint8_t> FileForm(const ReceiverSettings& settings) {
    std::vector<uint8_t> file(kSettingsImageSize);
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        const uint8_t* report = settings.Group(group.number);
        if (group.number == kGroup2DAltitude) {
            file[0] = 0;
            std::copy(report, report + 4, file.begin() + 1);
        } else {
            std::copy(report, report + group.length, file.begin() + group.offset);
        }
    }
    return file;
}

std::vector<uint8_t> GroupBytes(const std::vector<uint8_t>& file, int groupNo) {
    const SettingsGroupInfo& group = SettingsGroup(groupNo);
    return {file.begin() + group.offset, file.begin() + group.offset + group.length};
}

std::vector<uint8_t> HeldGroup(const Emulator& emulator, int index, int groupNo) {
    // The snapshot must outlive the pointer into it.
    const ReceiverStatus status = emulator.Status(index);
    const uint8_t* bytes = status.current.Group(groupNo);
    return {bytes, bytes + SettingsGroup(groupNo).length};
}

std::string StripCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

}  // namespace

// Over a network serial port the receiver answers the line break, so the whole road runs: Break
// Reply, Link Check, the thirteen requests. The file is the receiver's settings byte for byte.
TEST(CliReceivers, LoadWritesTheReceiversSettingsToTheFile) {
    auto emulator = StartEmulator(false, 1);
    ASSERT_NE(emulator, nullptr);
    TempFolder folder;
    const std::string out = folder.File("loaded.dat");
    const CliResult result = RunCli({"load", emulator->DeviceName(0), "-o", out});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    // Not a terminal: no progress, only where the file went.
    EXPECT_EQ(result.err,
              "vandel-cli: wrote the settings of " + emulator->DeviceName(0) + " to " + out + "\n");
    EXPECT_EQ(ReadBytes(out), FileForm(emulator->Status(0).current));
    EXPECT_EQ(ReadBytes(out), FactorySettingsFile());
    EXPECT_EQ(emulator->Status(0).breaks, 1u);
}

// A receiver that says nothing: four probes, then eight request passes, then Error 30. The file
// that was there stays as it was; with standard error on a terminal the passes are shown.
TEST(CliReceivers, LoadFromASilentReceiverWritesNothingAndShowsItsPasses) {
    auto emulator = StartEmulator(true, 1, {}, true);
    ASSERT_NE(emulator, nullptr);
    TempFolder folder;
    const std::string out = folder.File("kept.dat");
    const std::vector<uint8_t> before = {1, 2, 3};
    ASSERT_TRUE(WriteBytes(out, before));
    CliRunOptions options;
    options.stderrTerminal = true;
    const CliResult result =
        RunCli({"load", emulator->DeviceName(0), "-o", out, "--pc-settings", "9600,8,N,1"}, options);
    EXPECT_EQ(result.exitStatus, 1);
    const std::string err = StripCarriageReturns(result.err);
    EXPECT_THAT(
        err,
        HasSubstr("Error 30: The settings could not be retrieved from the receiver \nconnected to Comm  1 (" +
                  emulator->DeviceName(0) + ").\n"));
    EXPECT_THAT(err,
                HasSubstr("  reason: nothing came back at all, at 9600,8,N,1 (waiting for the Break Reply) "
                          "and 9600,8,N,1 (the PC side)\n"));
    EXPECT_THAT(err, HasSubstr("kept.dat not written: the settings of " + emulator->DeviceName(0) +
                               " could not all be loaded"));
    EXPECT_THAT(
        err, HasSubstr(emulator->DeviceName(0) + ": Requesting settings, pass 1 of 8: missing 13 groups\n"));
    EXPECT_THAT(
        err, HasSubstr(emulator->DeviceName(0) + ": Requesting settings, pass 8 of 8: missing 13 groups\n"));
    EXPECT_THAT(err, Not(HasSubstr("pass 9")));
    EXPECT_EQ(ReadBytes(out), before);
    EXPECT_EQ(result.out, "");
}

// Two receivers configured side by side from a file: every group written, read back and equal.
TEST(CliReceivers, ConfigureTwoReceiversFromAFile) {
    auto emulator = StartEmulator(true, 2);
    ASSERT_NE(emulator, nullptr);
    std::vector<uint8_t> file = FactorySettingsFile();
    file[kElevationMaskAt + 0] = 0x3E;  // 15 degrees
    file[kElevationMaskAt + 1] = 0x86;
    file[kElevationMaskAt + 2] = 0x0A;
    file[kElevationMaskAt + 3] = 0x8A;
    file[kDatumIndexAt + 1] = 4;  // "European"
    file[kPpsWidthLastByteAt] = 0xF2;
    TempFolder folder;
    const std::string path = folder.File("rack.dat");
    ASSERT_TRUE(WriteBytes(path, file));

    const CliResult result =
        RunCli({"configure", path, emulator->DeviceName(0), emulator->DeviceName(1), "--json", "--quiet"});
    EXPECT_EQ(result.exitStatus, 0) << result.err << result.out;
    EXPECT_EQ(result.err, "");
    const nlohmann::json json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["success"], true);
    EXPECT_EQ(json["aborted"], false);
    ASSERT_EQ(json["ports"].size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const nlohmann::json& port = json["ports"][static_cast<size_t>(i)];
        EXPECT_EQ(port["comm"], i + 1);
        EXPECT_EQ(port["device"], emulator->DeviceName(i));
        EXPECT_EQ(port["result"], "success");
        EXPECT_EQ(port["portResult"], 5);
        EXPECT_EQ(port["text"], "Configuration was successful.");
        ASSERT_EQ(port["groups"].size(), 13u);
        EXPECT_EQ(port["groups"][0], nlohmann::json::parse(R"json({"number": 2, "name": "I/O Options",
            "table": "i_o_options", "caption": "I/O Options (Packet 0x35)", "status": "matches", "statusCode": 4,
            "text": "Retrieved settings are correct.", "differences": []})json"));
        for (const auto& group : port["groups"]) EXPECT_EQ(group["status"], "matches") << group["name"];

        EXPECT_EQ(HeldGroup(*emulator, i, kGroupGPSConfiguration), GroupBytes(file, kGroupGPSConfiguration));
        EXPECT_EQ(HeldGroup(*emulator, i, kGroupPPSWidth), GroupBytes(file, kGroupPPSWidth));
        EXPECT_EQ(HeldGroup(*emulator, i, kGroupDatum)[2], 4);
        EXPECT_EQ(emulator->Status(i).saved, emulator->Status(i).current);
    }
}

// Three ports: a good receiver, one that reports another Datum than it was given, and a device
// that is no serial port. The question about "Stationary" in a position mode is passed with --yes.
TEST(CliReceivers, ConfigureNamesTheDifferingGroupAndExits1) {
    auto good = StartEmulator(true, 1);
    ReceiverFaults faults;
    faults.differ[kGroupDatum] = true;
    auto differing = StartEmulator(true, 1, faults);
    ASSERT_NE(good, nullptr);
    ASSERT_NE(differing, nullptr);
    TempFolder folder;
    const std::string path = folder.File("changed.dat");
    // The carried GPS bytes never reach a receiver (the set command leaves them to it), so the
    // file keeps the receiver's own there.
    std::vector<uint8_t> file = ChangedSettingsFile();
    file[kGpsCarriedAt + 8] = FactorySettingsFile()[kGpsCarriedAt + 8];
    ASSERT_TRUE(WriteBytes(path, file));
    const std::string a = good->DeviceName(0);
    const std::string b = differing->DeviceName(0);

    const std::string refusing = "rfc2217://127.0.0.1:1";  // nothing listens there
    const CliResult result = RunCli({"configure", path, a, b, refusing, "--yes"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_THAT(result.err,
                HasSubstr("Invalid Configuration: The receiver cannot be configured with a dynamics code "
                          "of \"Stationary\"\nwhen in a position mode"));
    EXPECT_THAT(result.err, HasSubstr("Going on: --yes was given.\n"));
    // Those that did not succeed first, every heading with its device, and the total at the end.
    auto rows = [](const std::string& datum) {
        std::string text;
        for (const char* caption :
             {"I/O Options (Packet 0x35)", "GPS Configuration (Packet 0xBB)", "Datum (Packet 0x8E-15)",
              "Port A Configuration (Packet 0xBC)", "Port B Configuration (Packet 0xBC)",
              "Packet 8E-A5 Masks (Packet 0x8E-A5)", "Port B Automatic Output (Packet 0x8E-4D)",
              "Timing Output Settings (Packet 0x8E-4A)", "Timing Output Options (Packet 0x8E-4E)",
              "PPS Width (Packet 0x8E-4F)", "Self Survey Configuration (Packet 0x8E-A9)",
              "NMEA Output (Packet 0x7A)", "2D Altitude (Packet 0x2A)"})
            text +=
                std::string("  ") + caption + ": " +
                (std::string(caption).rfind("Datum", 0) == 0 ? datum : "Retrieved settings are correct.\n");
        return text;
    };
    const std::string correct = rows("Retrieved settings are correct.\n");
    const std::string datumDiffers = rows(
        "Retrieved settings are not correct.\n    Datum: written WGS-84, read back Tokyo from old J6 "
        "values\n");
    EXPECT_EQ(Unwrapped(result.out),
              "Configuration Summary\n"
              "Comm 2 (" +
                  b +
                  "): Error 104:  Configuration settings are incorrect.\n"
                  "Comm 3 (" +
                  refusing +
                  "): Error 101:  Could not initialize comm port.\n"
                  "  reason: connection refused: 127.0.0.1 port 1\n"
                  "Comm 1 (" +
                  a +
                  "): Configuration was successful.\n"
                  "\nSummary for Comm Port 2 (" +
                  b + ")\n" + datumDiffers + "\nSummary for Comm Port 1 (" + a + ")\n" + correct +
                  "\n3 receivers: 1 successful, 1 could not be opened, 1 differing\n");
    // The good receiver took the new Port B line (19200) and the new receiver mode.
    EXPECT_EQ(good->Status(0).portB.baudRate, 19200);
    EXPECT_EQ(HeldGroup(*good, 0, kGroupGPSConfiguration)[1], 4);
}

// The fields that read back different are named with both values, and only under each group's
// rule: two groups differ, the rest of the run is correct.
TEST(CliReceivers, ConfigureNamesTheDifferingFieldsInJson) {
    ReceiverFaults faults;
    faults.differ[kGroupDatum] = true;
    faults.differ[kGroupPacket8EA5Masks] = true;
    auto differing = StartEmulator(true, 1, faults);
    ASSERT_NE(differing, nullptr);
    TempFolder folder;
    const std::string path = folder.File("factory.dat");
    ASSERT_TRUE(WriteBytes(path, FactorySettingsFile()));
    const CliResult result = RunCli({"configure", path, differing->DeviceName(0), "--json"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    std::map<int, std::vector<std::string>> listed;
    for (const auto& group : json["ports"][0]["groups"]) {
        for (const auto& change : group["differences"])
            listed[group["number"].get<int>()].push_back(change["name"].get<std::string>() + ": " +
                                                         change["expected"].get<std::string>() + " -> " +
                                                         change["found"].get<std::string>());
    }
    EXPECT_EQ(listed, (std::map<int, std::vector<std::string>>{
                          {kGroupDatum, {"Datum: WGS-84 -> Tokyo from old J6 values"}},
                          {kGroupPacket8EA5Masks, {"Synchronous 8F-0B on Port A: off -> on"}},
                      }));
}
