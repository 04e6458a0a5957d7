// The emulated receiver's model on its own: what it answers and how it applies each command.
// Commands and reports are written out byte by byte as the receiver sees them on the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "bytes/ByteOrder.h"
#include "emulator/ReceiverModel.h"
#include "link/PortContext.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Fixture : ::testing::Test {
    ReceiverModel model{PortLine{}};

    ModelResult Send(const Bytes& packet) {
        ModelResult result;
        model.Handle(packet[0], packet.data() + 1, static_cast<int>(packet.size()) - 1, result);
        return result;
    }
    // The single reply to a packet, id first.
    Bytes Ask(const Bytes& packet) {
        const ModelResult result = Send(packet);
        if (result.replies.size() != 1) return {};
        Bytes reply = {result.replies[0].id};
        reply.insert(reply.end(), result.replies[0].payload.begin(), result.replies[0].payload.end());
        return reply;
    }
    Bytes Group(int groupNo, int length) const {
        const uint8_t* g = model.Current().Group(groupNo);
        return Bytes(g, g + length);
    }
};

using ReceiverModelAnswers = Fixture;
using ReceiverModelSets = Fixture;
using ReceiverModelControl = Fixture;
using ReceiverModelFaults = Fixture;

TEST_F(ReceiverModelAnswers, LinkCheckGetsReport45) {
    const Bytes reply = Ask({0x1F});
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 0x45);
}

struct RequestCase {
    Bytes request;
    uint8_t reportId;
    size_t payloadLength;
    int firstPayloadByte;  // −1: any
};

TEST_F(ReceiverModelAnswers, EachRequestGetsTheReportThatCarriesItsGroup) {
    const std::vector<RequestCase> cases = {
        {{0x2A}, 0x4A, 9, -1},          {{0x35}, 0x55, 4, -1},          {{0x7A, 0x00}, 0x7B, 6, 0x00},
        {{0xBB, 0x00}, 0xBB, 43, 0x00}, {{0xBC, 0x00}, 0xBC, 10, 0x00}, {{0xBC, 0x01}, 0xBC, 10, 0x01},
        {{0x8E, 0x15}, 0x8F, 43, 0x15}, {{0x8E, 0x4A}, 0x8F, 16, 0x4A}, {{0x8E, 0x4D}, 0x8F, 5, 0x4D},
        {{0x8E, 0x4E}, 0x8F, 2, 0x4E},  {{0x8E, 0x4F}, 0x8F, 9, 0x4F},  {{0x8E, 0xA5}, 0x8F, 5, 0xA5},
        {{0x8E, 0xA9}, 0x8F, 11, 0xA9},
    };
    for (const RequestCase& c : cases) {
        const Bytes reply = Ask(c.request);
        ASSERT_EQ(reply.size(), c.payloadLength + 1) << std::hex << int(c.request[0]);
        EXPECT_EQ(reply[0], c.reportId);
        if (c.firstPayloadByte >= 0) {
            EXPECT_EQ(reply[1], c.firstPayloadByte);
        }
    }
}

TEST_F(ReceiverModelAnswers, FactoryPortBIsTheLineAskedFor) {
    ReceiverModel other(PortLine{4800, 7, 2, 2});
    ModelResult result;
    const uint8_t selector = 1;
    other.Handle(0xBC, &selector, 1, result);
    ASSERT_EQ(result.replies.size(), 1u);
    EXPECT_EQ(result.replies[0].payload, (Bytes{0x01, 0x06, 0x06, 0x02, 0x02, 0x01, 0x00, 0x02, 0x02, 0x00}));
    EXPECT_EQ(other.PortB(), (PortLine{4800, 7, 2, 2}));
}

TEST_F(ReceiverModelAnswers, FactoryCarriedBytesAreNotZero) {
    const uint8_t* gps = model.Current().Group(4);
    for (int i = 22; i < 43; ++i) EXPECT_NE(gps[i], 0) << i;
    const uint8_t* masks = model.Current().Group(12);
    EXPECT_NE(masks[3] | masks[4], 0);
    const uint8_t* survey = model.Current().Group(13);
    for (int i = 7; i < 11; ++i) EXPECT_NE(survey[i], 0) << i;
}

