// vandel-cli configure and verify over a fleet: more receivers than one run takes, a manifest,
// the audit record, and a run that dies.
#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "bytes/Sha256.h"
#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "emulator/Emulator.h"
#include "support/Pty.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The factory settings with another elevation mask, PPS width and Port B at 19200: valid, and not
// the factory's (the receiver keeps its own carried bytes).
std::vector<uint8_t> SecondSettingsFile() {
    std::vector<uint8_t> file = ChangedSettingsFile();
    file[kReceiverModeAt] = FactorySettingsFile()[kReceiverModeAt];
    file[kGpsCarriedAt + 8] = FactorySettingsFile()[kGpsCarriedAt + 8];
    return file;
}

std::string Sha256Of(const std::vector<uint8_t>& bytes) {
    return Sha256Hex(bytes.data(), bytes.size());
}

}  // namespace

// Sixty receivers on three emulators, from a manifest with two settings files (named beside the
// manifest) and two PC sides: four runs side by side, every receiver configured with its own file,
// results in the manifest's order, and sixty audit lines.
TEST(CliFleet, SixtyReceiversFromAManifestWithTwoFilesAndTwoPcSides) {
    PortLine slow;
    slow.baudRate = 4800;
    auto first = StartEmulator(true, 20);
    auto second = StartEmulator(true, 20);
    auto third = StartEmulator(true, 20, {}, false, slow);
    ASSERT_TRUE(first && second && third);
    TempFolder folder;
    const std::vector<uint8_t> files[2] = {FactorySettingsFile(), SecondSettingsFile()};
    ASSERT_TRUE(WriteBytes(folder.File("a.dat"), files[0]));
    ASSERT_TRUE(WriteBytes(folder.File("b.dat"), files[1]));

    struct Line {
        Emulator* emulator;
        int index;
        int file;
    };
    std::vector<Line> lines;
    std::string manifest = "# three racks\n\n";
    for (int i = 0; i < 20; ++i) {
        lines.push_back({first.get(), i, 0});
        manifest += first->DeviceName(i) + "  a.dat  9600,8,N,1\n";
    }
    for (int i = 0; i < 20; ++i) {
        lines.push_back({second.get(), i, 1});
        manifest += second->DeviceName(i) + "\tb.dat 9600,8,N,1   # rack 2\n";
    }
    for (int i = 0; i < 20; ++i) {  // the files alternate on the third rack
        lines.push_back({third.get(), i, i % 2});
        manifest += third->DeviceName(i) + (i % 2 == 0 ? " a.dat" : " b.dat") + " 4800,8,N,1\n";
    }
    const std::string path = folder.File("fleet.txt");
    ASSERT_TRUE(WriteBytes(path, std::vector<uint8_t>(manifest.begin(), manifest.end())));
    const std::string audit = folder.File("audit.jsonl");

    const CliResult result = RunCli({"configure", "--manifest", path, "--audit", audit, "--json"},
                                    WithTimeout(std::chrono::seconds(180)));
    ASSERT_EQ(result.exitStatus, 0) << result.err << result.out;
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    EXPECT_EQ(json["runs"], 4);
    ASSERT_EQ(json["ports"].size(), 60u);
    std::set<std::pair<int, int>> ports;
    for (size_t i = 0; i < lines.size(); ++i) {
        const nlohmann::json& port = json["ports"][i];
        const Line& line = lines[i];
        EXPECT_EQ(port["device"], line.emulator->DeviceName(line.index));
        EXPECT_EQ(port["result"], "success") << port.dump();
        ports.insert({port["run"].get<int>(), port["comm"].get<int>()});
        // Each receiver holds and has saved its own file's elevation mask and Port B.
        const ReceiverStatus status = line.emulator->Status(line.index);
        EXPECT_EQ(status.saved, status.current) << i;
        const uint8_t* gps = status.current.Group(kGroupGPSConfiguration);
        EXPECT_TRUE(std::equal(gps + 5, gps + 9, files[line.file].begin() + kElevationMaskAt)) << i;
    }
    EXPECT_EQ(ports.size(), 60u);  // no two receivers on one port of one run

    const std::vector<std::string> records = Lines(audit);
    ASSERT_EQ(records.size(), 60u);
    for (size_t i = 0; i < records.size(); ++i) {
        const nlohmann::json record = nlohmann::json::parse(records[i], nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << records[i];
        EXPECT_EQ(record["operation"], "configure");
        EXPECT_EQ(record["device"], lines[i].emulator->DeviceName(lines[i].index));
        EXPECT_EQ(record["sha256"], Sha256Of(files[lines[i].file]));
        EXPECT_EQ(record["result"], "success");
        ASSERT_EQ(record["groups"].size(), 13u);
        EXPECT_EQ(record["groups"][2]["name"], "Datum");
        EXPECT_EQ(record["groups"][2]["status"], "matches");
        EXPECT_EQ(record["pcSettings"], i < 40 ? "9600,8,N,1" : "4800,8,N,1");
        EXPECT_GT(record["seconds"].get<double>(), 0.0);
    }
}

// Every problem of a manifest is told in one round, by line number, and nothing is opened: not
// even the good lines' devices.
TEST(CliFleet, EveryProblemOfAManifestIsToldInOneRound) {
    PtyPair good;
    ASSERT_TRUE(good.IsOpen());
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("a.dat"), FactorySettingsFile()));
    ASSERT_TRUE(WriteBytes(folder.File("short.dat"), std::vector<uint8_t>(100, 0)));
    const std::string manifest = "# line 1 is a comment\n" +                         //
                                 good.SlavePath() + " a.dat\n" +                     // 2: good
                                 good.SlavePath() + " a.dat 9600,8,N,1\n" +          // 3: twice
                                 "/dev/ttyNoSuchPort7 a.dat\n" +                     // 4: fails when run
                                 "rfc2217://127.0.0.1:1 a.dat 9600,9,N,1\n" +        // 5
                                 "rfc2217://127.0.0.1:2 short.dat\n" +               // 6
                                 "rfc2217://127.0.0.1:3 missing.dat\n" +             // 7
                                 "rfc2217://127.0.0.1:4 a.dat 9600,8,N,1 extra\n" +  // 8
                                 "rfc2217://127.0.0.1:5\n" +                         // 9: no file
                                 "rfc2217://127.0.0.1:6 a.dat\x1b[2J\n" +            // 10
                                 std::string("/dev/null\0junk a.dat\n", 21) +        // 11
                                 "/dev/null a.dat\n" +                               // 12
                                 folder.Path() + " a.dat\n" +                        // 13
                                 "rfc2217://localhost:7 a.dat\n" +                   // 14
                                 "rfc2217://127.0.0.1:7 a.dat\n" +                   // 15
                                 "rfc2217://127.0.0.1:8 a.dat no_such.key=1\n" +     // 16
                                 "rfc2217://127.0.0.1:9 a.dat 2d_altitude.altitude_m=high\n" +
                                 "rfc2217://127.0.0.1:10 a.dat datum.datum=\"Tokyo\n" +  // 18
                                 "rfc2217://127.0.0.1:11 a.dat datum.datum=WGS-72 stray\n" +
                                 "rfc2217://127.0.0.1:12 a.dat datum.datum=\"Tokyo from old J6 values\"\n";
    const std::string path = folder.File("bad.txt");
    ASSERT_TRUE(WriteBytes(path, std::vector<uint8_t>(manifest.begin(), manifest.end())));

    const CliResult result = RunCli({"verify", "--manifest", path, "--audit", folder.File("audit.jsonl")});
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_EQ(result.out, "");
    const struct {
        int line;
        std::string message;
    } expected[] = {
        {3, good.SlavePath() + " (" + path + ":2) and " + good.SlavePath() + " are the same device"},
        {5, "PC_SETTINGS wants BAUD,DATA,PARITY,STOP"},
        {6, folder.File("short.dat") + " is 100 bytes"},
        {7, folder.File("missing.dat")},
        {8, "expected DEVICE [SETTINGS_FILE] [PC_SETTINGS] [KEY=VALUE]..., not 4 fields"},
        {9, "no settings file"},
        {10, "a control character (0x1B) in the line"},
        {11, "a control character (0x00) in the line"},
        {12, "/dev/null: not a serial device"},
        {13, folder.Path() + ": a folder, not a serial device"},
        {15, "rfc2217://localhost:7 (" + path + ":14) and rfc2217://127.0.0.1:7 are the same device"},
        {16, "'no_such.key' is no key of the settings"},
        {17, "2d_altitude.altitude_m"},
        {18, "a quote (\") is not closed"},
        {19, "'stray' after KEY=VALUE is no KEY=VALUE"},
    };
    size_t previous = 0;
    for (const auto& e : expected) {
        const std::string text = path + ":" + std::to_string(e.line) + ": " + e.message;
        const size_t at = result.err.find(text);
        EXPECT_NE(at, std::string::npos) << text << "\n" << result.err;
        EXPECT_GE(at, previous) << "in line order: " << text;  // in line order
        if (at != std::string::npos) previous = at;
    }
    EXPECT_THAT(result.err, Not(HasSubstr(":4:")));   // a device not there now fails when its run opens it
    EXPECT_THAT(result.err, Not(HasSubstr(":20:")));  // a quoted value with blanks
    EXPECT_THAT(result.err, HasSubstr("no receiver was touched"));
    EXPECT_FALSE(FileExists(folder.File("audit.jsonl")));
    EXPECT_TRUE(good.ReadAvailable().empty());  // nothing went over the line

    // A file that is no manifest at all: the first fifty problems, then how many more.
    std::string lines;
    for (int i = 0; i < 80; ++i) lines += "a b c d\n";
    ASSERT_TRUE(WriteBytes(path, std::vector<uint8_t>(lines.begin(), lines.end())));
    const CliResult many = RunCli({"verify", "--manifest", path});
    EXPECT_EQ(many.exitStatus, 2);
    EXPECT_THAT(many.err, HasSubstr(path + ":50: expected"));
    EXPECT_THAT(many.err, Not(HasSubstr(path + ":51: expected")));
    EXPECT_THAT(many.err, HasSubstr("... and 30 more problems"));
}

