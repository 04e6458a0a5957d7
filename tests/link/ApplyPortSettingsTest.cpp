// ApplyPortSettings over a scripted device: every code of the port configuration record mapped to
// the four line parameters. A pty keeps only the baud rate and the stop bits, so the data bits and
// parity are checked here, where the device records exactly what it was given.
#include <gtest/gtest.h>

#include <cstdint>

#include "link/PortContext.h"
#include "serial/Serial.h"
#include "tests/serial/FakeSerialDevice.h"

namespace {

struct CodeRow {
    uint8_t baudCode, dataCode, parityCode, stopCode;  // record bytes 1, 3, 4, 5
    DeviceLineSettings expected;                       // stop bits as the device codes them: 0 one, 2 two
};

const CodeRow kCodeRows[] = {
    {7, 3, 1, 0, {9600, 1, 8, 0}},  // the worked example: 9600 baud, 8 data bits, odd parity, 1 stop bit
    {0, 3, 0, 0, {0, 0, 8, 0}},
    {1, 2, 2, 1, {110, 2, 7, 2}},
    {2, 3, 0, 0, {300, 0, 8, 0}},
    {3, 3, 0, 0, {600, 0, 8, 0}},
    {4, 3, 0, 0, {1200, 0, 8, 0}},
    {5, 3, 0, 0, {2400, 0, 8, 0}},
    {6, 3, 0, 0, {4800, 0, 8, 0}},
    {8, 3, 0, 0, {19200, 0, 8, 0}},
    {9, 2, 2, 1, {38400, 2, 7, 2}},
    // Codes outside the tables: 9600 baud, 8 data bits, no parity, one stop bit.
    {12, 0, 3, 2, {9600, 0, 8, 0}},
    {10, 1, 4, 3, {9600, 0, 8, 0}},
    {255, 255, 255, 255, {9600, 0, 8, 0}},
};

class ApplyPortSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1); }
    void TearDown() override { SerialCloseAll(); }

    DeviceLineSettings LastWritten() {
        return fake.With([](FakeLine& l) { return l.settingsWritten.back(); });
    }
    size_t WrittenCount() {
        return fake.With([](FakeLine& l) { return l.settingsWritten.size(); });
    }

    FakeDeviceScope fake;
};

}  // namespace

TEST_F(ApplyPortSettingsTest, EveryCodeGivesItsLineParameters) {
    for (const CodeRow& row : kCodeRows) {
        const uint8_t record[kPortConfigurationSize] = {
            0, row.baudCode, 0, row.dataCode, row.parityCode, row.stopCode};
        const size_t before = WrittenCount();
        ApplyPortSettings(record, 0);
        ASSERT_EQ(WrittenCount(), before + 1) << int(row.baudCode);
        const DeviceLineSettings got = LastWritten();
        EXPECT_EQ(got.baudRate, row.expected.baudRate) << "baud code " << int(row.baudCode);
        EXPECT_EQ(got.dataBits, row.expected.dataBits) << "data bits code " << int(row.dataCode);
        EXPECT_EQ(got.parity, row.expected.parity) << "parity code " << int(row.parityCode);
        EXPECT_EQ(got.stopBits, row.expected.stopBits) << "stop bits code " << int(row.stopCode);
    }
}

// Bytes 0, 2 and 6 to 9 take no part: the output baud code in byte 2 never sets the rate.
TEST_F(ApplyPortSettingsTest, UnusedRecordBytesChangeNothing) {
    const uint8_t record[kPortConfigurationSize] = {1, 4, 9, 3, 2, 1, 0xFF, 0xFF, 0xFF, 0xFF};
    ApplyPortSettings(record, 0);
    const DeviceLineSettings got = LastWritten();
    EXPECT_EQ(got.baudRate, 1200);
    EXPECT_EQ(got.dataBits, 8);
    EXPECT_EQ(got.parity, 2);
    EXPECT_EQ(got.stopBits, 2);
}

// The line settings change and then both directions are purged, as SerialSetParams does.
TEST_F(ApplyPortSettingsTest, PurgesThePortAfterSettingTheLine) {
    const uint8_t record[kPortConfigurationSize] = {0, 6, 6, 3, 0, 0};
    ApplyPortSettings(record, 0);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.purgesInput, 1);
        EXPECT_EQ(l.purgesOutput, 1);
    });
}

// Only the twenty comm ports are addressed by a comm index; index 20 would be driver port 21.
TEST_F(ApplyPortSettingsTest, CommIndexBeyondTheTableSetsNothing) {
    ASSERT_EQ(SerialOpen(21, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    const size_t before = WrittenCount();
    const uint8_t record[kPortConfigurationSize] = {0, 6, 6, 3, 0, 0};
    ApplyPortSettings(record, kPortContextCount);
    EXPECT_EQ(WrittenCount(), before);
}