TEST_F(ReceiverModelAnswers, UnknownPacketsAndWrongLengthsAreIgnored) {
    for (const Bytes& packet : std::vector<Bytes>{{0x3C},
                                                  {0x8E, 0x99},
                                                  {0x8E},
                                                  {0xBC, 0x02},
                                                  {0x7A, 0x01},
                                                  {0x35, 0x01},
                                                  {0x8E, 0x4E, 0x01, 0x02},
                                                  {0x1E, 0x4E}}) {
        const ReceiverSettings before = model.Current();
        const ModelResult result = Send(packet);
        EXPECT_TRUE(result.replies.empty());
        EXPECT_FALSE(result.resetRequested);
        EXPECT_EQ(model.Current(), before);
    }
}

TEST_F(ReceiverModelSets, AltitudeSetsAndCancelKeepsTheLastAltitude) {
    Send({0x2A, 0x44, 0x7A, 0x00, 0x00});
    EXPECT_EQ(Ask({0x2A}), (Bytes{0x4A, 0x44, 0x7A, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x01}));
    Send({0x2A, 0xFF});
    EXPECT_EQ(Ask({0x2A}), (Bytes{0x4A, 0x44, 0x7A, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x00}));
}

TEST_F(ReceiverModelSets, IOOptionsAndNmeaAreStoredAsSent) {
    Send({0x35, 0x3F, 0x03, 0x1F, 0x03});
    EXPECT_EQ(Group(2, 4), (Bytes{0x3F, 0x03, 0x1F, 0x03}));
    Send({0x7A, 0x00, 0x05, 0x00, 0x00, 0x01, 0x10});
    EXPECT_EQ(Ask({0x7A, 0x00}), (Bytes{0x7B, 0x00, 0x05, 0x00, 0x00, 0x01, 0x10}));
}

TEST_F(ReceiverModelSets, GpsConfigurationLeavesFieldsSentAsFF) {
    std::array<uint8_t, 43> expected{};
    std::copy_n(model.Current().Group(4), 43, expected.begin());
    Bytes set = {0xBB, 0x00, 0x04, 0xFF, 0x01, 0xFF, 0x3E, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                 0xFF, 0xFF, 0x40, 0xC0, 0x00, 0x00, 0x40, 0xA0, 0x00, 0x00, 0x0A};
    set.insert(set.end(), 21, 0xFF);
    ASSERT_EQ(set.size(), 44u);
    Send(set);
    expected[1] = 0x04;  // receiver mode
    expected[3] = 0x01;  // dynamics
    expected[5] = 0x3E;  // elevation mask
    expected[6] = expected[7] = expected[8] = 0x00;
    expected[13] = 0x40;  // PDOP mask 6.0
    expected[14] = 0xC0;
    expected[15] = expected[16] = 0x00;
    expected[17] = 0x40;  // PDOP switch 5.0
    expected[18] = 0xA0;
    expected[19] = expected[20] = 0x00;
    expected[21] = 0x0A;
    EXPECT_EQ(Group(4, 43),
              Bytes(expected.begin(),
                    expected.end()));  // DGPS mode, track mode, signal mask and carried bytes kept
}

TEST_F(ReceiverModelSets, PortBSwitchesTheLineAndPortALeavesIt) {
    ModelResult result = Send({0xBC, 0x01, 0x08, 0x08, 0x03, 0x01, 0x00, 0x00, 0x02, 0x02, 0x00});
    EXPECT_TRUE(result.portBChanged);
    EXPECT_EQ(model.PortB(), (PortLine{19200, 8, 1, 1}));
    result = Send({0xBC, 0x00, 0x09, 0x09, 0x03, 0x02, 0x01, 0x00, 0x02, 0x04, 0x00});
    EXPECT_FALSE(result.portBChanged);
    EXPECT_EQ(Group(5, 10), (Bytes{0x00, 0x09, 0x09, 0x03, 0x02, 0x01, 0x00, 0x02, 0x04, 0x00}));
    EXPECT_EQ(model.PortB(), (PortLine{19200, 8, 1, 1}));
}

