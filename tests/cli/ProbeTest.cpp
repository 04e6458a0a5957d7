// Receivers at other line settings than the PC side's, through the real program: probe finds their
// settings (Link Checks only), --pc-settings auto uses them, and a receiver that does not answer
// says what came back instead. Parity needs the network link (a pty forces 8 data bits, no parity).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

using ::testing::HasSubstr;

namespace {

const PortLine k19200Even{19200, 8, 2, 1};
const PortLine k4800TwoStop{4800, 8, 0, 2};

// One receiver on a network port (pty false) or a pty, at `portB`.
std::unique_ptr<Emulator> Receiver(bool pty, const PortLine& portB, bool silent = false,
                                   bool autoOutput = false) {
    EmulatorOptions options;
    options.usePty = pty;
    options.portB = portB;
    options.silent = silent;
    options.autoOutput = autoOutput;
    options.autoOutputPeriodMs = 200;
    return StartEmulatorWith(options);
}

nlohmann::json Parse(const CliResult& result) {
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    EXPECT_FALSE(json.is_discarded()) << result.out << result.err;
    return json;
}

std::string SettingsFile(const TempFolder& folder) {
    const std::string path = folder.File("factory.dat");
    EXPECT_TRUE(WriteBytes(path, FactorySettingsFile()));
    return path;
}

}  // namespace

// Side by side: one at 19200,8,E,1 on the network, one at 4800,8,N,2 on a pty, one silent. The
// found ones keep their settings: only Link Checks went out.
TEST(CliProbe, FindsEachReceiversLineSettingsAndReportsASilentOneAsNotFound) {
    auto even = Receiver(false, k19200Even);
    auto twoStop = Receiver(true, k4800TwoStop);
    auto silent = Receiver(true, {}, true);
    ASSERT_TRUE(even && twoStop && silent);
    const CliResult result =
        RunCli({"probe", "--json", even->DeviceName(0), twoStop->DeviceName(0), silent->DeviceName(0)});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json json = Parse(result);
    ASSERT_EQ(json.size(), 3u) << result.out;

    struct Expected {
        const Emulator* emulator;
        nlohmann::json settings;
        const char* parity;
    };
    const Expected rows[] = {{even.get(), "19200,8,E,1", "even"}, {twoStop.get(), "4800,8,N,2", "none"}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const nlohmann::json& port = json[i];
        EXPECT_EQ(port["device"], rows[i].emulator->DeviceName(0));
        EXPECT_EQ(port["found"], true);
        EXPECT_EQ(port["settings"], rows[i].settings);
        EXPECT_EQ(port["parity"], rows[i].parity);
        const ReceiverStatus status = rows[i].emulator->Status(0);
        EXPECT_EQ(status.portB, i == 0 ? k19200Even : k4800TwoStop);
        EXPECT_EQ(status.resets, 0u);
        EXPECT_TRUE(status.current == status.saved);
    }
    EXPECT_EQ(json[2]["found"], false);
    EXPECT_EQ(json[2]["settings"], nullptr);
    EXPECT_EQ(json[2]["tried"], 108);
    EXPECT_EQ(json[2]["reason"]["code"], "nothing-received");
}

TEST(CliProbe, SaysInTextWhatAnswered) {
    auto factory = Receiver(true, {});
    ASSERT_TRUE(factory);
    const CliResult result = RunCli({"probe", factory->DeviceName(0)});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              factory->DeviceName(0) + ": 9600,8,N,1 (found after trying 1 of 108 line settings)\n");
}

