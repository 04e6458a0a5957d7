// Configure receivers, end to end: the real run through the real driver against emulated
// receivers on RFC 2217 loopback ports, with a recording Operator that takes the summary.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "operations/ConfigureReceivers.h"
#include "operations/OperationWait.h"
#include "operations/SummaryTables.h"
#include "serial/Serial.h"
#include "support/RecordingOperator.h"
#include "support/WaitUntil.h"
#include "tests/operations/EmulatorSupport.h"

namespace {

using Kind = RecordingOperator::Kind;

class ConfigureReceiversTest : public EndToEndTest {
  protected:
    static void Select(const std::vector<int>& commPorts) {
        for (int n : commPorts) PortContexts[static_cast<size_t>(n - 1)].operationMode = kModeConfiguring;
    }
    // Receiver mode, dynamics code and survey enable in the Settings Image.
    static void SetSurveyRule(uint8_t receiverMode, uint8_t dynamicsCode, uint8_t surveyEnable) {
        SettingsGroupBytes(kGroupGPSConfiguration)[1] = receiverMode;
        SettingsGroupBytes(kGroupGPSConfiguration)[3] = dynamicsCode;
        SettingsGroupBytes(kGroupSelfSurveyConfiguration)[1] = surveyEnable;
    }
    // Waits (hang guard) until the receiver logged a packet starting with `prefix` at least `count` times.
    std::vector<std::string> AwaitPackets(int emulatorNo, const std::string& prefix, int count) const {
        std::vector<std::string> packets;
        WaitUntil(
            [&] {
                packets = Received(emulatorNo);
                return CountPackets(packets, prefix) >= count;
            },
            kWaitGuard, std::chrono::milliseconds(20));
        return packets;
    }
    static void ExpectAtRest() {
        for (const auto& context : PortContexts) {
            EXPECT_EQ(context.operationMode, kModeIdle);
            EXPECT_EQ(context.linkState, kLinkIdle);
            EXPECT_EQ(context.portResult, kResultNotInRun);
            for (uint8_t status : context.groupStatus) EXPECT_EQ(status, kGroupNothingPending);
        }
        for (int n = 1; n <= 20; ++n)
            EXPECT_EQ(SerialReceiveCount(static_cast<uint8_t>(n)), -1) << "Comm " << n;
    }

    SummarySnapshot summary;
};

// The PC Serial Settings (9600 8 odd 1) do not match a receiver at 9600 8 none 1: the first Link
// Check series goes unanswered, the break and the fallback settings recover, the run succeeds.
TEST_F(ConfigureReceiversTest, DefaultPcSettingsRecoverThroughBreakAndFallback) {
    ASSERT_EQ(Start({}, {1}), 0);
    ImageFromReceiver(Emu().Status(0).current);
    Select({1});
    RecordingOperator op;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    ASSERT_TRUE(summary.taken);
    EXPECT_EQ(summary.results[0], kResultSuccess);
    EXPECT_STREQ(PortResultText(summary.results[0]), "Configuration was successful.");
    EXPECT_EQ(Emu().Status(0).breaks, 1u);
    EXPECT_EQ(Emu().Status(0).resets, 1u);

    // 200, eight unanswered passes, 200, the answered pass and the empty one, the fixed waits of
    // the writing, then the verification passes.
    std::vector<int> expected = {200};
    expected.insert(expected.end(), 8, 500);
    expected.insert(expected.end(), {200, 500, 500, 500, 500, 500, 2000, 1000});
    const auto& waits = OperationWaits();
    ASSERT_GT(waits.size(), expected.size());
    EXPECT_EQ(std::vector<int>(waits.begin(), waits.begin() + static_cast<long>(expected.size())), expected);
    ExpectAtRest();
}

// Comm 3 has a receiver, Comm 8 a silent one. With the PC Serial Settings at 9600 8 none 1 the
// first answers at once; the silent one gets both series, one break between them, and Result 2.
TEST_F(ConfigureReceiversTest, TwoPortsOneSilentGivesResults5And2) {
    ASSERT_EQ(Start({}, {3}), 0);
    EmulatorOptions silent;
    silent.silent = true;
    ASSERT_EQ(Start(silent, {8}), 1);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu(0).Status(0).current);
    Select({3, 8});
    RecordingOperator op;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    ASSERT_TRUE(summary.taken);
    for (int i = 0; i < 20; ++i) {
        const uint8_t expected = i == 2 ? kResultSuccess : i == 7 ? kResultNoAnswer : kResultNotInRun;
        EXPECT_EQ(summary.results[static_cast<size_t>(i)], expected) << "Comm " << i + 1;
    }
    EXPECT_EQ(Emu(0).Status(0).breaks, 0u);
    EXPECT_EQ(Emu(1).Status(0).breaks, 1u);
    const auto silentPackets = Received(1);
    EXPECT_EQ(CountPackets(silentPackets, "1F"), 16);
    EXPECT_EQ(silentPackets.size(), 16u);  // dropped from the run: nothing but Link Checks
    EXPECT_EQ(CountPackets(Received(0), "1F"), 1);
    ExpectAtRest();
}