TEST_F(ReceiverModelSets, PortSettingsWithoutACodeAreRefused) {
    const Bytes before = Group(6, 10);
    for (const Bytes& set : std::vector<Bytes>{
             {0xBC, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00},  // port B switched off
             {0xBC, 0x01, 0x0A, 0x0A, 0x03, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00},  // baud code 10
             {0xBC, 0x01, 0x07, 0x07, 0x04, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00},  // data bits code 4
             {0xBC, 0x01, 0x07, 0x07, 0x03, 0x03, 0x00, 0x00, 0x02, 0x02, 0x00},  // parity 3
             {0xBC, 0x01, 0x07, 0x07, 0x03, 0x00, 0x02, 0x00, 0x02, 0x02, 0x00},  // stop bits code 2
         }) {
        EXPECT_FALSE(Send(set).portBChanged);
        EXPECT_EQ(Group(6, 10), before);
    }
    // Port A may be switched off.
    Send({0xBC, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(Group(5, 2), (Bytes{0x00, 0x00}));
}

TEST_F(ReceiverModelSets, DatumByIndexAndCustom) {
    Send({0x8E, 0x15, 0x00, 0x15});
    Bytes reply = Ask({0x8E, 0x15});
    ASSERT_EQ(reply.size(), 44u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), (Bytes{0x8F, 0x15, 0x00, 0x15}));
    Bytes custom = {0x8E, 0x15};
    for (int i = 0; i < 40; ++i) custom.push_back(static_cast<uint8_t>(i + 1));
    Send(custom);
    reply = Ask({0x8E, 0x15});
    ASSERT_EQ(reply.size(), 44u);
    EXPECT_EQ(reply[2], 0xFF);
    EXPECT_EQ(reply[3], 0xFF);
    EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), Bytes(custom.begin() + 2, custom.end()));
    // An index outside the list is refused.
    Send({0x8E, 0x15, 0x00, 0xB4});
    EXPECT_EQ(Group(7, 3), (Bytes{0x15, 0xFF, 0xFF}));
}