// configure and load find the PC side of each port first; the two configure ports have different PC
// sides, so they run as two runs.
TEST(CliProbe, PcSettingsAutoConfiguresAndLoadsReceiversAtOtherLineSettings) {
    auto even = Receiver(false, k19200Even);
    auto twoStop = Receiver(true, k4800TwoStop);
    ASSERT_TRUE(even && twoStop);
    TempFolder folder;
    const std::string loaded = folder.File("loaded.dat");
    const CliResult load = RunCli({"load", even->DeviceName(0), "-o", loaded, "--pc-settings", "auto"});
    EXPECT_EQ(load.exitStatus, 0) << load.err;
    std::vector<uint8_t> held = FactorySettingsFile();  // with its Port B at 19200,8,E,1
    held[kPortBBaudAt] = held[kPortBOutputBaudAt] = 8;
    held[kPortBBaudAt + 3] = kParityCodeEven;
    EXPECT_EQ(ReadBytes(loaded), held);

    const CliResult result = RunCli({"configure", "--pc-settings", "auto", "--json", "--quiet",
                                     SettingsFile(folder), even->DeviceName(0), twoStop->DeviceName(0)});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const nlohmann::json json = Parse(result);
    EXPECT_EQ(json["success"], true) << result.out;
    EXPECT_EQ(json["ports"][0]["pcSettings"], "19200,8,E,1");
    EXPECT_EQ(json["ports"][1]["pcSettings"], "4800,8,N,2");
    // The file's Port B is the factory's 9600,8,N,1: both receivers now use it.
    EXPECT_EQ(even->Status(0).portB, PortLine{});
    EXPECT_EQ(twoStop->Status(0).portB, PortLine{});
}

// Error 102 says what came back: noise from a receiver at another baud rate (its automatic output,
// unreadable at 9600), or nothing at all; and which settings were tried.
TEST(CliProbe, ANotAnsweringReceiverSaysWhatCameBack) {
    auto wrongBaud = Receiver(true, {19200, 8, 0, 1}, false, true);
    auto silent = Receiver(true, {}, true);
    ASSERT_TRUE(wrongBaud && silent);
    TempFolder folder;
    const std::string file = SettingsFile(folder);
    const CliResult json =
        RunCli({"verify", "--json", "--quiet", file, wrongBaud->DeviceName(0), silent->DeviceName(0)});
    EXPECT_EQ(json.exitStatus, 1) << json.err;
    const nlohmann::json parsed = Parse(json);
    const nlohmann::json& noisy = parsed["ports"][0];
    EXPECT_EQ(noisy["result"], "no-answer");
    EXPECT_EQ(noisy["reason"]["code"], "unframed-bytes") << noisy;
    EXPECT_GT(noisy["reason"]["unframed"].get<int>(), 0);
    const struct {
        const char* settings;
        const char* role;
    } tried[] = {{"9600,8,O,1", "the PC side"}, {"9600,8,N,1", "the fallback after the line break"}};
    ASSERT_EQ(noisy["reason"]["tried"].size(), 2u) << noisy;
    for (size_t i = 0; i < 2; ++i) {
        const nlohmann::json& at = noisy["reason"]["tried"][i];
        EXPECT_EQ(at["settings"], tried[i].settings);
        EXPECT_EQ(at["role"], tried[i].role);
        EXPECT_GT(at["unframed"].get<int>(), 0) << at;  // the noise of each settings counts there
        EXPECT_EQ(at["packets"], 0);
    }
    EXPECT_EQ(parsed["ports"][1]["reason"]["code"], "nothing-received");

    const CliResult text = RunCli({"verify", "--quiet", file, wrongBaud->DeviceName(0)});
    EXPECT_EQ(text.exitStatus, 1) << text.err;
    EXPECT_THAT(Unwrapped(text.out),
                HasSubstr("Error 102:  Could not establish KIRP communications.\n  reason: "));
    EXPECT_THAT(Unwrapped(text.out), HasSubstr(" bytes came back that do not frame as KIRP packets ("));
    EXPECT_THAT(Unwrapped(text.out), HasSubstr(" at 9600,8,O,1 (the PC side), "));
    EXPECT_THAT(Unwrapped(text.out),
                HasSubstr(" at 9600,8,N,1 (the fallback after the line break)): the receiver uses "
                          "other line settings; vandel-cli probe finds them\n"));
}
