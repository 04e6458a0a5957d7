// Load then capture, over many random settings files: the image must come back exactly as the
// normalisation rules of a load-and-save predict. The prediction below is written from those rules
// alone (codes, masks, fixed bytes, number formats); it does not use the control tables or the
// capture code.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "FakeSettingsView.h"
#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsImage.h"

namespace {

using Image = std::array<uint8_t, kSettingsImageSize>;

// Image offsets of the number fields.
constexpr int kAltitude = 1;
constexpr int kElevationMask = 20, kSignalMask = 24, kPdopMask = 28, kPdopSwitch = 32;
constexpr int kDatumParameters = 81;  // five doubles
constexpr int kPpsOffset = 125, kBias = 133, kPpsWidth = 145;

// Numbers written by their printf formats and read back in the C locale (the test runs in it).
// "%.Nf" read back by the strict real conversion, held in extended precision.
long double ThroughText(int decimals, double value) {
    char text[512];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return std::strtold(text, nullptr);
}

// "%.3e" read back by a double scan ("%lf"), rounded once straight to double.
double ThroughExponentScan(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3e", value);
    return std::strtod(text, nullptr);
}

uint8_t KeepIf(bool shown, uint8_t value, uint8_t noSelection) {
    return shown ? value : noSelection;
}

Image Predict(const Image& file) {
    Image out = file;
    uint8_t* b = out.data();

    // 2D Altitude: mode 0 passes the altitude through "%.3f"; mode 1 keeps it; others become 2.
    if (b[0] == 0)
        PutSingleBE(static_cast<float>(ThroughText(3, GetSingleBE(b + kAltitude))), b + kAltitude);
    else if (b[0] != 1)
        b[0] = 2;

    // I/O Options: only the bits with check boxes.
    b[5] &= 0x3F;
    b[6] &= 0x03;
    b[7] &= 0x1F;
    b[8] &= 0x03;

    // NMEA Output: byte 0 becomes 0; the interval survives "%u"; sentence bits 0-5 and 8 only.
    b[9] = 0;
    PutU32BE(GetU32BE(b + 11) & 0x13F, b + 11);

    // GPS Configuration.
    uint8_t& mode = b[16];
    mode = mode == 2 ? 1 : KeepIf(mode <= 7, mode, 0xFF);
    uint8_t& dgps = b[17];
    dgps = dgps == 2 ? 3 : KeepIf(dgps <= 1 || dgps == 3, dgps, 0xFF);
    b[18] = KeepIf(b[18] >= 1 && b[18] <= 4, b[18], 0);
    b[19] = KeepIf(b[19] >= 1 && b[19] <= 2, b[19], 0);
    const double degrees = static_cast<double>(GetSingleBE(b + kElevationMask)) * (180.0 / 3.14159);
    const long double radiansPerDegree = 0.017453277777777776;  // the double, widened
    PutSingleBE(static_cast<float>(ThroughText(1, degrees) * radiansPerDegree), b + kElevationMask);
    for (int offset : {kSignalMask, kPdopMask, kPdopSwitch})
        PutSingleBE(static_cast<float>(ThroughText(1, GetSingleBE(b + offset))), b + offset);

    // Port A (58) and Port B (68).
    for (int port = 0; port < 2; ++port) {
        uint8_t* p = b + 58 + 10 * port;
        p[0] = static_cast<uint8_t>(port);
        p[1] = KeepIf(p[1] <= 9, p[1], 0xFF);
        p[2] = p[1];
        p[3] = KeepIf(p[3] == 3, p[3], 2);
        p[4] = KeepIf(p[4] <= 2, p[4], 0xFF);
        p[5] = KeepIf(p[5] <= 1, p[5], 0xFF);
        p[6] = 0;
        // Protocols are shown as code ÷ 2 and stored as 2 × item; Port A's third input item is 8.
        const int inItem = (port == 0 && p[7] == 8) ? 2 : p[7] / 2;
        const int inItems = port == 0 ? 3 : 2;
        p[7] = inItem < inItems ? static_cast<uint8_t>(inItem == 2 ? 8 : 2 * inItem) : 0xFE;
        p[8] = p[8] / 2 < 3 ? static_cast<uint8_t>(2 * (p[8] / 2)) : 0xFE;
        p[9] = 0;
    }

    // Datum: 0x15; an index outside -1..179 becomes -2; parameters only for the custom datum.
    b[78] = 0x15;
    int16_t index = static_cast<int16_t>(GetU16BE(b + 79));
    if (index < -1 || index > 179) index = -2;
    PutU16BE(static_cast<uint16_t>(index), b + 79);
    const int parameterDecimals[5] = {1, 1, 1, 3, 14};
    for (int i = 0; i < 5; ++i) {
        uint8_t* field = b + kDatumParameters + 8 * i;
        if (index == -1)
            PutDoubleBE(static_cast<double>(ThroughText(parameterDecimals[i], GetDoubleBE(field))), field);
        else
            std::memset(field, 0, 8);
    }

    // Timing Output Settings: three two-item combo boxes, the offset through "%.3e", the bias
    // through "%.2f" read as a single.
    for (int offset : {122, 123, 124}) b[offset] = KeepIf(b[offset] <= 1, b[offset], 0xFF);
    PutDoubleBE(ThroughExponentScan(GetDoubleBE(b + kPpsOffset)), b + kPpsOffset);
    char biasText[128];
    std::snprintf(biasText, sizeof biasText, "%.2f", static_cast<double>(GetSingleBE(b + kBias)));
    PutSingleBE(std::strtof(biasText, nullptr), b + kBias);

    // Port B Automatic Output: bits 0-5, 8, 11, 30, 31.
    PutU32BE(GetU32BE(b + 138) & 0xC000093Fu, b + 138);

    // Timing Output Options: a window with no button chosen keeps any other value as it is.

    // PPS Width through "%.3e".
    PutDoubleBE(ThroughExponentScan(GetDoubleBE(b + kPpsWidth)), b + kPpsWidth);

    // Packet 8E-A5 Masks: byte 2 keeps bits 0, 5, 6, 7.
    b[155] &= 0xE1;

    // Self Survey: flags become 0 or 1; the limit survives "%ld".
    b[159] = b[159] != 0 ? 1 : 0;
    b[160] = b[160] != 0 ? 1 : 0;
    return out;
}

// Random bytes, with the number fields kept finite, and the code bytes often drawn from the small
// values that have items so that every rule is exercised.
Image RandomFile(std::mt19937& random) {
    Image file;
    std::uniform_int_distribution<int> byte(0, 255);
    for (uint8_t& b : file) b = static_cast<uint8_t>(byte(random));
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> small(0, 10);
    for (int offset :
         {0, 16, 17, 18, 19, 59, 61, 62, 63, 65, 66, 69, 71, 72, 73, 75, 76, 122, 123, 124, 143, 159, 160})
        if (coin(random)) file[static_cast<size_t>(offset)] = static_cast<uint8_t>(small(random));
    if (coin(random))
        PutU16BE(static_cast<uint16_t>(std::uniform_int_distribution<int>(-3, 182)(random)), &file[79]);
    if (coin(random)) PutU16BE(0xFFFF, &file[79]);

    std::uniform_real_distribution<double> moderate(-1000.0, 1000.0);
    auto finiteSingle = [&](int offset, float limit) {
        const float value = GetSingleBE(&file[static_cast<size_t>(offset)]);
        if (!std::isfinite(value) || std::fabs(value) > limit || coin(random))
            PutSingleBE(static_cast<float>(moderate(random)), &file[static_cast<size_t>(offset)]);
    };
    auto finiteDouble = [&](int offset) {
        const double value = GetDoubleBE(&file[static_cast<size_t>(offset)]);
        if (!std::isfinite(value) || coin(random))
            PutDoubleBE(moderate(random), &file[static_cast<size_t>(offset)]);
    };
    finiteSingle(kAltitude, 3.4e38f);
    // Near the top of the single range the degree conversion would overflow on the way back, which
    // the capture tests cover as an error of its own.
    finiteSingle(kElevationMask, 1e30f);
    for (int offset : {kSignalMask, kPdopMask, kPdopSwitch, kBias}) finiteSingle(offset, 3.4e38f);
    for (int i = 0; i < 5; ++i) finiteDouble(kDatumParameters + 8 * i);
    finiteDouble(kPpsOffset);
    finiteDouble(kPpsWidth);
    return file;
}

TEST(RoundTrip, LoadThenCaptureGivesThePredictedBytes) {
    constexpr unsigned kSeed = 20240611;
    constexpr int kFiles = 3000;
    std::mt19937 random(kSeed);
    for (int n = 0; n < kFiles; ++n) {
        const Image file = RandomFile(random);

        // A fresh window for each file: nothing chosen, the datum edits disabled.
        FakeSettingsView view;
        CustomDatumEditsEnabled = false;
        RegisterSettingsView(&view);
        SettingsImage.fill(0);

        Image buffer = file;
        std::FILE* stream = fmemopen(buffer.data(), buffer.size(), "rb");
        ASSERT_NE(stream, nullptr);
        LoadSettingsFromFile(stream);
        std::fclose(stream);
        ASSERT_TRUE(std::equal(SettingsImage.begin(), SettingsImage.end(), file.begin())) << "file " << n;

        ASSERT_NO_THROW(CaptureSettings()) << "file " << n;
        RegisterSettingsView(nullptr);

        const Image expected = Predict(file);
        for (int i = 0; i < kSettingsImageSize; ++i) {
            ASSERT_EQ(SettingsImage[static_cast<size_t>(i)], expected[static_cast<size_t>(i)])
                << "file " << n << " (seed " << kSeed << "), image byte " << i << ", file byte "
                << static_cast<int>(file[static_cast<size_t>(i)]);
        }
    }
}

// Loading the saved image again and capturing changes nothing more: the normalisation is complete.
TEST(RoundTrip, ASecondLoadAndCaptureIsStable) {
    std::mt19937 random(7);
    for (int n = 0; n < 500; ++n) {
        const Image file = RandomFile(random);
        Image first{};
        for (int pass = 0; pass < 2; ++pass) {
            FakeSettingsView view;
            CustomDatumEditsEnabled = false;
            RegisterSettingsView(&view);
            Image buffer = pass == 0 ? file : first;
            std::FILE* stream = fmemopen(buffer.data(), buffer.size(), "rb");
            ASSERT_NE(stream, nullptr);
            LoadSettingsFromFile(stream);
            std::fclose(stream);
            ASSERT_NO_THROW(CaptureSettings());
            RegisterSettingsView(nullptr);
            if (pass == 0) std::copy(SettingsImage.begin(), SettingsImage.end(), first.begin());
        }
        // Numbers may round once more through their formats (a width of 1.2345e-3 shows 1.234e-03,
        // then stays); everything else must be identical.
        EXPECT_TRUE(std::equal(SettingsImage.begin(), SettingsImage.end(), first.begin())) << "file " << n;
    }
}

}  // namespace
