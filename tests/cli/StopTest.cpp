// vandel-cli stopped by a signal, as an operator or a job's time limit stops it: every receiver is
// reported and recorded, the ports are let go, and no run goes on alone.
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

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "emulator/Emulator.h"

using ::testing::HasSubstr;

namespace {

using Clock = std::chrono::steady_clock;

std::string ProcFile(pid_t pid, const char* name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A process that is there and not a zombie.
bool Alive(pid_t pid) {
    const std::string stat = ProcFile(pid, "stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// The fleet's runs: processes of this program started by `parent`.
std::vector<pid_t> RunsOf(pid_t parent) {
    std::vector<pid_t> runs;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return runs;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0 || ProcFile(pid, "cmdline").find("--fleet-run") == std::string::npos) continue;
        const std::string status = ProcFile(pid, "status");
        const size_t at = status.find("PPid:\t");
        if (at != std::string::npos && std::atoi(status.c_str() + at + 6) == parent) runs.push_back(pid);
    }
    ::closedir(proc);
    return runs;
}

// Waits (at most 30 s) until the condition holds; false if it never did.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const Clock::time_point end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string LockFileOf(const std::string& device) {
    std::string name = device.substr(5);  // /dev/pts/3 → pts_3
    for (char& c : name)
        if (c == '/') c = '_';
    return "/var/lock/LCK.." + name;
}

struct Fleet {
    std::vector<std::unique_ptr<Emulator>> emulators;
    std::vector<std::string> devices;
    Emulator& first() { return *emulators.front(); }
};

Fleet StartFleet(int racks, int perRack) {
    Fleet fleet;
    for (int r = 0; r < racks; ++r) {
        fleet.emulators.push_back(StartEmulator(true, perRack));
        if (!fleet.emulators.back()) return fleet;
        for (int i = 0; i < perRack; ++i) fleet.devices.push_back(fleet.emulators.back()->DeviceName(i));
    }
    return fleet;
}

// Every port of the fleet opens again at once: a verify finds every receiver's port usable.
void ExpectEveryPortOpens(const Fleet& fleet, const std::string& file) {
    std::vector<std::string> args = {"verify", "--quiet", "--json", file};
    args.insert(args.end(), fleet.devices.begin(), fleet.devices.end());
    const CliResult again = RunCli(args, WithTimeout(std::chrono::seconds(180)));
    const nlohmann::json json = nlohmann::json::parse(again.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << again.err;
    ASSERT_EQ(json["ports"].size(), fleet.devices.size());
    for (const nlohmann::json& port : json["ports"]) EXPECT_NE(port["portResult"], 1) << port.dump();
    for (const std::string& device : fleet.devices) EXPECT_FALSE(FileExists(LockFileOf(device))) << device;
}

// The summary and the audit record of a run stopped by a signal: every receiver, each either with
// its Port Result or interrupted at a step; some interrupted.
void ExpectEveryReceiverAccountedFor(const nlohmann::json& json, const std::vector<std::string>& audit,
                                     const Fleet& fleet) {
    EXPECT_EQ(json["interrupted"], true);
    EXPECT_EQ(json["success"], false);
    ASSERT_EQ(json["ports"].size(), fleet.devices.size());
    const std::set<std::string> steps = {"opening", "link-check", "writing", "saving", "verifying"};
    int interrupted = 0;
    for (size_t i = 0; i < fleet.devices.size(); ++i) {
        const nlohmann::json& port = json["ports"][i];
        EXPECT_EQ(port["device"], fleet.devices[i]);
        if (port["result"] == "interrupted") {
            ++interrupted;
            EXPECT_EQ(port["interrupted"], true);
            EXPECT_EQ(steps.count(port["step"].get<std::string>()), 1u) << port.dump();
        } else {
            EXPECT_TRUE(port["portResult"].is_number()) << port.dump();
        }
    }
    EXPECT_GT(interrupted, 0);
    ASSERT_EQ(audit.size(), fleet.devices.size());
    for (size_t i = 0; i < audit.size(); ++i) {
        const nlohmann::json record = nlohmann::json::parse(audit[i], nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << audit[i];
        EXPECT_EQ(record["device"], fleet.devices[i]);
        EXPECT_EQ(record["result"], json["ports"][i]["result"]);
        if (record["result"] == "interrupted") {
            EXPECT_EQ(record["step"], json["ports"][i]["step"]);
        }
        EXPECT_GE(record["seconds"].get<double>(), 0.0);
    }
}

}  // namespace

// Ctrl-C in a configure of sixty receivers (three runs in processes of their own) once the first
// receiver has been written to: each run stops, every receiver is listed and recorded, the program
// exits 130, no run is left, and every port opens again at once.
TEST(CliStop, SigintStopsEveryRunOfAFleetAndKeepsItsRecord) {
    Fleet fleet = StartFleet(3, 20);
    ASSERT_EQ(fleet.devices.size(), 60u);
    TempFolder folder;
    const std::string file = folder.File("a.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    const std::string audit = folder.File("audit.jsonl");
    std::vector<std::string> args = {"configure", "--quiet", "--json", "--audit", audit, file};
    args.insert(args.end(), fleet.devices.begin(), fleet.devices.end());

    std::thread signaller;
    pid_t program = -1;
    CliRunOptions options = WithTimeout(std::chrono::seconds(180));
    options.started = [&](pid_t pid) {
        program = pid;
        signaller = std::thread([&fleet, pid] {
            // Link Check answered and the first set commands arrived.
            WaitUntil([&] { return fleet.first().Status(0).packetsReceived >= 3; });
            ::kill(pid, SIGINT);
        });
    };
    const Clock::time_point start = Clock::now();
    const CliResult result = RunCli(args, options);
    signaller.join();
    EXPECT_EQ(result.exitStatus, 130) << result.err;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_THAT(result.err, HasSubstr("interrupted by Interrupt"));
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    EXPECT_EQ(json["signal"], "SIGINT");
    EXPECT_EQ(json["runs"], 3);
    ExpectEveryReceiverAccountedFor(json, Lines(audit), fleet);
    EXPECT_TRUE(RunsOf(program).empty());
    ExpectEveryPortOpens(fleet, file);
}

// SIGTERM to a single run while it writes: the summary names each receiver's step; SIGHUP to a
// load leaves no file and no temporary file; a second SIGINT ends a run at once, ports closed.
TEST(CliStop, SigtermSighupAndASecondSignalInOneRun) {
    Fleet fleet = StartFleet(1, 3);
    ASSERT_EQ(fleet.devices.size(), 3u);
    TempFolder folder;
    const std::string file = folder.File("a.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    const std::string audit = folder.File("audit.jsonl");
    auto signalWhen = [&](uint64_t packets, std::vector<int> signals, std::thread& thread) {
        return [&fleet, &thread, packets, signals](pid_t pid) {
            const uint64_t before = fleet.first().Status(0).packetsReceived;
            thread = std::thread([&fleet, pid, before, packets, signals] {
                WaitUntil([&] { return fleet.first().Status(0).packetsReceived >= before + packets; });
                for (int signal : signals) {
                    ::kill(pid, signal);
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            });
        };
    };

    std::vector<std::string> args = {"configure", "--quiet", "--audit", audit, file};
    args.insert(args.end(), fleet.devices.begin(), fleet.devices.end());
    std::thread signaller;
    CliRunOptions options;
    options.started = signalWhen(3, {SIGTERM}, signaller);
    const CliResult result = RunCli(args, options);
    signaller.join();
    EXPECT_EQ(result.exitStatus, 143) << result.err;
    for (int i = 0; i < 3; ++i)
        EXPECT_THAT(Unwrapped(result.out),
                    HasSubstr("Comm " + std::to_string(i + 1) + " (" + fleet.devices[i] + "): "));
    EXPECT_THAT(Unwrapped(result.out), HasSubstr("): interrupted after set commands were sent"));
    EXPECT_EQ(Lines(audit).size(), 3u);
    ExpectEveryPortOpens(fleet, file);

    const std::string saved = folder.File("loaded.dat");
    options.started = signalWhen(1, {SIGHUP}, signaller);
    const CliResult load = RunCli({"load", "--quiet", fleet.devices[0], "-o", saved}, options);
    signaller.join();
    EXPECT_EQ(load.exitStatus, 129) << load.err;
    EXPECT_THAT(load.err, HasSubstr("was not written"));
    size_t entries = 0;
    for (DIR* dir = ::opendir(folder.Path().c_str()); dir != nullptr;) {
        dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            ::closedir(dir);
            break;
        }
        entries += std::string(entry->d_name).rfind("loaded.dat", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(entries, 0u);  // neither the file nor a temporary one

    args = {"verify", "--quiet", "--json", file};
    args.insert(args.end(), fleet.devices.begin(), fleet.devices.end());
    options.started = signalWhen(1, {SIGINT, SIGINT}, signaller);
    const Clock::time_point start = Clock::now();
    const CliResult twice = RunCli(args, options);
    signaller.join();
    EXPECT_EQ(twice.exitStatus, 130) << twice.err;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    ExpectEveryPortOpens(fleet, file);
}

// The fleet's parent killed outright: its runs notice, close their ports and end within two
// seconds; nothing is sent to a receiver after that, and every port opens again.
TEST(CliStop, RunsEndWhenTheirParentIsKilled) {
    Fleet fleet = StartFleet(2, 13);  // two runs: 20 and 6
    ASSERT_EQ(fleet.devices.size(), 26u);
    TempFolder folder;
    const std::string file = folder.File("a.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    std::vector<std::string> args = {"configure", "--quiet", file};
    args.insert(args.end(), fleet.devices.begin(), fleet.devices.end());

    std::thread killer;
    std::vector<pid_t> runs;
    Clock::time_point killed;
    CliRunOptions options;
    options.started = [&](pid_t pid) {
        killer = std::thread([&, pid] {
            WaitUntil(
                [&] { return RunsOf(pid).size() == 2 && fleet.first().Status(0).packetsReceived >= 2; });
            runs = RunsOf(pid);
            killed = Clock::now();
            ::kill(pid, SIGKILL);
        });
    };
    RunCli(args, options);
    killer.join();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(WaitUntil([&] { return !Alive(runs[0]) && !Alive(runs[1]); }, std::chrono::seconds(5)));
    EXPECT_LT(Clock::now() - killed, std::chrono::seconds(2));
    std::vector<uint64_t> packets;
    for (const auto& emulator : fleet.emulators)
        for (int i = 0; i < emulator->Count(); ++i) packets.push_back(emulator->Status(i).packetsReceived);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    size_t k = 0;
    for (const auto& emulator : fleet.emulators)
        for (int i = 0; i < emulator->Count(); ++i)
            EXPECT_EQ(emulator->Status(i).packetsReceived, packets[k++]);
    ExpectEveryPortOpens(fleet, file);
}
