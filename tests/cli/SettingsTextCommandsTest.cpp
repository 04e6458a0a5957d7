// The settings text form through the real program: convert, show --toml, set, get, check, bases.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string TextOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteText(const std::string& path, const std::string& text) {
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

class CliSettingsText : public ::testing::Test {
  protected:
    void SetUp() override {
        factory = folder.File("factory.dat");
        ASSERT_TRUE(WriteBytes(factory, FactorySettingsFile()));
        rack = folder.File("rack.toml");
        const CliResult converted = RunCli({"convert", factory, rack});
        ASSERT_EQ(converted.exitStatus, 0) << converted.err;
    }

    std::string Get(const std::string& file, const std::string& key) {
        const CliResult result = RunCli({"get", file, key});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        return result.out;
    }

    TempFolder folder;
    std::string factory;
    std::string rack;
};

}  // namespace

TEST_F(CliSettingsText, ConvertGoesBothWaysByteForByteAndEveryCommandTakesEitherForm) {
    const std::string back = folder.File("back.dat");
    ASSERT_EQ(RunCli({"convert", rack, back}).exitStatus, 0);
    EXPECT_EQ(ReadBytes(back), FactorySettingsFile());

    const CliResult shown = RunCli({"show", factory, "--toml"});
    ASSERT_EQ(shown.exitStatus, 0) << shown.err;
    EXPECT_EQ(shown.out, TextOf(rack));
    EXPECT_THAT(shown.out, HasSubstr("[gps_configuration]\n"));
    EXPECT_THAT(shown.out,
                HasSubstr("dynamics_code = \"Stationary\"  # Dynamics Code; list; image byte 18\n"));
    EXPECT_THAT(
        shown.out,
        HasSubstr(
            "elevation_mask_degrees = 10.000008  # Elevation Mask (degrees); edit; image bytes 20-23\n"));

    EXPECT_EQ(RunCli({"diff", rack, factory}).exitStatus, 0);
    EXPECT_EQ(RunCli({"show", rack}).out.substr(rack.size()),
              RunCli({"show", factory}).out.substr(factory.size()));
}

// One good and one bad value for each kind of field, in either form of file: the good one is read as
// the window reads the control, the bad one is refused with the window's message, naming the key,
// and leaves the file as it was.
TEST_F(CliSettingsText, SetTakesGoodValuesAndRefusesBadOnesWithTheWindowsMessage) {
    struct Case {
        const char* key;
        const char* good;
        const char* shown;  // what get prints after the good value
        const char* bad;
        const char* message;
    };
    const Case cases[] = {
        {"nmea_output.output_interval_0_255_sec", "5", "5", "", "'' is not a valid integer value."},
        {"gps_configuration.elevation_mask_degrees", "15", "15.0", "ten",
         "'ten' is not a valid floating point value."},
        {"gps_configuration.dynamics_code", "Land", "Land", "Hover",
         "'Hover' is not an item of Dynamics Code"},
        {"nmea_output.gga", "false", "false", "maybe", "'maybe' is not true or false"},
        {"datum.datum", "NAD-83", "NAD-83", "European", "'European' names more than one item of Datum"},
        {"gps_configuration.bytes_22_42", "000102030405060708090A0B0C0D0E0F1011121314",
         "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14", "0B 0C",
         "'0B 0C' is not hex of 21 bytes"},
    };
    for (const std::string& file : {factory, rack}) {
        for (const Case& c : cases) {
            const std::string before = TextOf(file);
            const CliResult bad = RunCli({"set", file, std::string(c.key) + "=" + c.bad});
            EXPECT_EQ(bad.exitStatus, 2) << c.key;
            EXPECT_THAT(bad.err, HasSubstr(std::string(c.key) + ": " + c.message)) << file;
            EXPECT_EQ(TextOf(file), before) << c.key;

            const CliResult good = RunCli({"set", file, std::string(c.key) + "=" + c.good});
            EXPECT_EQ(good.exitStatus, 0) << c.key << ": " << good.err;
            EXPECT_EQ(Get(file, c.key), std::string(c.shown) + "\n") << file;
        }
    }
    // The text file kept its comments, and the keys not set kept their lines.
    const std::string text = TextOf(rack);
    EXPECT_THAT(text, HasSubstr("# Vandel Configurator settings"));
    EXPECT_THAT(
        text, HasSubstr("receiver_mode = \"Over-determined clock\"  # Receiver Mode; list; image byte 16\n"));
    // Both files now hold the same settings.
    EXPECT_EQ(RunCli({"diff", factory, rack}).exitStatus, 0);
}

