// Decoding a settings image into fields with the window's texts, in-process.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "cli/CliFixtures.h"
#include "settings/Datum.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsView.h"

namespace {

std::vector<uint8_t> GroupOf(const std::vector<uint8_t>& file, int groupNo) {
    const SettingsGroupInfo& group = SettingsGroup(groupNo);
    return {file.begin() + group.offset, file.begin() + group.offset + group.length};
}

const SettingsField* Named(const std::vector<SettingsField>& fields, const std::string& name) {
    for (const SettingsField& field : fields)
        if (field.name == name) return &field;
    return nullptr;
}

std::string TextOf(int groupNo, const std::vector<uint8_t>& group, const std::string& name) {
    const std::vector<SettingsField> fields = DecodeSettingsGroup(groupNo, group.data());
    const SettingsField* field = Named(fields, name);
    return field == nullptr ? "<no field " + name + ">" : field->text;
}

}  // namespace

TEST(CliSettingsFields, EveryBitOfEveryGroupBelongsToExactlyOneField) {
    const std::vector<uint8_t> file = FactorySettingsFile();
    for (const SettingsGroupInfo& info : kSettingsGroups) {
        const std::vector<uint8_t> group = GroupOf(file, info.number);
        std::vector<uint8_t> seen(static_cast<size_t>(info.length), 0);
        for (const SettingsField& field : DecodeSettingsGroup(info.number, group.data())) {
            EXPECT_EQ(field.group, info.number);
            ASSERT_EQ(field.bitMasks.size(), static_cast<size_t>(field.width)) << field.name;
            for (int i = 0; i < field.width; ++i) {
                const auto at = static_cast<size_t>(field.offset + i);
                ASSERT_LT(at, seen.size()) << info.name << ": " << field.name;
                EXPECT_EQ(seen[at] & field.bitMasks[static_cast<size_t>(i)], 0)
                    << info.name << ": " << field.name;
                seen[at] |= field.bitMasks[static_cast<size_t>(i)];
            }
        }
        for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], 0xFF) << info.name << " byte " << i;
    }
}

TEST(CliSettingsFields, CodesTheWindowShowsWithAnotherItemKeepTheirCode) {
    std::vector<uint8_t> gps = GroupOf(FactorySettingsFile(), kGroupGPSConfiguration);
    gps[1] = 2;  // no item stands for receiver mode 2: the window shows "Time only (1 SV)"
    gps[2] = 2;  // DGPS mode 2 shows "DGPS auto"
    gps[3] = 9;  // no dynamics code 9
    EXPECT_EQ(TextOf(kGroupGPSConfiguration, gps, "Receiver Mode"), "Time only (1 SV) (code 2)");
    EXPECT_EQ(TextOf(kGroupGPSConfiguration, gps, "DGPS Mode"), "DGPS auto (code 2)");
    EXPECT_EQ(TextOf(kGroupGPSConfiguration, gps, "Dynamics Code"), "no item (code 9)");
    gps[1] = 1;
    EXPECT_EQ(TextOf(kGroupGPSConfiguration, gps, "Receiver Mode"), "Time only (1 SV)");

    std::vector<uint8_t> portA = GroupOf(FactorySettingsFile(), kGroupPortAConfiguration);
    portA[8] = 3;  // shown as item 1, "KIRP", which stands for 2
    EXPECT_EQ(TextOf(kGroupPortAConfiguration, portA, "Output Protocol"), "KIRP (code 3)");
    portA[2] = 0;
    EXPECT_EQ(TextOf(kGroupPortAConfiguration, portA, "Baud Rate (output)"), "None");
}

