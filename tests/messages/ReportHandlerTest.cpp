#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "link/Framing.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "settings/SettingsImage.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Delivers one report to a Port Context the way the pump does: framed, decoded byte by byte, the
// handler called when the frame completes.
void Deliver(PortContext& context, uint8_t id, const Bytes& payload) {
    Bytes packet{id};
    packet.insert(packet.end(), payload.begin(), payload.end());
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(packet.data(), static_cast<int>(packet.size()), frame, kFrameBufferSize);
    ASSERT_GT(size, 0);
    int completed = 0;
    for (int i = 0; i < size; ++i) {
        if (FrameDecodeByte(context.Decoder(), frame[i]) != 0) {
            ReportHandler(context);
            ++completed;
        }
    }
    ASSERT_EQ(completed, 1);
}

Bytes Group(int groupNo) {
    const uint8_t* bytes = SettingsGroupBytes(groupNo);
    return Bytes(bytes, bytes + SettingsGroup(groupNo).length);
}

void SetGroup(int groupNo, const Bytes& bytes) {
    ASSERT_EQ(static_cast<int>(bytes.size()), SettingsGroup(groupNo).length);
    std::copy(bytes.begin(), bytes.end(), SettingsGroupBytes(groupNo));
}

// A group-sized byte pattern with a given first byte, no zero bytes.
Bytes Pattern(int groupNo, uint8_t first, uint8_t seed = 0x31) {
    Bytes bytes(static_cast<size_t>(SettingsGroup(groupNo).length));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i);
    bytes.at(0) = first;
    return bytes;
}

Bytes WithXor(Bytes bytes, std::initializer_list<size_t> positions, uint8_t bits) {
    for (size_t k : positions) bytes.at(k) = static_cast<uint8_t>(bytes.at(k) ^ bits);
    return bytes;
}

// How each report reaches its group (id, payload byte 0), independent of the code's table.
struct ReportOfGroup {
    int groupNo;
    uint8_t id;
    int key;  // payload byte 0 that must be there, −1: any
};
const ReportOfGroup kReports[] = {
    {2, 0x55, -1},   {3, 0x7B, -1},   {4, 0xBB, -1},    {5, 0xBC, 0x00},  {6, 0xBC, 0x01},  {7, 0x8F, 0x15},
    {8, 0x8F, 0x4A}, {9, 0x8F, 0x4D}, {10, 0x8F, 0x4E}, {11, 0x8F, 0x4F}, {12, 0x8F, 0xA5}, {13, 0x8F, 0xA9},
};

Bytes ReportPayload(const ReportOfGroup& report, uint8_t seed = 0x31) {
    return Pattern(report.groupNo, report.key >= 0 ? static_cast<uint8_t>(report.key) : 0x3C, seed);
}

class ReportHandlerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsImage.fill(0);
        context = PortContext{};
        context.commPortNumber = 3;
    }
    void ExpectStatuses(const std::map<int, uint8_t>& expected) {
        for (int g = 1; g <= kGroupCount; ++g) {
            const auto it = expected.find(g);
            EXPECT_EQ(context.groupStatus[static_cast<size_t>(g - 1)], it == expected.end() ? 0 : it->second)
                << "group " << g;
        }
    }
    PortContext context;
};

