// Whole operations through the real driver against emulated receivers in trouble: a receiver that
// hangs up in the middle of a configure run, one that streams its automatic output at 38400 baud
// all through a run, a port held by another program, and twenty ports at once with random faults
// on some. Each port's result is what its own receiver did; the run never hangs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "operations/ConfigureReceivers.h"
#include "operations/LoadFromReceiver.h"
#include "support/Pty.h"
#include "support/RecordingOperator.h"
#include "tests/operations/EmulatorSupport.h"

namespace {

// Another program holding a tty: a child process that opens it, locks it as the driver does and
// asks for exclusive use, and keeps it until it is told to go.
class HoldingProgram {
  public:
    explicit HoldingProgram(const std::string& device) {
        int ready[2] = {-1, -1};
        if (::pipe(release_) != 0 || ::pipe(ready) != 0) return;
        child_ = ::fork();
        if (child_ == 0) {
            // Only async-signal-safe calls from here on. The child keeps no write end of the release
            // pipe, so that the parent closing its own lets the read below return.
            ::close(release_[1]);
            ::close(ready[0]);
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
            char held =
                (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0) ? 1 : 0;
            [[maybe_unused]] ssize_t n = ::write(ready[1], &held, 1);
            char go = 0;
            n = ::read(release_[0], &go, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        release_[0] = -1;
        char held = 0;
        holding_ = child_ > 0 && ::read(ready[0], &held, 1) == 1 && held == 1;
        ::close(ready[0]);
    }
    ~HoldingProgram() {
        if (release_[1] >= 0) ::close(release_[1]);
        if (release_[0] >= 0) ::close(release_[0]);
        if (child_ > 0) ::waitpid(child_, nullptr, 0);
    }
    HoldingProgram(const HoldingProgram&) = delete;
    HoldingProgram& operator=(const HoldingProgram&) = delete;
    bool Holding() const { return holding_; }

  private:
    int release_[2] = {-1, -1};
    pid_t child_ = -1;
    bool holding_ = false;
};

class OperationsRobustness : public EndToEndTest {
  protected:
    static void Select(const std::vector<int>& commPorts) {
        for (int n : commPorts) PortContexts[static_cast<size_t>(n - 1)].operationMode = kModeConfiguring;
    }
    // Runs a configure run with the summary taken while it is up.
    void Configure() {
        RecordingOperator op;
        op.ExpectSummary([&] { summary.Take(); });
        ConfigureReceivers(op);
        EXPECT_TRUE(op.ScriptDone());
        ASSERT_TRUE(summary.taken);
    }
    uint8_t Result(int commPort) const { return summary.results[static_cast<size_t>(commPort - 1)]; }
    static void ExpectAllClosed() {
        for (int n = 1; n <= 20; ++n)
            EXPECT_EQ(SerialReceiveCount(static_cast<uint8_t>(n)), -1) << "Comm " << n;
    }

    SummarySnapshot summary;
};

// Comm 2's receiver hangs up after 150 bytes: it answered the Link Check and then died in the middle
// of the verification reports. Comm 1 and Comm 3 are configured; Comm 2 ends with a group missing.
TEST_F(OperationsRobustness, ReceiverHangingUpInTheMiddleOfAConfigureRunFailsOnlyItsPort) {
    ASSERT_EQ(Start({}, {1, 3}), 0);
    EmulatorOptions hangup;
    hangup.hangupAfterBytes = 150;
    ASSERT_EQ(Start(hangup, {2}), 1);
    PcSerialSettings[4] = 0;  // 9600 8 none 1, as the receivers run
    ImageFromReceiver(Emu(0).Status(0).current);
    Select({1, 2, 3});
    Configure();
    EXPECT_TRUE(Emu(1).Status(0).hungUp);
    EXPECT_EQ(Result(1), kResultSuccess);
    EXPECT_EQ(Result(2), kResultGroupMissing);
    EXPECT_EQ(Result(3), kResultSuccess);
    for (int k = 0; k < 2; ++k) EXPECT_EQ(Emu(0).Status(k).saved, Emu(0).Status(k).current) << k;
    ExpectAllClosed();
}

// The same on a pseudo-terminal: the tty under the driver disappears in mid-run.
TEST_F(OperationsRobustness, PtyThatHangsUpInTheMiddleOfAConfigureRunFailsOnlyItsPort) {
    ASSERT_EQ(Start({}, {5}), 0);
    EmulatorOptions options;
    options.usePty = true;
    options.hangupAfterBytes = 150;
    Emulator pty(options);
    std::string error;
    ASSERT_TRUE(pty.Start(error)) << error;
    SerialSetDeviceName(6, pty.DeviceName(0));
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu(0).Status(0).current);
    Select({5, 6});
    Configure();
    EXPECT_TRUE(pty.Status(0).hungUp);
    EXPECT_EQ(Result(5), kResultSuccess);
    EXPECT_EQ(Result(6), kResultGroupMissing);
    ExpectAllClosed();
    pty.Stop();
}

// Receivers at 38400 baud sending their automatic output five times a second for the whole run:
// the reports they send unasked are ignored and every group still verifies.
TEST_F(OperationsRobustness, AutomaticOutputAt38400DuringAWholeConfigureRunStillVerifies) {
    EmulatorOptions streaming;
    streaming.portB.baudRate = 38400;
    streaming.autoOutput = true;
    streaming.autoOutputPeriodMs = 200;
    ASSERT_EQ(Start(streaming, {7, 8}), 0);
    PcSerialSettings[1] = 9;  // 38400
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    Select({7, 8});
    Configure();
    EXPECT_EQ(Result(7), kResultSuccess);
    EXPECT_EQ(Result(8), kResultSuccess);
    for (int k = 0; k < 2; ++k) {
        const ReceiverStatus status = Emu().Status(k);
        EXPECT_EQ(status.portB.baudRate, 38400);
        EXPECT_GT(status.packetsSent, 60u) << "the receiver streamed all through the run";
        EXPECT_EQ(status.saved, status.current);
    }
    ExpectAllClosed();
}

// A tty held by another program: a configure run gives its port Result 1 and goes on with the
// others; a load from it is Error 10 and leaves the image alone.
TEST_F(OperationsRobustness, PortHeldByAnotherProgramIsResult1AndError10) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    HoldingProgram holder(line.SlavePath());
    ASSERT_TRUE(holder.Holding());
    SerialSetDeviceName(4, line.SlavePath());
    ASSERT_EQ(Start({}, {9}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    Select({4, 9});
    Configure();
    EXPECT_EQ(Result(4), kResultOpenFailed);
    EXPECT_EQ(Result(9), kResultSuccess);
    ExpectAllClosed();

    const auto image = SettingsImage;
    RecordingOperator op;
    op.ExpectWarning("Error 10", "Could not initialize Comm port 4.");
    EXPECT_EQ(LoadFromReceiver(3, op), 0);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_EQ(SettingsImage, image);
    ExpectAllClosed();
}

// Twenty ports at once, some receivers in trouble (chosen at random from a fixed seed, or from
// VC_ROBUSTNESS_SEED): each port's result is the one its own receiver's trouble gives, and every
// healthy receiver ends up with exactly the image, saved.
TEST_F(OperationsRobustness, TwentyPortsWithRandomFaultsOnSomeHaveNoCrossTalk) {
    enum Fault { kNone, kSilent, kIgnore, kDiffer, kHangup, kAutoOutput, kNoSave, kFaultCount };
    const char* names[] = {"none", "silent", "ignore", "differ", "hang-up", "auto-output", "no-save"};
    const char* seedText = std::getenv("VC_ROBUSTNESS_SEED");
    const unsigned seed =
        seedText != nullptr ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20u;
    std::mt19937 random(seed);
    std::vector<int> fault(21, kNone);
    std::vector<uint8_t> expected(21, kResultSuccess);
    std::vector<int> emulatorOf(21, -1);
    std::vector<int> healthy;
    for (int n = 1; n <= 20; ++n) {
        fault[static_cast<size_t>(n)] = random() % 2 == 0 ? kNone : static_cast<int>(random() % kFaultCount);
        EmulatorOptions options;
        switch (fault[static_cast<size_t>(n)]) {
            case kSilent:
                options.silent = true;
                expected[static_cast<size_t>(n)] = kResultNoAnswer;
                break;
            case kIgnore:
                options.faults.ignore[1 + random() % kGroupCount] = true;
                expected[static_cast<size_t>(n)] = kResultGroupMissing;
                break;
            case kDiffer:
                options.faults.differ[1 + random() % kGroupCount] = true;
                expected[static_cast<size_t>(n)] = kResultGroupDiffers;
                break;
            case kHangup:
                options.hangupAfterBytes = 60 + static_cast<int64_t>(random() % 120);
                expected[static_cast<size_t>(n)] = kResultGroupMissing;
                break;
            case kAutoOutput:
                options.autoOutput = true;
                options.autoOutputPeriodMs = 250;
                break;
            case kNoSave:
                // The reset brings back the saved copy, which still has the old NMEA interval.
                options.faults.noSave = true;
                expected[static_cast<size_t>(n)] = kResultGroupDiffers;
                break;
            default:
                break;
        }
        emulatorOf[static_cast<size_t>(n)] = Start(options, {n});
        ASSERT_GE(emulatorOf[static_cast<size_t>(n)], 0);
        if (expected[static_cast<size_t>(n)] == kResultSuccess) healthy.push_back(n);
    }
    std::string plan;
    for (int n = 1; n <= 20; ++n)
        plan += " " + std::to_string(n) + ":" + names[fault[static_cast<size_t>(n)]];
    RecordProperty("plan", plan);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", faults" + plan);

    // The run changes something on every receiver: the NMEA output interval goes from 1 to 5 s.
    PcSerialSettings[4] = 0;
    ReceiverSettings reference = Emu(0).Status(0).current;
    ImageFromReceiver(reference);
    SettingsGroupBytes(kGroupNMEAOutput)[1] = 5;
    reference.Group(kGroupNMEAOutput)[1] = 5;
    for (int n = 1; n <= 20; ++n) Select({n});
    Configure();
    for (int n = 1; n <= 20; ++n) EXPECT_EQ(Result(n), expected[static_cast<size_t>(n)]) << "Comm " << n;

    // The healthy receivers hold the image, saved, and were sent the same packets, whatever their
    // neighbours did.
    const std::vector<std::string> referencePackets =
        Received(emulatorOf[static_cast<size_t>(healthy.front())]);
    for (int n : healthy) {
        const ReceiverStatus status = Emu(emulatorOf[static_cast<size_t>(n)]).Status(0);
        EXPECT_EQ(status.current, reference) << "Comm " << n;
        EXPECT_EQ(status.saved, reference) << "Comm " << n;
        EXPECT_EQ(Received(emulatorOf[static_cast<size_t>(n)]), referencePackets) << "Comm " << n;
    }
    ExpectAllClosed();
}

}  // namespace
