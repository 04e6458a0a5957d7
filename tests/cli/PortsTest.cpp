// vandel-cli ports on pseudo-terminals: usable, busy when another program holds the device
// exclusively, not permitted for a user without access, and the listing of a device folder.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "cli/CliRunner.h"
#include "support/Pty.h"

using ::testing::HasSubstr;

namespace {
constexpr int kNobody = 65534;
}

TEST(CliPorts, AFreePtyIsUsable) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const CliResult result = RunCli({"ports", pty.SlavePath()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, pty.SlavePath() + ": usable\n");
}

TEST(CliPorts, APtyHeldExclusivelyIsBusy) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const int held = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const CliResult result = RunCli({"ports", pty.SlavePath()});
    ::close(held);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, pty.SlavePath() + ": busy (held by another program)\n");
    // Let go, and it is usable again: the check itself holds nothing.
    EXPECT_EQ(RunCli({"ports", pty.SlavePath()}).out, pty.SlavePath() + ": usable\n");
}

TEST(CliPorts, ADeviceWithoutAccessIsNotPermittedWithTheGroupToJoin) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0660), 0);
    CliRunOptions options;
    options.runAsUid = kNobody;
    const CliResult result = RunCli({"ports", pty.SlavePath()}, options);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr(pty.SlavePath() + ": not permitted (join the "));
    EXPECT_THAT(result.out, HasSubstr(" group: sudo usermod -aG "));
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

    const int held = ::open(acm10.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const CliResult result = RunCli({"ports", "--dev", dev.Path()});
    ::close(held);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, dev.File("serial/by-id/usb-Maker_Cable_0001-if00-port0") + " -> " +
                              dev.File("ttyUSB0") + ": usable\n" + dev.File("ttyS1") + ": usable\n" +
                              dev.File("ttyUSB0") + ": usable\n" + dev.File("ttyACM2") + ": usable\n" +
                              dev.File("ttyACM10") + ": busy (held by another program)\n");
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