TEST_F(ReportHandlerTest, AltitudeReportOfNineBytesIsStoredWhileLoading) {
    context.operationMode = kModeLoading;
    SetGroup(1, {0x02, 0xAA, 0xAA, 0xAA, 0xAA});
    Deliver(context, 0x4A, {0x44, 0x7A, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_EQ(Group(1), (Bytes{0x00, 0x44, 0x7A, 0x00, 0x00}));
    ExpectStatuses({{1, kGroupReceived}});
}

TEST_F(ReportHandlerTest, AltitudeReportOfAnyOtherLengthChangesNothing) {
    for (int mode : {kModeIdle, kModeLoading, kModeConfiguring}) {
        context.operationMode = static_cast<uint8_t>(mode);
        context.groupStatus[0] = kGroupRequested;
        for (size_t length : {0u, 4u, 8u, 10u, 20u}) {
            Deliver(context, 0x4A, Bytes(length, 0x44));
            EXPECT_EQ(Group(1), Bytes(5, 0x00));
            ExpectStatuses({{1, kGroupRequested}});
        }
    }
}

TEST_F(ReportHandlerTest, AltitudeInCancelFormMatchesAnyAltitudeReport) {
    context.operationMode = kModeConfiguring;
    SetGroup(1, {0x01, 0x00, 0x00, 0x00, 0x00});
    Deliver(context, 0x4A, {0x44, 0x7A, 0x00, 0x00, 0, 0, 0, 0, 0});
    ExpectStatuses({{1, kGroupMatches}});
    SetGroup(1, {0x02, 0x00, 0x00, 0x00, 0x00});  // neither form chosen
    context.groupStatus[0] = kGroupRequested;
    Deliver(context, 0x4A, {0x45, 0x7A, 0x00, 0x00, 0, 0, 0, 0, 0});
    ExpectStatuses({{1, kGroupMatches}});
    EXPECT_EQ(Group(1), (Bytes{0x02, 0x00, 0x00, 0x00, 0x00}));  // compared, never stored
}

TEST_F(ReportHandlerTest, AltitudeInSetFormComparesTheFourAltitudeBytes) {
    context.operationMode = kModeConfiguring;
    SetGroup(1, {0x00, 0x44, 0x7A, 0x00, 0x00});
    Deliver(context, 0x4A,
            {0x44, 0x7A, 0x00, 0x00, 9, 9, 9, 9, 9});  // bytes after the altitude are not compared
    ExpectStatuses({{1, kGroupMatches}});
    Deliver(context, 0x4A, {0x44, 0x7A, 0x00, 0x01, 9, 9, 9, 9, 9});
    ExpectStatuses({{1, kGroupDiffers}});
}

TEST_F(ReportHandlerTest, EveryGroupReportIsStoredInItsPlaceWhileLoading) {
    context.operationMode = kModeLoading;
    for (const ReportOfGroup& report : kReports) {
        const Bytes payload = ReportPayload(report);
        Deliver(context, report.id, payload);
        EXPECT_EQ(Group(report.groupNo), payload) << "group " << report.groupNo;
        EXPECT_EQ(context.groupStatus[static_cast<size_t>(report.groupNo - 1)], kGroupReceived);
    }
    EXPECT_EQ(Group(1), Bytes(5, 0x00));  // no altitude report came
}

TEST_F(ReportHandlerTest, LongReportsStoreOnlyTheGroupsLength) {
    context.operationMode = kModeLoading;
    Bytes payload = Pattern(kGroupTimingOutputOptions, 0x4E);
    payload.insert(payload.end(), 30, 0x99);
    Deliver(context, 0x8F, payload);
    EXPECT_EQ(Group(kGroupTimingOutputOptions), (Bytes{0x4E, payload[1]}));
    EXPECT_EQ(SettingsImage[static_cast<size_t>(SettingsGroup(kGroupPPSWidth).offset)],
              0);  // the next group is untouched
}

TEST_F(ReportHandlerTest, GroupReportWhileIdleOnlySetsItsStatus) {
    context.operationMode = kModeIdle;
    SetGroup(kGroupDatum, Pattern(kGroupDatum, 0x15, 0x50));
    const Bytes before(SettingsImage.begin(), SettingsImage.end());
    Deliver(context, 0x8F, Pattern(kGroupDatum, 0x15, 0x11));
    EXPECT_EQ(Bytes(SettingsImage.begin(), SettingsImage.end()), before);
    ExpectStatuses({{kGroupDatum, kGroupReceived}});
}

TEST_F(ReportHandlerTest, EveryGroupReportIsComparedWhileConfiguring) {
    context.operationMode = kModeConfiguring;
    for (const ReportOfGroup& report : kReports) {
        const Bytes payload = ReportPayload(report);
        SetGroup(report.groupNo, payload);
        Deliver(context, report.id, payload);
        EXPECT_EQ(context.groupStatus[static_cast<size_t>(report.groupNo - 1)], kGroupMatches)
            << report.groupNo;
        Deliver(context, report.id, ReportPayload(report, 0x32));  // every pattern byte differs
        EXPECT_EQ(context.groupStatus[static_cast<size_t>(report.groupNo - 1)], kGroupDiffers)
            << report.groupNo;
        EXPECT_EQ(Group(report.groupNo), payload);  // a comparison never changes the image
    }
}

TEST_F(ReportHandlerTest, ReportAfterAResultIsHandledAgainInFull) {
    context.operationMode = kModeConfiguring;
    SetGroup(kGroupPPSWidth, Pattern(kGroupPPSWidth, 0x4F));
    Deliver(context, 0x8F, Pattern(kGroupPPSWidth, 0x4F, 0x20));
    ExpectStatuses({{kGroupPPSWidth, kGroupDiffers}});
    Deliver(context, 0x8F, Pattern(kGroupPPSWidth, 0x4F));
    ExpectStatuses({{kGroupPPSWidth, kGroupMatches}});
    Deliver(context, 0x8F, Pattern(kGroupPPSWidth, 0x4F, 0x20));
    ExpectStatuses({{kGroupPPSWidth, kGroupDiffers}});
}

// The bits compared by each group's rule, as the rules list them (group byte → bits).
const std::map<int, std::map<int, uint8_t>> kComparedBits = {
    {2, {{0, 0x3F}, {1, 0x03}, {2, 0x1F}, {3, 0x03}}},
    {3, {{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}}},
    {4,
     [] {
         std::map<int, uint8_t> bytes{{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {6, 0xFF}, {35, 0xFF}};
         for (int k = 15; k <= 30; ++k) bytes[k] = 0xFF;
         return bytes;
     }()},
    {5, {{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {7, 0xFF}, {8, 0xFF}}},
    {6, {{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {7, 0xFF}, {8, 0xFF}}},
    {7, {{1, 0xFF}, {2, 0xFF}}},  // a listed index in the report: the index alone
    {8,
     [] {
         std::map<int, uint8_t> bytes;
         for (int k = 1; k <= 15; ++k) bytes[k] = 0xFF;
         return bytes;
     }()},
    // 32-bit mask r1..r4, most significant byte first: bits 31 30 | - | 11 8 | 5..0.
    {9, {{1, 0xC0}, {3, 0x09}, {4, 0x3F}}},
    {10, {{1, 0xFF}}},
    {11, {{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}, {7, 0xFF}, {8, 0xFF}}},
    {12, {{1, 0x33}, {2, 0x01}}},
    {13, {{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {4, 0xFF}, {5, 0xFF}, {6, 0xFF}}},
};

TEST_F(ReportHandlerTest, EachBitDiffersOnlyWhereItsRuleComparesIt) {
    context.operationMode = kModeConfiguring;
    for (const ReportOfGroup& report : kReports) {
        const Bytes image = ReportPayload(report);
        SetGroup(report.groupNo, image);
        const auto& compared = kComparedBits.at(report.groupNo);
        for (size_t k = 0; k < image.size(); ++k) {
            // Byte 0 selects the report (subcode or port): flipping it there would send the report
            // elsewhere, so for keyed reports it is left alone.
            if (k == 0 && report.key >= 0) continue;
            for (int bit = 0; bit < 8; ++bit) {
                Bytes received = image;
                received[k] = static_cast<uint8_t>(received[k] ^ (1 << bit));
                Deliver(context, report.id, received);
                const auto it = compared.find(static_cast<int>(k));
                const bool isCompared = it != compared.end() && (it->second & (1 << bit)) != 0;
                EXPECT_EQ(context.groupStatus[static_cast<size_t>(report.groupNo - 1)],
                          isCompared ? kGroupDiffers : kGroupMatches)
                    << "group " << report.groupNo << " byte " << k << " bit " << bit;
            }
        }
    }
}

TEST_F(ReportHandlerTest, NamedMaskCases) {
    context.operationMode = kModeConfiguring;
    const auto statusAfter = [&](int groupNo, uint8_t id, const Bytes& image, const Bytes& received) {
        SetGroup(groupNo, image);
        Deliver(context, id, received);
        return context.groupStatus[static_cast<size_t>(groupNo - 1)];
    };
    // I/O Options: bit 6 or 7 of r0 are not compared, bit 0 is.
    EXPECT_EQ(statusAfter(2, 0x55, {0x01, 0, 0, 0}, {0x41, 0, 0, 0}), kGroupMatches);
    EXPECT_EQ(statusAfter(2, 0x55, {0x01, 0, 0, 0}, {0x81, 0, 0, 0}), kGroupMatches);
    EXPECT_EQ(statusAfter(2, 0x55, {0x01, 0, 0, 0}, {0x00, 0, 0, 0}), kGroupDiffers);
    // Packet 8E-A5 Masks.
    EXPECT_EQ(statusAfter(12, 0x8F, {0xA5, 0x00, 0x00, 0, 0}, {0xA5, 0xCC, 0xFE, 7, 7}), kGroupMatches);
    EXPECT_EQ(statusAfter(12, 0x8F, {0xA5, 0x00, 0x00, 0, 0}, {0xA5, 0x10, 0x00, 0, 0}), kGroupDiffers);
    // Port B Automatic Output: bits 6, 9, 29 are not compared, bit 31 is.
    EXPECT_EQ(statusAfter(9, 0x8F, {0x4D, 0, 0, 0, 0}, {0x4D, 0x20, 0x00, 0x02, 0x40}), kGroupMatches);
    EXPECT_EQ(statusAfter(9, 0x8F, {0x4D, 0, 0, 0, 0}, {0x4D, 0x80, 0x00, 0x00, 0x00}), kGroupDiffers);
    // GPS Configuration: the track mode r4 and the signal level mask r9-r12 are not compared, r35 is.
    const Bytes gps = Pattern(4, 0x00);
    EXPECT_EQ(statusAfter(4, 0xBB, gps, WithXor(gps, {4}, 0x03)), kGroupMatches);
    EXPECT_EQ(statusAfter(4, 0xBB, gps, WithXor(gps, {9, 10, 11, 12}, 0xFF)), kGroupMatches);
    const Bytes carried35 = WithXor(gps, {35}, 0x01);
    EXPECT_EQ(statusAfter(4, 0xBB, gps, carried35), kGroupDiffers);
}

TEST_F(ReportHandlerTest, DatumRuleLooksAtTheReceivedIndex) {
    context.operationMode = kModeConfiguring;
    Bytes custom = Pattern(kGroupDatum, 0x15);
    custom[1] = 0xFF;
    custom[2] = 0xFF;
    SetGroup(kGroupDatum, custom);
    // The image holds a custom datum; the receiver reports index 00 15: the indexes differ.
    Bytes listed = custom;
    listed[1] = 0x00;
    listed[2] = 0x15;
    Deliver(context, 0x8F, listed);
    ExpectStatuses({{kGroupDatum, kGroupDiffers}});
    // The receiver reports FF FF: all 42 bytes count.
    Deliver(context, 0x8F, custom);
    ExpectStatuses({{kGroupDatum, kGroupMatches}});
    Bytes otherParameter = custom;
    otherParameter[42] ^= 0x01;
    Deliver(context, 0x8F, otherParameter);
    ExpectStatuses({{kGroupDatum, kGroupDiffers}});
    // A listed datum in the image and in the report: the parameters are not compared.
    Bytes imageListed(43, 0x00);
    imageListed[0] = 0x15;
    imageListed[2] = 0x15;
    SetGroup(kGroupDatum, imageListed);
    Deliver(context, 0x8F, listed);
    ExpectStatuses({{kGroupDatum, kGroupMatches}});
}

TEST_F(ReportHandlerTest, PortConfigurationReportForAnotherPortChangesNothing) {
    for (int mode : {kModeIdle, kModeLoading, kModeConfiguring}) {
        context.operationMode = static_cast<uint8_t>(mode);
        context.groupStatus.fill(kGroupRequested);
        SetGroup(5, Pattern(5, 0x00, 0x40));
        SetGroup(6, Pattern(6, 0x01, 0x60));
        const Bytes before(SettingsImage.begin(), SettingsImage.end());
        Deliver(context, 0xBC, Pattern(5, 0x02, 0x70));
        EXPECT_EQ(Bytes(SettingsImage.begin(), SettingsImage.end()), before) << "mode " << mode;
        for (uint8_t status : context.groupStatus) EXPECT_EQ(status, kGroupRequested);
    }
}

TEST_F(ReportHandlerTest, UnknownReportsAreIgnored) {
    for (int mode : {kModeIdle, kModeLoading, kModeConfiguring}) {
        context.operationMode = static_cast<uint8_t>(mode);
        context.linkState = kLinkCheckSent;
        context.groupStatus.fill(kGroupRequested);
        SetGroup(4, Pattern(4, 0x00, 0x40));
        const Bytes before(SettingsImage.begin(), SettingsImage.end());
        for (int id = 0; id < 256; ++id) {
            if (id == 0x10 || id == 0x03 || id == 0x45) continue;
            bool known = false;
            for (const ReportOfGroup& report : kReports) known = known || (report.id == id && report.key < 0);
            if (known || id == 0x4A || id == 0xBC) continue;
            Deliver(context, static_cast<uint8_t>(id), Pattern(4, 0x20, 0x40));
        }
        for (uint8_t subcode : {0x00, 0x0B, 0x20, 0x26, 0x41, 0xA6, 0xAB, 0xFF})
            Deliver(context, 0x8F, {subcode, 1, 2, 3});
        EXPECT_EQ(Bytes(SettingsImage.begin(), SettingsImage.end()), before);
        for (uint8_t status : context.groupStatus) EXPECT_EQ(status, kGroupRequested);
        EXPECT_EQ(context.linkState, kLinkCheckSent);
    }
}

TEST_F(ReportHandlerTest, LinkCheckAnswerMovesOnlyFromSentToAnswered) {
    for (int mode : {kModeIdle, kModeLoading, kModeConfiguring}) {
        context.operationMode = static_cast<uint8_t>(mode);
        context.linkState = kLinkIdle;
        Deliver(context, 0x45, {0x01, 0x02});
        EXPECT_EQ(context.linkState, kLinkIdle);
        context.linkState = kLinkCheckSent;
        Deliver(context, 0x45, {});
        EXPECT_EQ(context.linkState, kLinkAnswered);
        Deliver(context, 0x45, Bytes(30, 0x07));
        EXPECT_EQ(context.linkState, kLinkAnswered);
        for (uint8_t status : context.groupStatus) EXPECT_EQ(status, kGroupNothingPending);
    }
}

TEST_F(ReportHandlerTest, ReportOnOnePortNeverChangesAnotherPort) {
    PortContext other;
    other.commPortNumber = 4;
    other.operationMode = kModeConfiguring;
    other.linkState = kLinkCheckSent;
    other.groupStatus.fill(kGroupRequested);
    context.operationMode = kModeConfiguring;
    context.linkState = kLinkCheckSent;
    Deliver(context, 0x45, {});
    for (const ReportOfGroup& report : kReports) Deliver(context, report.id, ReportPayload(report));
    Deliver(context, 0x4A, Bytes(9, 0x01));
    EXPECT_EQ(context.linkState, kLinkAnswered);
    EXPECT_EQ(other.linkState, kLinkCheckSent);
    for (uint8_t status : other.groupStatus) EXPECT_EQ(status, kGroupRequested);
    for (uint8_t status : context.groupStatus) EXPECT_NE(status, kGroupRequested);
}

TEST_F(ReportHandlerTest, ShortReportReadsZerosBeyondItsPayloadNotStaleBytes) {
    context.operationMode = kModeLoading;
    // A full report leaves its bytes in the payload buffer...
    Deliver(context, 0x8F, Pattern(kGroupSelfSurveyConfiguration, 0xA9, 0x51));
    // ...then a short one of the same group: only its own bytes count, the rest read as 0.
    Deliver(context, 0x8F, {0xA9, 0x01, 0x01});
    EXPECT_EQ(Group(kGroupSelfSurveyConfiguration), (Bytes{0xA9, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));
    ExpectStatuses({{kGroupSelfSurveyConfiguration, kGroupReceived}});

    // The same while configuring: the short report is compared as zero-filled.
    context.operationMode = kModeConfiguring;
    Deliver(context, 0x8F, Pattern(kGroupSelfSurveyConfiguration, 0xA9, 0x51));  // refill the buffer
    Deliver(context, 0x8F, {0xA9, 0x01, 0x01});
    ExpectStatuses({{kGroupSelfSurveyConfiguration, kGroupMatches}});
    SetGroup(kGroupSelfSurveyConfiguration, {0xA9, 0x01, 0x01, 0, 0, 0, 1, 0, 0, 0, 0});
    Deliver(context, 0x8F, Pattern(kGroupSelfSurveyConfiguration, 0xA9, 0x51));
    Deliver(context, 0x8F, {0xA9, 0x01, 0x01});
    ExpectStatuses({{kGroupSelfSurveyConfiguration, kGroupDiffers}});

    // An empty I/O Options report still sets its status and reads as four zeros.
    context.operationMode = kModeLoading;
    Deliver(context, 0x55, {0x3F, 0x03, 0x1F, 0x03});
    Deliver(context, 0x55, {});
    EXPECT_EQ(Group(kGroupIOOptions), Bytes(4, 0x00));
    EXPECT_EQ(context.groupStatus[kGroupIOOptions - 1], kGroupReceived);
}

TEST_F(ReportHandlerTest, CorruptCompletedLengthStaysInsideThePayloadBuffer) {
    context.operationMode = kModeLoading;
    context.packetId = 0xBB;
    context.completedLength = 0xFFFFFFFFu;
    context.payloadBuffer[0] = 0x00;
    ReportHandler(context);
    EXPECT_EQ(context.groupStatus[kGroupGPSConfiguration - 1], kGroupReceived);
}

}  // namespace