// An adapter unplugged (or never there) among three good ones is that receiver's failure to open;
// the others are configured.
TEST(CliFleet, AMissingDeviceFailsAloneWithItsReason) {
    auto emulator = StartEmulator(true, 3);
    ASSERT_TRUE(emulator);
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("a.dat"), FactorySettingsFile()));
    const std::string missing = "/dev/serial/by-id/usb-Gone_Adapter_A9XK2-if00-port0";
    const CliResult result =
        RunCli({"configure", "--quiet", "--json", folder.File("a.dat"), emulator->DeviceName(0),
                emulator->DeviceName(1), missing, emulator->DeviceName(2)});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    ASSERT_EQ(json["ports"].size(), 4u);
    for (size_t i : {0u, 1u, 3u}) EXPECT_EQ(json["ports"][i]["result"], "success") << json["ports"][i].dump();
    EXPECT_EQ(json["ports"][2]["portResult"], 1);
    EXPECT_EQ(json["ports"][2]["reason"]["code"], "no-such-device") << json["ports"][2].dump();
}

namespace {

// The process of this program that runs the run holding `device` open.
pid_t FindRunProcess(const std::string& device) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return -1;
    pid_t found = -1;
    while (dirent* entry = ::readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        const std::string folder = "/proc/" + std::string(entry->d_name);
        std::ifstream file(folder + "/cmdline", std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        if (text.str().find("--fleet-run") == std::string::npos) continue;
        DIR* fds = ::opendir((folder + "/fd").c_str());
        while (fds != nullptr && found < 0) {
            dirent* fd = ::readdir(fds);
            if (fd == nullptr) break;
            char target[256] = {};
            const std::string link = folder + "/fd/" + fd->d_name;
            if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && device == target) found = pid;
        }
        if (fds != nullptr) ::closedir(fds);
        if (found > 0) break;
    }
    ::closedir(proc);
    return found;
}

}  // namespace

