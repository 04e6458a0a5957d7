// Opening a tty without sharing it: other programs that hold the line (found through /proc, or
// through their UUCP lock files), what the line settings must carry back, and baud rate 0.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "serial/LocalDevice.h"
#include "serial/Serial.h"
#include "serial/posix/LineOwnership.h"
#include "serial/posix/PosixDevice.h"
#include "support/WaitUntil.h"
#include "tests/serial/SerialPtyFixture.h"

namespace {

// Another program on the line: a child process that opens the slave as a terminal program does
// (no lock, no exclusive mode) and waits to be killed. With keepMaster the child also keeps the
// pty's master, as a program that made the pty and plays its line does.
pid_t StartHolder(const PtyPair& line, bool keepMaster) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (!keepMaster) ::close(line.MasterFd());
        const int fd = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) ::_exit(1);
        for (;;) ::pause();
    }
    // Wait until the child has the slave open.
    WaitUntil([&] {
        const std::string fds = "/proc/" + std::to_string(child) + "/fd";
        for (int fd = 0; fd < 64; ++fd) {
            char target[256] = {};
            const std::string link = fds + "/" + std::to_string(fd);
            if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && line.SlavePath() == target)
                return true;
        }
        return false;
    });
    return child;
}

void StopProcess(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

// A child that waits to be killed. It is killed and reaped on every way out of the test: left
// running, it would keep the test's output open and hold the test's run until its time-out.
struct Sleeper {
    Sleeper() {
        if (pid == 0)
            for (;;) ::pause();
    }
    ~Sleeper() { Stop(); }
    void Stop() {
        if (pid > 0) StopProcess(pid);
        pid = -1;
    }
    pid_t pid = ::fork();
};

class LockFolder {
  public:
    LockFolder() {
        char pattern[] = "/tmp/serial-locks-XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "";
        SetUucpLockFolder(path_);
    }
    ~LockFolder() {
        SetUucpLockFolder("/var/lock");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The state letter of /proc/PID/stat ('R', 'S', 'Z', ...), 0 when it cannot be read.
char ProcessState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t end = text.rfind(')');
    return end != std::string::npos && end + 2 < text.size() ? text[end + 2] : 0;
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace

// A program that opened the tty without locking it would split the received bytes with us: it is
// found through /proc and the open fails, naming it. The program at the pty's other end is no holder.
TEST_F(SerialPtyTest, AProgramThatHoldsTheLineWithoutLockingMakesItBusy) {
    LockFolder locks;
    const pid_t holder = StartHolder(line, false);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    const SerialFailure failure = SerialLastFailure(1);
    EXPECT_EQ(failure.code, SerialFailureCode::kBusy);
    EXPECT_EQ(failure.holderPid, holder);
    EXPECT_NE(DescribeSerialFailure(failure).find("busy: held by PID " + std::to_string(holder)),
              std::string::npos)
        << DescribeSerialFailure(failure);
    StopProcess(holder);

    const pid_t otherEnd = StartHolder(line, true);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1)
        << DescribeSerialFailure(SerialLastFailure(1));
    EXPECT_EQ(SerialLastFailure(1).code, SerialFailureCode::kNone);
    StopProcess(otherEnd);
}

// One look handed on by the program that started this one: it leaves out a line another program
// holds, and stands in for this program's own look at a line once, within its life.
TEST_F(SerialPtyTest, AHandedLookStandsInForALookOnceWhileItIsFresh) {
    LockFolder locks;
    struct stat info {};
    ASSERT_EQ(::stat(line.SlavePath().c_str(), &info), 0);
    const uint64_t device = info.st_rdev;
    const HandedLook free =
        TakeLookFor({line.SlavePath(), "/dev/null", "/nonexistent", "rfc2217://host:2217"});
    EXPECT_EQ(free.unheld, std::vector<uint64_t>{device});
    EXPECT_EQ(LookPartFor(free, {"/dev/null", line.SlavePath()}).unheld, std::vector<uint64_t>{device});
    EXPECT_TRUE(LookPartFor(free, {"/dev/null"}).unheld.empty());
    EXPECT_EQ(TakeLookFor({"rfc2217://host:2217"}).takenAt, 0) << "no tty: no look";

    const pid_t holder = StartHolder(line, false);
    EXPECT_TRUE(TakeLookFor({line.SlavePath()}).unheld.empty());
    // The look taken before the holder came is trusted by the first open...
    AcceptHandedLook(free);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialClose(1), 1);
    // ...and by no other.
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialLastFailure(1).holderPid, holder);
    // Past its life it is not trusted at all.
    HandedLook old = free;
    old.takenAt -= (int64_t{kHandedLookLifeMs} + 1000) * 1000000;
    AcceptHandedLook(old);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialLastFailure(1).code, SerialFailureCode::kBusy);
    StopProcess(holder);
}