TEST_F(CliSettingsText, SetWritesWhatTheWindowWritesAlongAndAnotherFileWithOutput) {
    const std::string out = folder.File("out.toml");
    const CliResult result = RunCli(
        {"set", factory, "port_b_configuration.baud_rate=19200", "2d_altitude.altitude_m=-12.5", "-o", out});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(ReadBytes(factory), FactorySettingsFile());
    EXPECT_EQ(Get(out, "port_b_configuration.baud_rate_output"), "19200\n");
    EXPECT_EQ(Get(out, "2d_altitude.altitude_m"), "-12.500\n");

    const CliResult unknown = RunCli({"set", factory, "gps_configuration.warp=9"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_THAT(unknown.err, HasSubstr("'gps_configuration.warp' is no key"));
}

TEST_F(CliSettingsText, ASiteFileTakesTheRestFromItsBasesAndACycleIsRefused) {
    ASSERT_TRUE(
        WriteText(folder.File("site.toml"),
                  "base = \"rack.toml\"\n[2d_altitude]\naltitude_m = 312.5\n[datum]\ndatum = \"NAD-83\"\n"));
    ASSERT_TRUE(WriteText(folder.File("antenna.toml"),
                          "base = \"site.toml\"\n[timing_output_settings]\npps_offset_s = 1.5e-07\n"));
    const CliResult values =
        RunCli({"get", folder.File("antenna.toml"), "2d_altitude.altitude_m", "datum.datum",
                "timing_output_settings.pps_offset_s", "gps_configuration.dynamics_code"});
    ASSERT_EQ(values.exitStatus, 0) << values.err;
    EXPECT_EQ(values.out, "312.500\nNAD-83\n1.500e-07\nStationary\n");
    // set on a site file adds the key under its table and keeps the file a site file.
    ASSERT_EQ(RunCli({"set", folder.File("site.toml"), "gps_configuration.pdop_mask=6.5"}).exitStatus, 0);
    EXPECT_EQ(TextOf(folder.File("site.toml")),
              "base = \"rack.toml\"\n[2d_altitude]\naltitude_m = 312.5\n[datum]\ndatum = \"NAD-83\"\n\n"
              "[gps_configuration]\npdop_mask = 6.5  # PDOP Mask; edit; image bytes 28-31\n");

    // Written elsewhere, a site file names its base from there; two keys of a new table go under one header.
    ASSERT_EQ(mkdir(folder.File("elsewhere").c_str(), 0755), 0);
    const std::string moved = folder.File("elsewhere/site.toml");
    const CliResult written =
        RunCli({"set", folder.File("site.toml"), "datum.datum=Custom", "datum.dx=1.5", "-o", moved});
    ASSERT_EQ(written.exitStatus, 0) << written.err;
    EXPECT_THAT(TextOf(moved), HasSubstr("base = \"../rack.toml\"\n"));
    EXPECT_EQ(RunCli({"get", moved, "datum.datum", "datum.dx", "2d_altitude.altitude_m"}).out,
              "Custom\n1.5\n312.500\n");

    ASSERT_TRUE(WriteText(folder.File("a.toml"), "base = \"b.toml\"\n"));
    ASSERT_TRUE(WriteText(folder.File("b.toml"), "base = \"a.toml\"\n"));
    const CliResult cycle = RunCli({"show", folder.File("a.toml")});
    EXPECT_EQ(cycle.exitStatus, 2);
    EXPECT_THAT(cycle.err, HasSubstr("is its own base"));
}

TEST_F(CliSettingsText, CheckNamesTheFieldsThatWouldStopAConfigure) {
    const CliResult passes = RunCli({"check", rack});
    EXPECT_EQ(passes.exitStatus, 0) << passes.out;
    const CliResult set = RunCli({"set", rack, "gps_configuration.dynamics_code=Land"});
    EXPECT_EQ(set.exitStatus, 0);
    EXPECT_THAT(set.err,
                HasSubstr("warning: " + rack + ": configure would stop at the \"Invalid Configuration\""));
    const CliResult stops = RunCli({"check", rack});
    EXPECT_EQ(stops.exitStatus, 1);
    EXPECT_THAT(stops.out, HasSubstr("self_survey_configuration.enable_self_survey = true, "
                                     "gps_configuration.receiver_mode = \"Over-determined clock\", "
                                     "gps_configuration.dynamics_code = \"Land\""));
    EXPECT_THAT(stops.out, HasSubstr("must be configured with a dynamics code of \"Stationary\""));
    EXPECT_THAT(RunCli({"check", factory}).out, Not(HasSubstr("would stop")));
}