TEST_F(ReceiverModelSets, A5AndA9KeepTheReceiversOwnBytesWhereZerosAreSent) {
    Send({0x8E, 0xA5, 0x33, 0x01, 0x00, 0x00});
    EXPECT_EQ(Group(12, 5), (Bytes{0xA5, 0x33, 0x01, 0x03, 0x05}));
    Send({0x8E, 0xA9, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(Group(13, 11), (Bytes{0xA9, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00, 0x0A, 0x1B, 0x2C, 0x3D}));
}

TEST_F(ReceiverModelSets, TimingGroupsAreStoredAsSent) {
    Send({0x8E, 0x4A, 0x00, 0x00, 0x01, 0x3F, 0x1A, 0x36, 0xE2, 0xEB, 0x1C, 0x43, 0x2D, 0x42, 0xC8, 0x00,
          0x00});
    EXPECT_EQ(Group(8, 16), (Bytes{0x4A, 0x00, 0x00, 0x01, 0x3F, 0x1A, 0x36, 0xE2, 0xEB, 0x1C, 0x43, 0x2D,
                                   0x42, 0xC8, 0x00, 0x00}));
    Send({0x8E, 0x4D, 0xC0, 0x00, 0x09, 0x3F});
    EXPECT_EQ(Group(9, 5), (Bytes{0x4D, 0xC0, 0x00, 0x09, 0x3F}));
    Send({0x8E, 0x4E, 0x02});
    EXPECT_EQ(Group(10, 2), (Bytes{0x4E, 0x02}));
    Send({0x8E, 0x4F, 0x3F, 0x1A, 0x36, 0xE2, 0xEB, 0x1C, 0x43, 0x2D});
    EXPECT_EQ(Group(11, 9), (Bytes{0x4F, 0x3F, 0x1A, 0x36, 0xE2, 0xEB, 0x1C, 0x43, 0x2D}));
}

TEST_F(ReceiverModelControl, SaveThenResetComesBackOnTheSavedCopy) {
    Send({0x8E, 0x4E, 0x02});
    EXPECT_EQ(Send({0x8E, 0x26}).note, "settings saved");
    Send({0x8E, 0x4E, 0x04});
    EXPECT_TRUE(Send({0x1E, 0x4B}).resetRequested);
    model.RestoreSaved();
    EXPECT_EQ(Group(10, 2), (Bytes{0x4E, 0x02}));
}

TEST_F(ReceiverModelControl, ControlCommandsAreAcceptedWithoutAnswer) {
    Bytes command32 = {0x32};
    command32.insert(command32.end(), 12, 0x00);
    for (const Bytes& packet : std::vector<Bytes>{command32, {0x8E, 0xA6, 0x00}, {0x8E, 0x45, 0x06}}) {
        const ReceiverSettings before = model.Current();
        const ModelResult result = Send(packet);
        EXPECT_TRUE(result.replies.empty());
        EXPECT_NE(result.note.find("accepted"), std::string::npos);
        EXPECT_EQ(model.Current(), before);
    }
}

TEST_F(ReceiverModelControl, AutoOutputIsA20Byte4AAndIgnoredSubcodes) {
    const std::vector<ModelPacket> burst = model.AutoOutput(7);
    ASSERT_EQ(burst.size(), 3u);
    EXPECT_EQ(burst[0].id, 0x4A);
    EXPECT_EQ(burst[0].payload.size(), 20u);
    EXPECT_EQ(burst[1].id, 0x8F);
    EXPECT_EQ(burst[1].payload[0], 0xAB);
    EXPECT_EQ(burst[2].id, 0x8F);
    EXPECT_EQ(burst[2].payload[0], 0xAC);
}

TEST_F(ReceiverModelFaults, IgnoredGroupsAreNeitherAnsweredNorSet) {
    model.faults.ignore[3] = true;
    EXPECT_TRUE(Ask({0x7A, 0x00}).empty());
    const Bytes before = Group(3, 6);
    Send({0x7A, 0x00, 0x05, 0x00, 0x00, 0x01, 0x10});
    EXPECT_EQ(Group(3, 6), before);
    EXPECT_FALSE(Ask({0x35}).empty());
}

TEST_F(ReceiverModelFaults, DifferChangesAComparedByteOfEachGroup) {
    const ReceiverModel plain{PortLine{}};
    for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
        model.faults = ReceiverFaults{};
        model.faults.differ[static_cast<size_t>(groupNo)] = true;
        const ModelPacket changed = model.Report(groupNo);
        const ModelPacket original = plain.Report(groupNo);
        ASSERT_EQ(changed.payload.size(), original.payload.size());
        int differences = 0;
        for (size_t i = 0; i < changed.payload.size(); ++i)
            differences += changed.payload[i] != original.payload[i];
        EXPECT_EQ(differences, 1) << groupNo;
        if (groupNo != kGroupIOOptions) {  // I/O Options is compared from its byte 0 on
            EXPECT_EQ(changed.payload[0], original.payload[0]) << "byte 0 is not compared, group " << groupNo;
        }
    }
    EXPECT_EQ(model.Current(), plain.Current());  // only the report differs
}

TEST_F(ReceiverModelFaults, NoSaveKeepsTheOldCopy) {
    model.faults.noSave = true;
    Send({0x8E, 0x4E, 0x02});
    Send({0x8E, 0x26});
    model.RestoreSaved();
    EXPECT_EQ(Group(10, 2), (Bytes{0x4E, 0x03}));
}

TEST(ReceiverBreakReply, ParserReadsBackThePortBSettings) {
    struct Case {
        PortLine line;
        Bytes record;
    };
    const std::vector<Case> cases = {
        {{9600, 8, 0, 1}, {1, 7, 7, 3, 0, 0}},
        {{4800, 7, 2, 2}, {1, 6, 6, 2, 2, 1}},
        {{38400, 8, 1, 1}, {1, 9, 9, 3, 1, 0}},
        {{110, 7, 1, 2}, {1, 1, 1, 2, 1, 1}},
    };
    for (const Case& c : cases) {
        const std::string text = BreakReplyText(c.line);
        EXPECT_EQ(text.substr(0, 2), "PR");
        uint8_t record[kPortConfigurationSize] = {};
        EXPECT_EQ(ParseBreakReply(text.c_str(), record), 0) << text;
        EXPECT_EQ(Bytes(record, record + 6), c.record) << text;
    }
    EXPECT_EQ(BreakReplyText(PortLine{}), "PRPT;B,1,0,9600,8,1,N,0,KIRP;KIRP;\r\n");
}

TEST(ReceiverPortLine, CodesAndTextBothWays) {
    PortLine line;
    ASSERT_TRUE(PortLineFromCodes(9, 2, 2, 1, line));
    EXPECT_EQ(line, (PortLine{38400, 7, 2, 2}));
    uint8_t codes[4] = {};
    ASSERT_TRUE(PortCodesFromLine(line, codes));
    EXPECT_EQ(Bytes(codes, codes + 4), (Bytes{9, 2, 2, 1}));
    EXPECT_FALSE(PortLineFromCodes(0, 3, 0, 0, line));
    EXPECT_FALSE(PortLineFromCodes(10, 3, 0, 0, line));
    EXPECT_FALSE(PortCodesFromLine(PortLine{57600, 8, 0, 1}, codes));
    EXPECT_EQ(PortLineText(PortLine{4800, 7, 1, 2}), "4800,7,O,2");
}

}  // namespace