// UUCP lock files: a live process's lock means busy; a stale one is removed; ours exists while the
// port is open and is gone after the close.
TEST_F(SerialPtyTest, LockFilesAreHonouredAndKeptWhileOpen) {
    LockFolder locks;
    const std::string lockPath = UucpLockPath(line.SlavePath());
    EXPECT_EQ(lockPath.rfind(locks.Path() + "/LCK..pts_", 0), 0u) << lockPath;

    Sleeper child;
    const pid_t sleeper = child.pid;
    const auto writeLock = [&](int pid) {
        FILE* file = std::fopen(lockPath.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "%10d\n", pid);
        std::fclose(file);
    };
    writeLock(sleeper);
    EXPECT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialLastFailure(1).code, SerialFailureCode::kBusy);
    EXPECT_EQ(SerialLastFailure(1).holderPid, sleeper);
    // Written a minute before the sleeper started, the file is a gone writer's whose PID the
    // machine gave out again: it is stale.
    const timespec minuteAgo[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, lockPath.c_str(), minuteAgo, 0), 0);
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1)
        << DescribeSerialFailure(SerialLastFailure(1));
    EXPECT_EQ(UucpLockHolder(lockPath), ::getpid());
    ASSERT_EQ(SerialClose(1), 1);

    writeLock(sleeper);
    // Killed but not yet reaped, the holder is a zombie that still answers kill(pid, 0): its lock
    // file is stale all the same, as its pty number may already belong to another program.
    ::kill(sleeper, SIGKILL);
    ASSERT_TRUE(WaitUntil([&] { return ProcessState(sleeper) == 'Z'; }));

    const bool opened = SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1) == 1;
    child.Stop();
    ASSERT_TRUE(opened) << DescribeSerialFailure(SerialLastFailure(1));
    EXPECT_EQ(UucpLockHolder(lockPath), ::getpid());  // ours now
    ASSERT_EQ(SerialClose(1), 1);
    EXPECT_FALSE(Exists(lockPath));
}

// The line's other end (as the emulator does) ends an exclusive use left behind, and only then: not
// while the program that took the line (flock, then exclusive use) holds it, also when it looks again
// at that program's descriptor alone; once the program is killed, the next look ends it. The flock
// is read back from /proc/locks with its holder.
TEST_F(SerialPtyTest, AnExclusiveUseIsEndedOnlyOnceItsProgramIsGone) {
    const int slave = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        const char taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0;
        if (::write(ready[1], &taken, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char taken = 0;
    const bool answered = ::read(ready[0], &taken, 1) == 1;
    ::close(ready[0]);
    struct stat node {};
    ASSERT_EQ(::fstat(slave, &node), 0);
    TtyLine taking;
    taking.nodeFileSystem = node.st_dev;
    taking.nodeInode = node.st_ino;
    LineHolderSeen seen;
    int exclusive = 0;
    if (answered && taken) {
        EXPECT_EQ(FlockedBy(taking).holderPid, holder);
        EXPECT_FALSE(EndExclusiveUseLeftBehind(slave, seen));
        EXPECT_EQ(seen.pid, holder);
        EXPECT_GE(seen.fd, 0);
        EXPECT_FALSE(EndExclusiveUseLeftBehind(slave, seen)) << "ended while its program holds it";
        StopProcess(holder);
        EXPECT_TRUE(EndExclusiveUseLeftBehind(slave, seen));
        EXPECT_EQ(::ioctl(slave, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        EXPECT_EQ(FlockedBy(taking).code, SerialFailureCode::kNone);
    } else {
        StopProcess(holder);
        ADD_FAILURE() << "the holder could not take the line";
    }
    ::close(slave);
}

// Baud rate 0 leaves the speed to the device: the line keeps the rate it had instead of being
// asked to hang up.
TEST_F(SerialPtyTest, BaudRateZeroKeepsTheLinesSpeed) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 4800, 0, 8, 2), 1);
    ASSERT_EQ(SerialClose(1), 1);
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 0, 0, 8, 1), 1);
    ExpectLine(1, 4800, 0);
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 19200, 0, 8, 1), 1);
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 0, 0, 8, 2), 1);
    ExpectLine(1, 19200, 2);
}

// What a tty must carry back after tcsetattr; a pty carries only its speed and stop bits.
TEST(LineSettingsReadBack, ComparesWhatTheLineCarries) {
    termios asked{};
    ::cfsetospeed(&asked, B9600);
    ::cfsetispeed(&asked, B9600);
    asked.c_cflag |= CS7 | PARENB | PARODD | CSTOPB;
    const auto with = [&](auto change) {
        termios got = asked;
        change(got);
        return got;
    };
    const struct {
        const char* what;
        termios got;
        bool onSerialLine;
        bool onPty;
    } rows[] = {
        {"all taken", asked, true, true},
        {"other speed", with([](termios& t) { ::cfsetospeed(&t, B4800); }), false, false},
        {"other stop bits", with([](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB); }), false,
         false},
        {"8 data bits",
         with([](termios& t) { t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8; }), false,
         true},
        {"no parity", with([](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD); }), false,
         true},
        {"even parity", with([](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(PARODD); }), false, true},
        {"other flags", with([](termios& t) { t.c_cflag ^= CRTSCTS | HUPCL; }), true, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(LineSettingsTaken(asked, row.got, false), row.onSerialLine) << row.what;
        EXPECT_EQ(LineSettingsTaken(asked, row.got, true), row.onPty) << row.what;
    }
}