TEST_F(ConfigureReceiversTest, Comm20AloneIsConfigured) {
    ASSERT_EQ(Start({}, {20}), 0);
    ImageFromReceiver(Emu().Status(0).current);
    Select({20});
    RecordingOperator op;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    EXPECT_EQ(summary.results[19], kResultSuccess);
    // The first series went out at 9600 8 odd 1 and was lost on the line; the second was answered.
    EXPECT_GT(Emu().Status(0).bytesLost, 0u);
    EXPECT_EQ(Emu().Status(0).breaks, 1u);
    std::vector<int> firstSeries = {200};
    firstSeries.insert(firstSeries.end(), 8, 500);
    firstSeries.push_back(200);
    ASSERT_GT(OperationWaits().size(), firstSeries.size());
    EXPECT_EQ(std::vector<int>(OperationWaits().begin(), OperationWaits().begin() + 10), firstSeries);
}

// The set order: Self Survey first, 8E-A6, then the groups back to back with Port B last, then
// Save Settings and 1E 4B; then requests for verification.
TEST_F(ConfigureReceiversTest, CommandsGoOutInTheirOrder) {
    ASSERT_EQ(Start({}, {2}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    SetSurveyRule(7, 4, 0);  // survey off: no Command 0x32, no 8E-45
    Select({2});
    RecordingOperator op;  // no question with the survey off
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    EXPECT_EQ(summary.results[1], kResultSuccess);
    const auto packets = AwaitPackets(0, "8E A9", 2);
    const std::vector<std::string> order = {"1F",     "8E A9 00", "8E A6 00", "2A ",    "35 ",    "7A 00 ",
                                            "BB 00 ", "BC 00 ",   "8E 15 ",   "8E 4A ", "8E 4D ", "8E 4E ",
                                            "8E 4F ", "8E A5 ",   "BC 01 ",   "8E 26",  "1E 4B"};
    int at = 0;
    for (const auto& prefix : order) {
        const int found = FindPacket(packets, prefix, at);
        ASSERT_EQ(found, at) << prefix << " expected at position " << at;
        ++at;
    }
    EXPECT_EQ(CountPackets(packets, "32"), 0);
    EXPECT_EQ(CountPackets(packets, "8E 45"), 0);
    EXPECT_EQ(CountPackets(packets, "8E A6"), 1);
    // Set Port Configuration for Port B from the image: g1 in both baud places, 00 for g6 and g9.
    const uint8_t* b = SettingsGroupBytes(kGroupPortBConfiguration);
    char expectedB[64];
    std::snprintf(expectedB, sizeof expectedB, "BC 01 %02X %02X %02X %02X %02X 00 %02X %02X 00", b[1], b[1],
                  b[3], b[4], b[5], b[7], b[8]);
    EXPECT_EQ(packets[14], expectedB);
}

// Survey on, "Time only (1 SV)", "Land": the first question; OK goes on with Command 0x32 after
// 8E-A6, and 8E-45 then 8E-A6 after the verification.
TEST_F(ConfigureReceiversTest, TimingModeWithoutStationaryAsksAndOkSendsTheSurveyCommands) {
    ASSERT_EQ(Start({}, {4}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    SetSurveyRule(1, 1, 1);
    Select({4});
    RecordingOperator op;
    op.ExpectQuestion("Invalid Configuration", true, std::string(kTimingModeNeedsStationaryText));
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_EQ(summary.results[3], kResultSuccess);
    const auto packets = AwaitPackets(0, "8E A6", 2);
    const int a6 = FindPacket(packets, "8E A6 00");
    ASSERT_GE(a6, 0);
    EXPECT_EQ(packets[static_cast<size_t>(a6 + 1)], "32 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(packets[static_cast<size_t>(a6 + 2)].rfind("2A ", 0), 0u);
    ASSERT_GE(packets.size(), 2u);
    EXPECT_EQ(packets[packets.size() - 2], "8E 45 06");
    EXPECT_EQ(packets[packets.size() - 1], "8E A6 00");
    EXPECT_EQ(CountPackets(packets, "32"), 1);
}

TEST_F(ConfigureReceiversTest, TimingModeQuestionCancelTouchesNoPort) {
    ASSERT_EQ(Start({}, {4}), 0);
    ImageFromReceiver(Emu().Status(0).current);
    SetSurveyRule(7, 0, 1);
    Select({4});
    RecordingOperator op;
    op.ExpectQuestion("Invalid Configuration", false, std::string(kTimingModeNeedsStationaryText));
    ConfigureReceivers(op);  // the recorder fails the test if a summary follows
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_TRUE(OperationWaits().empty());
    EXPECT_EQ(Emu().Status(0).connections, 0u);
    ExpectAtRest();
}

// Survey on, "2D clock hold", "Stationary": the second question (a position mode there), yet
// 8E-45 and 8E-A6 after the verification (mode 6 counts there), and no Command 0x32.
TEST_F(ConfigureReceiversTest, ClockHoldWithStationaryAsksTheSecondQuestion) {
    ASSERT_EQ(Start({}, {6}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    SetSurveyRule(6, 4, 1);
    Select({6});
    RecordingOperator op;
    op.ExpectQuestion("Invalid Configuration", true, std::string(kPositionModeForbidsStationaryText));
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    EXPECT_TRUE(op.ScriptDone());
    const auto packets = AwaitPackets(0, "8E A6", 2);
    EXPECT_EQ(CountPackets(packets, "32"), 0);
    ASSERT_GE(packets.size(), 2u);
    EXPECT_EQ(packets[packets.size() - 2], "8E 45 06");
    EXPECT_EQ(packets[packets.size() - 1], "8E A6 00");
}

TEST_F(ConfigureReceiversTest, PositionModeQuestionCancelTouchesNoPort) {
    ASSERT_EQ(Start({}, {6}), 0);
    ImageFromReceiver(Emu().Status(0).current);
    SetSurveyRule(4, 4, 1);
    Select({6});
    RecordingOperator op;
    op.ExpectQuestion("Invalid Configuration", false, std::string(kPositionModeForbidsStationaryText));
    ConfigureReceivers(op);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_EQ(Emu().Status(0).connections, 0u);
    ExpectAtRest();
}

// A group whose report never equals the image: requested and compared in all eight passes.
TEST_F(ConfigureReceiversTest, GroupThatNeverMatchesRunsAllPassesAndGivesResult4) {
    EmulatorOptions options;
    options.faults.differ[kGroupPPSWidth] = true;
    options.resetSilenceMs = 500;  // back before the first verification pass, so every request is heard
    ASSERT_EQ(Start(options, {5}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    Select({5});
    RecordingOperator op;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    EXPECT_EQ(summary.results[4], kResultGroupDiffers);
    for (int g = 1; g <= kGroupCount; ++g)
        EXPECT_EQ(summary.groups[4][static_cast<size_t>(g - 1)],
                  g == kGroupPPSWidth ? kGroupDiffers : kGroupMatches)
            << g;
    const auto packets = Received(0);
    EXPECT_EQ(CountPackets(packets, "8E 4F") - 1, 8);  // the set, then a request in every pass
    const auto& waits = OperationWaits();
    EXPECT_EQ(std::count(waits.end() - 8, waits.end(), 500), 8);
    EXPECT_EQ(waits[waits.size() - 9], 1000);  // the eight passes follow the wait after 1E 4B
}

// A group that never arrives: Result 3 and "could not be retrieved" for it.
TEST_F(ConfigureReceiversTest, GroupThatNeverArrivesGivesResult3) {
    EmulatorOptions options;
    options.faults.ignore[kGroupTimingOutputOptions] = true;
    ASSERT_EQ(Start(options, {9}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    Select({9});
    RecordingOperator op;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    EXPECT_EQ(summary.results[8], kResultGroupMissing);
    EXPECT_EQ(summary.groups[8][kGroupTimingOutputOptions - 1], kGroupRequested);
    EXPECT_EQ(summary.groups[8][kGroupDatum - 1], kGroupMatches);
}

TEST_F(ConfigureReceiversTest, EveryTickedPortFailingToOpenSendsNothing) {
    Select({3, 11});
    RecordingOperator op;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(summary.results[static_cast<size_t>(i)],
                  (i == 2 || i == 10) ? kResultOpenFailed : kResultNotInRun);
    // No port left in the run: one empty Link Check pass and the fixed waits only.
    EXPECT_EQ(OperationWaits(), (std::vector<int>{200, 500, 200, 500, 500, 500, 2000, 1000, 500}));
    ExpectAtRest();
}

}  // namespace

namespace {

// Takes the steps of a stopped run; any box or summary fails the test.
class StoppedRunOperator : public RecordingOperator {
  public:
    void RunStopped(const std::vector<RunStep>& runSteps) override { steps = runSteps; }
    std::vector<RunStep> steps;
};

}  // namespace

// A stop request from another thread ends the wait under way at once; once the stop is cleared, a
// wait sleeps its whole time again, and sleeps: it does not spin on a wake left signalled.
TEST(OperationWaitTest, AStopEndsTheWaitAtOnceAndAClearedStopLetsWaitsSleep) {
    using Clock = std::chrono::steady_clock;
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        RequestOperationStop(kStopAtSafePoint);
    });
    const Clock::time_point start = Clock::now();
    OperationWait(60000);
    stopper.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30)) << "the stop did not end the wait";
    ClearOperationStop();

    const std::clock_t cpuBefore = std::clock();
    const Clock::time_point second = Clock::now();
    OperationWait(400);
    EXPECT_GE(Clock::now() - second, std::chrono::milliseconds(400));
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuMs, 40.0) << "the wait spun instead of sleeping";
}

// A stop request while the set commands go out: no packet is started after it (no Save Settings,
// no request), the ports are closed, no summary is shown, and the Operator learns each port's step.
TEST_F(ConfigureReceiversTest, AStopRequestEndsTheRunAtItsNextSafePoint) {
    ASSERT_EQ(Start({}, {2}), 0);
    PcSerialSettings[4] = 0;
    ImageFromReceiver(Emu().Status(0).current);
    SetSurveyRule(7, 4, 0);
    SerialSetDeviceName(5, "/dev/no-such-tty-here");
    Select({2, 5});  // Comm 5 fails to open
    StoppedRunOperator op;
    std::thread stopper([&] {
        AwaitPackets(0, "8E A9 00", 1);
        RequestOperationStop(kStopAtSafePoint);
    });
    ConfigureReceivers(op);
    stopper.join();
    ClearOperationStop();
    ASSERT_EQ(op.steps.size(), 20u);
    EXPECT_EQ(op.steps[1], RunStep::kWriting);
    EXPECT_EQ(op.steps[4], RunStep::kFinished);
    EXPECT_EQ(op.Count(Kind::Summary), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto packets = Received(0);
    EXPECT_EQ(CountPackets(packets, "8E 26"), 0);  // no Save Settings
    EXPECT_EQ(CountPackets(packets, "BC 01"), 0);  // nor the Port B set after the wait
    EXPECT_EQ(CountPackets(packets, "2A "),
              CountPackets(packets, "8E A9 00"));  // the queued sets went out whole
    ExpectAtRest();
}
