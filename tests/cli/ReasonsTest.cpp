// Why a port failed, through the command-line tool: every Error 101 line of a configure run is
// followed by the reason, and the JSON carries it as a stable code and the detail.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "support/Pty.h"
#include "support/WaitUntil.h"
#include "tests/network/ScriptedServer.h"

using ::testing::HasSubstr;

namespace {

constexpr int kNobody = 65534;

// A child process that sleeps until killed: a live process to name in a lock file or to hold a line.
class Child {
  public:
    explicit Child(const std::string& holdPath = {}) {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (int fd = 3; fd < 1024; ++fd) ::close(fd);
            if (!holdPath.empty() && ::open(holdPath.c_str(), O_RDWR | O_NOCTTY) < 0) ::_exit(1);
            for (;;) ::pause();
        }
        if (holdPath.empty()) return;
        WaitUntil([&] {
            for (int fd = 3; fd < 16; ++fd) {
                char target[256] = {};
                const std::string link = "/proc/" + std::to_string(pid_) + "/fd/" + std::to_string(fd);
                if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && holdPath == target)
                    return true;
            }
            return false;
        });
    }
    ~Child() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

struct Reason {
    std::string code;
    std::string detail;  // part of it
};

// Configures the one device twice (text, then JSON) and checks both forms of the reason its port
// failed with. `deviceForRun` gives the device of each run.
void ExpectReasonOf(const std::function<std::string()>& deviceForRun, const Reason& reason,
                    const CliRunOptions& options = {}) {
    TempFolder folder;
    ::chmod(folder.Path().c_str(), 0755);
    const std::string file = folder.File("settings.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    ::chmod(file.c_str(), 0644);

    std::string device = deviceForRun();
    const CliResult text = RunCli({"configure", file, device, "--yes"}, options);
    EXPECT_EQ(text.exitStatus, 1) << text.err;
    EXPECT_THAT(Unwrapped(text.out), HasSubstr("Comm 1 (" + device +
                                               "): Error 101:  Could not initialize comm port.\n  reason: "));
    EXPECT_THAT(Unwrapped(text.out), HasSubstr(reason.detail));

    device = deviceForRun();
    const CliResult json = RunCli({"configure", file, device, "--yes", "--json"}, options);
    EXPECT_EQ(json.exitStatus, 1) << json.err;
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << json.out;
    const auto& port = parsed["ports"][0];
    EXPECT_EQ(port["result"], "open-failed");
    EXPECT_EQ(port["portResult"], 1);
    EXPECT_EQ(port["reason"]["code"], reason.code) << json.out;
    EXPECT_THAT(port["reason"]["detail"].get<std::string>(), HasSubstr(reason.detail));
}

void ExpectReason(const std::string& device, const Reason& reason, const CliRunOptions& options = {}) {
    ExpectReasonOf([&] { return device; }, reason, options);
}

}  // namespace

TEST(CliReasons, AProgramHoldingTheLineIsNamed) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    const Child holder(line.SlavePath());
    ExpectReason(line.SlavePath(), {"busy", "held by PID " + std::to_string(holder.Pid())});
}

// In a fleet whose runs have processes of their own (two settings files: two runs), the parent looks
// at other programs once for every run: the held line is named, and the free one is configured.
TEST(CliReasons, AProgramHoldingALineOfAFleetIsNamed) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    const Child holder(line.SlavePath());
    auto emulator = StartEmulator(true, 1);
    ASSERT_TRUE(emulator);
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("a.dat"), FactorySettingsFile()));
    ASSERT_TRUE(WriteBytes(folder.File("b.dat"), FactorySettingsFile()));
    const std::string manifest = line.SlavePath() + " a.dat\n" + emulator->DeviceName(0) + " b.dat\n";
    ASSERT_TRUE(WriteBytes(folder.File("fleet.txt"), std::vector<uint8_t>(manifest.begin(), manifest.end())));
    const CliResult result = RunCli({"configure", "--manifest", folder.File("fleet.txt"), "--json"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    EXPECT_EQ(json["runs"], 2);
    EXPECT_EQ(json["ports"][0]["reason"]["code"], "busy") << json.dump();
    EXPECT_THAT(json["ports"][0]["reason"]["detail"].get<std::string>(),
                HasSubstr("held by PID " + std::to_string(holder.Pid())));
    EXPECT_EQ(json["ports"][1]["result"], "success") << json.dump();
}

TEST(CliReasons, ALockFileOfALiveProcessMakesTheLineBusy) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    const std::string lockPath =
        "/var/lock/LCK..pts_" + line.SlavePath().substr(line.SlavePath().rfind('/') + 1);
    const Child owner;
    FILE* lock = std::fopen(lockPath.c_str(), "w");
    if (lock == nullptr) GTEST_SKIP() << "cannot write lock files in /var/lock";
    std::fprintf(lock, "%10d\n", static_cast<int>(owner.Pid()));
    std::fclose(lock);
    ExpectReason(line.SlavePath(),
                 {"busy", "lock file " + lockPath + " of PID " + std::to_string(owner.Pid())});
    std::remove(lockPath.c_str());
}

TEST(CliReasons, ADeviceThisUserMayNotUseSaysWhoOwnsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    ASSERT_EQ(::chmod(line.SlavePath().c_str(), 0600), 0);
    CliRunOptions options;
    options.runAsUid = kNobody;
    ExpectReason(line.SlavePath(), {"permission-denied", " is owned by root, group "}, options);
}

TEST(CliReasons, AServerThatIsNotThereOrRefusesTheComPortOption) {
    ExpectReason("rfc2217://127.0.0.1:" + std::to_string(UnusedLoopbackPort()),
                 {"connection-refused", "127.0.0.1"});
    std::vector<std::unique_ptr<ScriptedServer>> servers;
    ExpectReasonOf(
        [&] {
            servers.push_back(std::make_unique<ScriptedServer>([](ScriptedConnection& c) {
                c.ExpectRaw({0xFF, 0xFB, 0x2C});
                c.Send({0xFF, 0xFE, 0x2C});
                c.WaitPeerClosed();
            }));
            return servers.back()->DeviceName();
        },
        {"com-port-refused", "127.0.0.1 port "});
}

// A device that is gone (an adapter unplugged, its link left behind) is listed as missing.
TEST(CliReasons, AMissingDeviceIsListedAsMissing) {
    TempFolder dev;
    std::filesystem::create_symlink("/dev/ttyUSB-unplugged", dev.File("ttyUSB7"));
    const CliResult text = RunCli({"ports", "--dev", dev.Path()});
    EXPECT_EQ(text.out, dev.File("ttyUSB7") + ": missing\n");
    const CliResult json = RunCli({"ports", "--dev", dev.Path(), "--json"});
    const nlohmann::json parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << json.out;
    EXPECT_EQ(parsed[0]["reason"]["code"], "no-such-device");
    EXPECT_EQ(parsed[0]["usable"], false);
}