// A run whose process dies is reported for each of its receivers; the other run's results stand.
TEST(CliFleet, ARunThatDiesIsReportedForItsReceivers) {
    auto silent = StartEmulator(true, 20, {}, true);  // the first run waits on these through every pass
    auto answering = StartEmulator(true, 5);
    ASSERT_TRUE(silent && answering);
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("a.dat"), FactorySettingsFile()));
    std::vector<std::string> args = {"verify",
                                     "--pc-settings",
                                     "9600,8,N,1",
                                     "--quiet",
                                     "--audit",
                                     folder.File("audit.jsonl"),
                                     folder.File("a.dat")};
    for (int i = 0; i < 20; ++i) args.push_back(silent->DeviceName(i));
    for (int i = 0; i < 5; ++i) args.push_back(answering->DeviceName(i));

    std::thread killer([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const pid_t run = FindRunProcess(silent->DeviceName(0));
            if (run > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                ::kill(run, SIGKILL);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const CliResult result = RunCli(args);
    killer.join();
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const std::string out = Unwrapped(result.out);
    for (int i = 0; i < 20; ++i)
        EXPECT_THAT(out, HasSubstr("Run 1, Comm " + std::to_string(i + 1) + " (" + silent->DeviceName(i) +
                                   "): no result: its run ended by signal 9 (Killed) without a result"));
    for (int i = 0; i < 5; ++i)
        EXPECT_THAT(out, HasSubstr("Run 2, Comm " + std::to_string(i + 1) + " (" + answering->DeviceName(i) +
                                   "): holds these settings"));
    const std::vector<std::string> records = Lines(folder.File("audit.jsonl"));
    ASSERT_EQ(records.size(), 25u);
    EXPECT_THAT(records[0], HasSubstr("\"result\":\"no-result\""));
    EXPECT_THAT(records[24], HasSubstr("\"result\":\"success\""));
}

// The settings file replaced again and again while a fleet starts: the runs send the bytes read
// once, so every receiver holds what its audit line hashes, and all hold the same. A device named
// with bytes that are not UTF-8 (the 21st, alone in its run) and the file "-" reach the runs intact.
TEST(CliFleet, TheAuditHashesTheBytesSentWhateverHappensToTheFile) {
    auto first = StartEmulator(true, 20);
    auto second = StartEmulator(true, 1);
    ASSERT_TRUE(first && second);
    TempFolder folder;
    const std::vector<uint8_t> versions[2] = {FactorySettingsFile(), SecondSettingsFile()};
    const std::string file = folder.File("a.dat");
    ASSERT_TRUE(WriteBytes(file, versions[0]));
    const std::string oddName = folder.File(std::string("port\xff\xfe", 6));
    ASSERT_EQ(::symlink(second->DeviceName(0).c_str(), oddName.c_str()), 0);
    std::vector<std::string> devices;
    for (int i = 0; i < 20; ++i) devices.push_back(first->DeviceName(i));
    devices.push_back(oddName);
    const std::string audit = folder.File("audit.jsonl");
    std::vector<std::string> args = {"configure", "--quiet", "--audit", audit, file};
    args.insert(args.end(), devices.begin(), devices.end());

    std::atomic<bool> done{false};
    std::thread replacer([&] {
        for (int n = 0; !done && n < 2000; ++n) {
            const std::string next = folder.File("next.dat");
            WriteBytes(next, versions[n % 2 == 0 ? 1 : 0]);
            ::rename(next.c_str(), file.c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const CliResult result = RunCli(args, WithTimeout(std::chrono::seconds(180)));
    done = true;
    replacer.join();
    EXPECT_EQ(result.exitStatus, 0) << result.err << result.out;
    const std::vector<std::string> records = Lines(audit);
    ASSERT_EQ(records.size(), 21u);
    std::set<std::string> hashes;
    for (size_t i = 0; i < records.size(); ++i) {
        const nlohmann::json record = nlohmann::json::parse(records[i], nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << records[i];
        EXPECT_EQ(record["result"], "success") << records[i];
        const ReceiverStatus status = i < 20 ? first->Status(static_cast<int>(i)) : second->Status(0);
        const uint8_t* gps = status.current.Group(kGroupGPSConfiguration);
        const int held = std::equal(gps + 5, gps + 9, versions[0].begin() + kElevationMaskAt) ? 0 : 1;
        EXPECT_EQ(record["sha256"], Sha256Of(versions[held])) << i;
        hashes.insert(record["sha256"].get<std::string>());
    }
    EXPECT_EQ(hashes.size(), 1u);

    // The file "-" is read once from standard input, for every run.
    const int held = *hashes.begin() == Sha256Of(versions[0]) ? 0 : 1;
    ASSERT_TRUE(WriteBytes(folder.File("held.dat"), versions[held]));
    // (at the Port B line the receivers now hold)
    args = {"verify", "--quiet", "--pc-settings", held == 0 ? "9600,8,N,1" : "19200,8,N,1", "-"};
    args.insert(args.end(), devices.begin(), devices.end());
    CliRunOptions options = WithTimeout(std::chrono::seconds(180));
    options.stdinPath = folder.File("held.dat");
    const CliResult verified = RunCli(args, options);
    EXPECT_EQ(verified.exitStatus, 0) << verified.err << verified.out;
}

// A disk that fills up while the audit record is written: each line is whole or absent, the
// command says how many made it and fails, and the next run's lines follow whole.
TEST(CliFleet, AFullDiskNeverCutsAnAuditLine) {
    auto emulator = StartEmulator(true, 4);
    ASSERT_TRUE(emulator);
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("a.dat"), FactorySettingsFile()));
    const std::string audit = folder.File("audit.jsonl");
    std::vector<std::string> args = {"verify", "--quiet", "--json", "--audit", audit, folder.File("a.dat")};
    for (int i = 0; i < 4; ++i) args.push_back(emulator->DeviceName(i));
    ASSERT_EQ(RunCli(args).exitStatus, 0);
    const long long size = static_cast<long long>(ReadBytes(audit).size());

    CliRunOptions options;
    options.fileSizeLimit = size + size / 4 * 2 + size / 8;  // room for two lines and a half
    const CliResult full = RunCli(args, options);
    EXPECT_EQ(full.exitStatus, 1) << full.err;
    EXPECT_THAT(full.err, HasSubstr("the audit record is incomplete: 2 of 4 lines were written"));
    const nlohmann::json json = nlohmann::json::parse(full.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << full.out;
    EXPECT_EQ(json["success"], false);
    EXPECT_EQ(json["audit"]["recorded"], 2);
    EXPECT_TRUE(json["audit"]["error"].is_string());

    ASSERT_EQ(RunCli(args).exitStatus, 0);
    const std::vector<uint8_t> bytes = ReadBytes(audit);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n');
    const std::vector<std::string> records = Lines(audit);
    EXPECT_EQ(records.size(), 10u);
    for (const std::string& record : records)
        EXPECT_FALSE(nlohmann::json::parse(record, nullptr, false).is_discarded()) << record;
}
