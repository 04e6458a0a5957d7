// The settings file: loaded as the window loads it (every group shown in the controls of a settings
// view), the image is the file's first 169 bytes with FF for any it lacks; captured back, it is
// captured alike a second time (what a load-and-save makes of a file is stable); and every set
// command the image produces lays out within the packet buffer, starts with its group's packet id
// and subcode, and travels in a frame that decodes back to the same packet.
//
// Input: the file.
#include "settings/SettingsFile.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "link/Framing.h"
#include "messages/SettingsCommands.h"
#include "settings/Capture.h"
#include "settings/Datum.h"
#include "settings/Display.h"
#include "settings/SettingsImage.h"
#include "settings/SettingsView.h"

namespace {

constexpr const char* kTarget = "settings_file";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void Load(const uint8_t* data, size_t size) {
    // fmemopen needs a non-empty writable buffer; an empty file is /dev/null.
    std::vector<uint8_t> copy(data, data + size);
    std::unique_ptr<std::FILE, FileCloser> file(size == 0 ? std::fopen("/dev/null", "rb")
                                                          : fmemopen(copy.data(), size, "rb"));
    FuzzCheck(file != nullptr, kTarget, "the file opens");
    if (file) LoadSettingsFromFile(file.get());
}

// Captures the view into the image; false when a conversion refused a text the display wrote.
bool Capture() {
    try {
        CaptureSettings();
        return true;
    } catch (const ConversionError&) {
        return false;
    }
}

void CheckFrame(const uint8_t* packet, int length) {
    std::vector<uint8_t> frame(kFrameBufferSize);
    const int frameSize = FrameEncode(packet, length, frame.data(), kFrameBufferSize);
    FuzzCheck(frameSize > 0, kTarget, "every command fits a frame");
    FrameDecoder decoder;
    int packets = 0;
    for (int i = 0; i < frameSize; ++i) {
        if (FrameDecodeByte(decoder.Fields(), frame[static_cast<size_t>(i)]) == 0) continue;
        ++packets;
        FuzzCheck(decoder.packetId == packet[0] &&
                      decoder.completedLength == static_cast<uint32_t>(length - 1) &&
                      std::memcmp(decoder.payload, packet + 1, static_cast<size_t>(length - 1)) == 0,
                  kTarget, "every command decodes back to itself");
    }
    FuzzCheck(packets == 1, kTarget, "every command is one frame");
}

void CheckSetCommands() {
    for (int g = 1; g <= kGroupCount; ++g) {
        // Exactly the documented room, so that a longer layout is an overrun.
        auto packet = std::make_unique<uint8_t[]>(kMaxPacketLength);
        const uint8_t* group = SettingsGroupBytes(g);
        const int length = BuildSetPacket(g, group, packet.get());
        FuzzCheck(length >= 0 && length <= kMaxPacketLength, kTarget, "a set command fits its buffer");
        const GroupPackets& row = kGroupPackets[static_cast<size_t>(g - 1)];
        if (length == 0) {
            FuzzCheck(g == kGroup2DAltitude && group[0] > 1, kTarget,
                      "only a 2D Altitude group of neither form sends nothing");
            continue;
        }
        FuzzCheck(packet[0] == row.requestId, kTarget, "a set command starts with its group's packet id");
        const bool cancelForm = g == kGroup2DAltitude && group[0] == 1;
        if (row.subcode >= 0)
            FuzzCheck(packet[1] == row.subcode, kTarget, "a set command carries its subcode");
        if (cancelForm)
            FuzzCheck(length == 2 && packet[1] == kAltitudeCancelByte, kTarget, "the cancel form is 2A FF");
        CheckFrame(packet.get(), length);
    }
    for (uint8_t selector = 0; selector <= 1; ++selector) {
        auto packet = std::make_unique<uint8_t[]>(kMaxPacketLength);
        const int length = BuildSetPortConfigurationPacket(
            selector, SettingsGroupBytes(selector == 0 ? kGroupPortAConfiguration : kGroupPortBConfiguration),
            packet.get());
        FuzzCheck(length > 2 && length <= kMaxPacketLength && packet[1] == selector, kTarget,
                  "a port configuration command fits its buffer and names its port");
        if (length > 0 && length <= kMaxPacketLength) CheckFrame(packet.get(), length);
    }
}

}  // namespace

int FuzzSettingsFile(const uint8_t* data, size_t size) {
    // Without a window: the image is the file.
    SettingsImage.fill(0x5A);
    Load(data, size);
    std::array<uint8_t, kSettingsImageSize> expected;
    expected.fill(0xFF);
    std::memcpy(expected.data(), data, size < expected.size() ? size : expected.size());
    FuzzCheck(SettingsImage == expected, kTarget,
              "the image is the file's first 169 bytes, FF where it ends");
    CheckSetCommands();

    // With the window's controls: display, capture, and once more.
    FuzzSettingsView view(kTarget);
    CustomDatumEditsEnabled = false;
    RegisterSettingsView(&view);
    SettingsImage.fill(0x5A);
    Load(data, size);
    FuzzCheck(SettingsImage == expected, kTarget, "showing a loaded group stores it unchanged");
    if (Capture()) {
        const auto once = SettingsImage;
        CheckSetCommands();
        for (const SettingsGroupInfo& group : kSettingsGroups)
            ShowGroup(group.number, once.data() + group.offset);
        FuzzCheck(Capture(), kTarget, "what capture stored, shown again, captures again");
        FuzzCheck(SettingsImage == once, kTarget, "a second load-and-capture changes nothing more");
    }
    RegisterSettingsView(nullptr);
    CustomDatumEditsEnabled = false;
    return 0;
}
