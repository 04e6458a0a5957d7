// Settings kept as text, for a fleet: site files over a base and per-receiver values in the manifest.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bytes/Sha256.h"
#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

namespace {

// Settings kept as text: a base for the rack and one three-line file per site, configured into
// three receivers from a manifest; each receiver, loaded back into a text file, holds its own
// site's altitude, PPS offset and datum, and the base's other settings.
TEST(CliFleet, SiteFilesOverABaseConfigureEachReceiverWithItsSite) {
    auto emulator = StartEmulator(true, 3);
    ASSERT_TRUE(emulator);
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("factory.dat"), FactorySettingsFile()));
    ASSERT_EQ(RunCli({"convert", folder.File("factory.dat"), folder.File("rack.toml")}).exitStatus, 0);
    const char* const sites[3][3] = {{"312.500", "1.000e-07", "NAD-83"},
                                     {"-20.250", "2.500e-07", "WGS-72"},
                                     {"1500.000", "0.000e+00", "Tokyo-Korea"}};
    std::string manifest;
    for (int i = 0; i < 3; ++i) {
        const std::string site =
            "base = \"rack.toml\"\n[2d_altitude]\naltitude_m = " + std::string(sites[i][0]) +
            "\n[timing_output_settings]\npps_offset_s = " + sites[i][1] + "\n[datum]\ndatum = \"" +
            sites[i][2] + "\"\n";
        const std::string name = "site" + std::to_string(i) + ".toml";
        ASSERT_TRUE(WriteBytes(folder.File(name), std::vector<uint8_t>(site.begin(), site.end())));
        manifest += emulator->DeviceName(i) + " " + name + "\n";
    }
    // The third receiver's line sets one key more, for it alone.
    manifest.insert(manifest.size() - 1, "  gps_configuration.elevation_mask_degrees=15");
    ASSERT_TRUE(WriteBytes(folder.File("sites.txt"), std::vector<uint8_t>(manifest.begin(), manifest.end())));
    CliRunOptions patient;
    patient.timeout = std::chrono::seconds(180);
    const std::string audit = folder.File("audit.jsonl");
    const CliResult configured =
        RunCli({"configure", "--manifest", folder.File("sites.txt"), "--quiet", "--audit", audit}, patient);
    ASSERT_EQ(configured.exitStatus, 0) << configured.err << configured.out;
    const std::vector<std::string> records = Lines(audit);
    ASSERT_EQ(records.size(), 3u);
    const nlohmann::json third = nlohmann::json::parse(records[2], nullptr, false);
    EXPECT_EQ(third["overrides"], nlohmann::json({{"gps_configuration.elevation_mask_degrees", "15"}}));
    EXPECT_TRUE(nlohmann::json::parse(records[0])["overrides"].empty());
    ASSERT_EQ(RunCli({"set", folder.File("site2.toml"), "gps_configuration.elevation_mask_degrees=15", "-o",
                      folder.File("third.dat")})
                  .exitStatus,
              0);
    EXPECT_EQ(third["sha256"], Sha256Hex(ReadBytes(folder.File("third.dat")).data(), 169));
    const std::string fifteen =
        RunCli({"get", folder.File("third.dat"), "gps_configuration.elevation_mask_degrees"}).out;

    for (int i = 0; i < 3; ++i) {
        const std::string back = folder.File("back" + std::to_string(i) + ".toml");
        const CliResult loaded = RunCli({"load", emulator->DeviceName(i), "-o", back, "--quiet"});
        ASSERT_EQ(loaded.exitStatus, 0) << loaded.err;
        const CliResult values =
            RunCli({"get", back, "2d_altitude.altitude_m", "timing_output_settings.pps_offset_s",
                    "datum.datum", "gps_configuration.elevation_mask_degrees"});
        ASSERT_EQ(values.exitStatus, 0) << values.err;
        EXPECT_EQ(values.out, std::string(sites[i][0]) + "\n" + sites[i][1] + "\n" + sites[i][2] + "\n" +
                                  (i == 2 ? fifteen : "10.000008\n"))
            << i;
    }
}

}  // namespace
