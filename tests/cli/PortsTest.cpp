// vandel-cli ports on pseudo-terminals: usable, busy when another program holds the device
// exclusively, not permitted for a user without access, and the listing of a device folder.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "cli/CliEmulator.h"
#include "cli/CliRunner.h"
#include "support/Pty.h"
#include "support/WaitUntil.h"

using ::testing::HasSubstr;

namespace {
constexpr int kNobody = 65534;

// Another program on the line: a child that opens the slave as a terminal program does (no lock),
// holding nothing else. Killed and reaped by the destructor.
class Holder {
  public:
    explicit Holder(const std::string& path) {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (int fd = 3; fd < 1024; ++fd) ::close(fd);
            if (::open(path.c_str(), O_RDWR | O_NOCTTY) < 0) ::_exit(1);
            for (;;) ::pause();
        }
        WaitUntil([&] {
            for (int fd = 3; fd < 16; ++fd) {
                char target[256] = {};
                const std::string link = "/proc/" + std::to_string(pid_) + "/fd/" + std::to_string(fd);
                if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && path == target) return true;
            }
            return false;
        });
    }
    ~Holder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};
}  // namespace

TEST(CliPorts, AFreePtyIsUsable) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const CliResult result = RunCli({"ports", pty.SlavePath()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, pty.SlavePath() + ": usable\n");
}

TEST(CliPorts, APtyHeldByAnotherProgramIsBusyAndNamesIt) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CliResult result;
    pid_t holder = 0;
    {
        const Holder other(pty.SlavePath());
        holder = other.Pid();
        result = RunCli({"ports", pty.SlavePath()});
    }
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_THAT(result.out,
                HasSubstr(pty.SlavePath() + ": busy (held by PID " + std::to_string(holder) + " ("));
    // Let go, and it is usable again: the check itself holds nothing.
    EXPECT_EQ(RunCli({"ports", pty.SlavePath()}).out, pty.SlavePath() + ": usable\n");
}

// Joining the device's group is advised only where that group may read and write it.
TEST(CliPorts, ADeviceWithoutAccessSaysWhoOwnsItAndWhatToDo) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CliRunOptions options;
    options.runAsUid = kNobody;
    constexpr gid_t kDialout = 20;
    ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, kDialout), 0);
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0660), 0);
    CliResult result = RunCli({"ports", pty.SlavePath()}, options);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.out,
                HasSubstr(pty.SlavePath() + ": not permitted (" + pty.SlavePath() + " is owned by "));
    EXPECT_THAT(result.out, HasSubstr(", mode 0660; you are not in group "));
    EXPECT_THAT(result.out, HasSubstr("(join it: sudo usermod -aG "));

    // Never root's group, even where it may read and write.
    ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, 0), 0);
    result = RunCli({"ports", pty.SlavePath()}, options);
    EXPECT_THAT(result.out, HasSubstr("ask an administrator"));
    EXPECT_THAT(result.out, ::testing::Not(HasSubstr("usermod")));

    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
    result = RunCli({"ports", "--json", pty.SlavePath()}, options);
    EXPECT_THAT(result.out, HasSubstr("\"code\": \"permission-denied\""));
    EXPECT_THAT(result.out, HasSubstr("mode 0600"));
    EXPECT_THAT(result.out, HasSubstr("ask an administrator"));
    EXPECT_THAT(result.out, ::testing::Not(HasSubstr("usermod")));
}