TEST(CliSettingsFields, DatumsAreNamedAndTwinNamesKeepTheirIndex) {
    std::vector<uint8_t> datum = GroupOf(FactorySettingsFile(), kGroupDatum);
    EXPECT_EQ(TextOf(kGroupDatum, datum, "Datum"), "WGS-84");
    datum[2] = 4;  // "European" is both index 4 and index 13
    EXPECT_EQ(TextOf(kGroupDatum, datum, "Datum"), "European (code 4)");
    datum[2] = 13;
    EXPECT_EQ(TextOf(kGroupDatum, datum, "Datum"), "European (code 13)");
    datum[1] = 0xFF;
    datum[2] = 0xFF;
    EXPECT_EQ(TextOf(kGroupDatum, datum, "Datum"), "Custom");
    datum[1] = 0x00;
    datum[2] = 180;
    EXPECT_EQ(TextOf(kGroupDatum, datum, "Datum"), "no item (code 180)");
}

TEST(CliSettingsFields, RadioButtonsAndFlags) {
    std::vector<uint8_t> options = GroupOf(FactorySettingsFile(), kGroupTimingOutputOptions);
    EXPECT_EQ(TextOf(kGroupTimingOutputOptions, options, "Output Options"),
              "When tracking at least 1 satellite");
    options[1] = 5;
    EXPECT_EQ(TextOf(kGroupTimingOutputOptions, options, "Output Options"), "no button (code 5)");

    std::vector<uint8_t> survey = GroupOf(FactorySettingsFile(), kGroupSelfSurveyConfiguration);
    survey[1] = 0x05;  // any value but 0 is on
    survey[2] = 0x00;
    EXPECT_EQ(TextOf(kGroupSelfSurveyConfiguration, survey, "Enable Self Survey"), "on");
    EXPECT_EQ(TextOf(kGroupSelfSurveyConfiguration, survey, "Auto Save Position"), "off");
}

TEST(CliSettingsFields, DecodingLeavesTheProgramStateAlone) {
    std::array<uint8_t, kSettingsImageSize> pattern{};
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + 1);
    SettingsImage = pattern;
    const bool datumEdits = CustomDatumEditsEnabled;
    std::vector<uint8_t> file = FactorySettingsFile();
    file[kDatumIndexAt] = 0xFF;
    file[kDatumIndexAt + 1] = 0xFF;  // "Custom": the datum rule would enable the edits
    for (const SettingsGroupInfo& info : kSettingsGroups)
        DecodeSettingsGroup(info.number, GroupOf(file, info.number).data());
    EXPECT_EQ(SettingsImage, pattern);
    EXPECT_EQ(CurrentSettingsView(), nullptr);
    EXPECT_EQ(CustomDatumEditsEnabled, datumEdits);
}

TEST(CliSettingsFields, DiffersLooksOnlyAtTheFieldsOwnBits) {
    const std::vector<uint8_t> a = GroupOf(FactorySettingsFile(), kGroupIOOptions);
    std::vector<uint8_t> b = a;
    b[0] ^= 0x10;  // "Double-Precision"
    for (const SettingsField& field : DecodeSettingsGroup(kGroupIOOptions, a.data()))
        EXPECT_EQ(field.Differs(a.data(), b.data()), field.name == "Double-Precision") << field.name;

    const std::vector<uint8_t> c = GroupOf(FactorySettingsFile(), kGroupGPSConfiguration);
    std::vector<uint8_t> d = c;
    d[8] ^= 0x01;  // the last bit of the elevation mask: the same "%0.1f" text
    const std::vector<SettingsField> fields = DecodeSettingsGroup(kGroupGPSConfiguration, c.data());
    const SettingsField* mask = Named(fields, "Elevation Mask (degrees)");
    ASSERT_NE(mask, nullptr);
    EXPECT_TRUE(mask->Differs(c.data(), d.data()));
    EXPECT_EQ(mask->text, TextOf(kGroupGPSConfiguration, d, "Elevation Mask (degrees)"));
}

TEST(CliSettingsFields, HexIsUpperCaseWithBlanks) {
    const uint8_t bytes[] = {0x00, 0x0A, 0xFF};
    EXPECT_EQ(HexBytes(bytes, 3), "00 0A FF");
    EXPECT_EQ(HexBytes(bytes, 0), "");
}