TEST(CliPorts, ADeviceThatIsNoTtyIsSaidSo) {
    const CliResult result = RunCli({"ports", "/dev/null"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "/dev/null: not a serial device\n");
}

TEST(CliPorts, AFolderIsListedLinksFirstThenByKindAndNumber) {
    PtyPair usb0;
    PtyPair acm2;
    PtyPair acm10;
    PtyPair serial1;
    ASSERT_TRUE(usb0.IsOpen() && acm2.IsOpen() && acm10.IsOpen() && serial1.IsOpen());
    TempFolder dev;
    namespace fs = std::filesystem;
    fs::create_directories(dev.File("serial/by-id"));
    fs::create_symlink(usb0.SlavePath(), dev.File("ttyUSB0"));
    fs::create_symlink(acm10.SlavePath(), dev.File("ttyACM10"));
    fs::create_symlink(acm2.SlavePath(), dev.File("ttyACM2"));
    fs::create_symlink(serial1.SlavePath(), dev.File("ttyS1"));
    fs::create_symlink("../../ttyUSB0", dev.File("serial/by-id/usb-Maker_Cable_0001-if00-port0"));
    fs::create_symlink(acm2.SlavePath(), dev.File("ttyprintk"));  // not a serial port kind
    fs::create_symlink(acm2.SlavePath(), dev.File("ttyUSBx"));    // no number

    CliResult result;
    std::string holder;
    {
        const Holder other(acm10.SlavePath());
        holder = std::to_string(other.Pid());
        result = RunCli({"ports", "--dev", dev.Path()});
    }
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, dev.File("serial/by-id/usb-Maker_Cable_0001-if00-port0") + " -> " +
                              dev.File("ttyUSB0") + ": usable\n" + dev.File("ttyS1") + ": usable\n" +
                              dev.File("ttyUSB0") + ": usable [" +
                              dev.File("serial/by-id/usb-Maker_Cable_0001-if00-port0") + "]\n" +
                              dev.File("ttyACM2") + ": usable\n" + dev.File("ttyACM10") +
                              ": busy (held by PID " + holder + " (cli_ports_test))\n");
}

TEST(CliPorts, AnEmptyFolderSaysSo) {
    TempFolder dev;
    const CliResult result = RunCli({"ports", "--dev", dev.Path()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "No serial devices found in " + dev.Path() + ".\n");
}

TEST(CliPorts, TheMachinesOwnDevicesAreListedWhileAPtyIsOpen) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const CliResult result = RunCli({"ports"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_FALSE(result.out.empty());
    // Each line names a device under /dev and one of the states.
    size_t start = 0;
    while (start < result.out.size()) {
        const size_t end = result.out.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = result.out.substr(start, end - start);
        if (line.rfind("No serial devices found", 0) != 0) {
            EXPECT_EQ(line.rfind("/dev/", 0), 0u) << line;
            EXPECT_TRUE(line.find(": usable") != std::string::npos ||
                        line.find(": busy") != std::string::npos ||
                        line.find(": not permitted") != std::string::npos ||
                        line.find(": cannot be opened") != std::string::npos)
                << line;
        }
        start = end + 1;
    }
}

namespace {
// A lock file of the machine's lock folder for a pty of the test; removed at the end.
class LockFile {
  public:
    LockFile(const std::string& devicePath, const std::string& content, int ageSeconds) {
        std::string name = devicePath.substr(5);  // /dev/pts/3 → LCK..pts_3
        for (char& c : name)
            if (c == '/') c = '_';
        path_ = "/var/lock/LCK.." + name;
        std::ofstream(path_) << content;
        const timespec times[2] = {{::time(nullptr) - ageSeconds, 0}, {::time(nullptr) - ageSeconds, 0}};
        ::utimensat(AT_FDCWD, path_.c_str(), times, 0);
    }
    ~LockFile() { ::unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }
    bool Exists() const { return ::access(path_.c_str(), F_OK) == 0; }

  private:
    std::string path_;
};

pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}
}  // namespace

// A lock file is stale only when it names a process that is gone, or names none and is older than
// a few seconds: a young empty one belongs to a program between creating it and writing its PID.
// `ports` changes nothing: it never removes a lock file, stale or not; an open honours a young one.
TEST(CliPorts, LockFilesAreJudgedByTheirProcessOrTheirAgeAndLeftAlone) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const std::string gone = std::to_string(GonePid());
    const struct {
        const char* what;
        std::string content;
        int ageSeconds;
        std::string verdict;
    } rows[] = {
        {"a gone process", "      " + gone + "\n", 0, "usable"},
        {"a young empty file", "", 0, "busy (lock file %s being written by another program)"},
        {"a young file naming no process", "garbage", 1,
         "busy (lock file %s being written by another program)"},
        {"an old empty file", "", 60, "usable"},
    };
    for (const auto& row : rows) {
        const LockFile lock(pty.SlavePath(), row.content, row.ageSeconds);
        std::string verdict = row.verdict;
        if (const size_t at = verdict.find("%s"); at != std::string::npos)
            verdict.replace(at, 2, lock.Path());
        const CliResult result = RunCli({"ports", pty.SlavePath()});
        EXPECT_EQ(result.out, pty.SlavePath() + ": " + verdict + "\n") << row.what;
        EXPECT_TRUE(lock.Exists()) << row.what << ": ports removed the lock file";
        if (verdict == "usable") continue;
        const TempFolder folder;
        const CliResult load = RunCli({"load", pty.SlavePath(), "-o", folder.File("loaded.dat")});
        EXPECT_EQ(load.exitStatus, 1) << row.what << load.err;
        EXPECT_THAT(load.err, HasSubstr("being written by another program")) << row.what;
        EXPECT_TRUE(lock.Exists()) << row.what << ": the open removed a lock file in the making";
    }
}

namespace {
// A program that takes the line as the driver does (flock, then exclusive use) and waits; the
// test kills it or lets the destructor do so.
class ExclusiveHolder {
  public:
    explicit ExclusiveHolder(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            const char taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0;
            if (::write(ready[1], &taken, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char taken = 0;
        taken_ = ::read(ready[0], &taken, 1) == 1 && taken != 0;
        ::close(ready[0]);
    }
    ~ExclusiveHolder() { Kill(); }
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool Taken() const { return taken_; }
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    bool taken_ = false;
};

bool InExclusiveUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);  // root may open it anyway
    int exclusive = 0;
    const bool known = fd >= 0 && ::ioctl(fd, TIOCGEXCL, &exclusive) == 0;
    if (fd >= 0) ::close(fd);
    return known && exclusive != 0;
}
}  // namespace

// A user who may not look into another user's processes still learns that a line is taken: `ports`
// says busy with the reason the open gives, and both name the program. Killed, the program leaves
// the pty in exclusive use; the emulator at the other end ends it, and the line is usable again.
TEST(CliPorts, ALineTakenByAnotherUserIsBusyAndAKilledProgramsLineComesBack) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    EmulatorOptions options;
    options.usePty = true;
    options.count = 1;
    auto emulator = StartEmulatorWith(options);
    ASSERT_NE(emulator, nullptr);
    const std::string device = emulator->DeviceName(0);
    ASSERT_EQ(::chmod(device.c_str(), 0666), 0);
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
    CliRunOptions asNobody;
    asNobody.runAsUid = kNobody;

    ExclusiveHolder holder(device);
    ASSERT_TRUE(holder.Taken());
    const std::string reason = "locked by PID " + std::to_string(holder.Pid()) + " (cli_ports_test)";
    CliResult result = RunCli({"ports", device}, asNobody);
    EXPECT_EQ(result.out, device + ": busy (" + reason + ")\n");
    result = RunCli({"load", device, "-o", folder.File("loaded.dat")}, asNobody);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr(reason));

    holder.Kill();
    EXPECT_TRUE(WaitUntil([&] { return !InExclusiveUse(device); }))
        << "the exclusive use of a killed program was never ended";
    EXPECT_EQ(RunCli({"ports", device}, asNobody).out, device + ": usable\n");
    result = RunCli({"load", device, "-o", folder.File("loaded.dat")}, asNobody);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
}
