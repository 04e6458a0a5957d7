// Golden rows for the Settings Commands: one row per command, the group bytes in and the exact
// frame bytes out (DLE, id, stuffed payload, DLE, ETX).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "messages/SettingsCommands.h"

namespace command_rows {

using Bytes = std::vector<uint8_t>;

struct CommandRow {
    const char* name;
    Bytes group;                                         // empty for commands without one
    std::function<int(const uint8_t*, uint8_t*)> build;  // group, packet → length
    std::function<void(const uint8_t*, int16_t)> send;   // group, comm index
    Bytes frame;                                         // empty: nothing is sent
};

inline Bytes Sequence(uint8_t first, size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline CommandRow Request(const char* name, int groupNo, Bytes frame) {
    return {name,
            {},
            [groupNo](const uint8_t*, uint8_t* packet) { return BuildRequestPacket(groupNo, packet); },
            [groupNo](const uint8_t*, int16_t commIndex) { SendRequest(groupNo, commIndex); },
            std::move(frame)};
}

inline CommandRow Set(const char* name, int groupNo, Bytes group, Bytes frame) {
    return {name, std::move(group),
            [groupNo](const uint8_t* g, uint8_t* packet) { return BuildSetPacket(groupNo, g, packet); },
            [groupNo](const uint8_t* g, int16_t commIndex) { SendSet(groupNo, g, commIndex); },
            std::move(frame)};
}

inline CommandRow Control(const char* name, ControlCommandNo command, void (*send)(int16_t), Bytes frame) {
    return {name,
            {},
            [command](const uint8_t*, uint8_t* packet) {
                const ControlCommand& control = kControlCommands[static_cast<size_t>(command)];
                std::copy(control.bytes.begin(), control.bytes.begin() + control.length, packet);
                return static_cast<int>(control.length);
            },
            [send](const uint8_t*, int16_t commIndex) { send(commIndex); },
            std::move(frame)};
}

inline std::vector<CommandRow> AllCommandRows() {
    const Bytes gps = Sequence(0xA0, 43);  // A0 .. CA
    const Bytes customDatum = Concat({{0x15, 0xFF, 0xFF}, Sequence(0x40, 40)});
    const Bytes portB = {0x01, 0x07, 0x09, 0x03, 0x00, 0x00, 0x05, 0x02, 0x04, 0x06};
    return {
        {"Link Check",
         {},
         [](const uint8_t*, uint8_t* packet) { return BuildLinkCheckPacket(packet); },
         [](const uint8_t*, int16_t commIndex) { SendLinkCheck(commIndex); },
         {0x10, 0x1F, 0x10, 0x03}},

        Request("Request 2D Altitude", 1, {0x10, 0x2A, 0x10, 0x03}),
        Request("Request I/O Options", 2, {0x10, 0x35, 0x10, 0x03}),
        Request("Request NMEA Output", 3, {0x10, 0x7A, 0x00, 0x10, 0x03}),
        Request("Request GPS Configuration", 4, {0x10, 0xBB, 0x00, 0x10, 0x03}),
        Request("Request Port A Configuration", 5, {0x10, 0xBC, 0x00, 0x10, 0x03}),
        Request("Request Port B Configuration", 6, {0x10, 0xBC, 0x01, 0x10, 0x03}),
        Request("Request Datum", 7, {0x10, 0x8E, 0x15, 0x10, 0x03}),
        Request("Request Timing Output Settings", 8, {0x10, 0x8E, 0x4A, 0x10, 0x03}),
        Request("Request Port B Automatic Output", 9, {0x10, 0x8E, 0x4D, 0x10, 0x03}),
        Request("Request Timing Output Options", 10, {0x10, 0x8E, 0x4E, 0x10, 0x03}),
        Request("Request PPS Width", 11, {0x10, 0x8E, 0x4F, 0x10, 0x03}),
        Request("Request Packet 8E-A5 Masks", 12, {0x10, 0x8E, 0xA5, 0x10, 0x03}),
        Request("Request Self Survey Configuration", 13, {0x10, 0x8E, 0xA9, 0x10, 0x03}),
        {"Request Port Configuration, selector 0",
         {},
         [](const uint8_t*, uint8_t* packet) { return BuildRequestPortConfigurationPacket(0, packet); },
         [](const uint8_t*, int16_t commIndex) { RequestPortConfiguration(0, commIndex); },
         {0x10, 0xBC, 0x00, 0x10, 0x03}},
        {"Request Port Configuration, selector 1",
         {},
         [](const uint8_t*, uint8_t* packet) { return BuildRequestPortConfigurationPacket(1, packet); },
         [](const uint8_t*, int16_t commIndex) { RequestPortConfiguration(1, commIndex); },
         {0x10, 0xBC, 0x01, 0x10, 0x03}},

        Set("Set 2D Altitude, altitude form", 1, {0x00, 0x44, 0x7A, 0x00, 0x00},
            {0x10, 0x2A, 0x44, 0x7A, 0x00, 0x00, 0x10, 0x03}),
        Set("Set 2D Altitude, altitude with a DLE", 1, {0x00, 0x41, 0x10, 0x00, 0x00},
            {0x10, 0x2A, 0x41, 0x10, 0x10, 0x00, 0x00, 0x10, 0x03}),
        Set("Set 2D Altitude, cancel form", 1, {0x01, 0x44, 0x7A, 0x00, 0x00},
            {0x10, 0x2A, 0xFF, 0x10, 0x03}),
        Set("Set 2D Altitude, neither form", 1, {0x02, 0x44, 0x7A, 0x00, 0x00}, {}),
        Set("Set 2D Altitude, form byte FF", 1, {0xFF, 0x44, 0x7A, 0x00, 0x00}, {}),
        Set("Set I/O Options", 2, {0x3F, 0x10, 0x1F, 0x03},
            {0x10, 0x35, 0x3F, 0x10, 0x10, 0x1F, 0x03, 0x10, 0x03}),
        Set("Set NMEA Output", 3, {0x55, 0x05, 0x00, 0x00, 0x01, 0x3F},
            {0x10, 0x7A, 0x00, 0x05, 0x00, 0x00, 0x01, 0x3F, 0x10, 0x03}),
        Set("Set GPS Configuration", 4, gps,
            Concat({{0x10, 0xBB, 0x00}, Sequence(0xA1, 21), Bytes(21, 0xFF), {0x10, 0x03}})),
        Set("Set Port A Configuration", 5, {0x00, 0x09, 0x01, 0x03, 0x02, 0x01, 0x07, 0x08, 0x04, 0x05},
            {0x10, 0xBC, 0x00, 0x09, 0x09, 0x03, 0x02, 0x01, 0x00, 0x08, 0x04, 0x00, 0x10, 0x03}),
        Set("Set Port B Configuration", 6, portB,
            {0x10, 0xBC, 0x01, 0x07, 0x07, 0x03, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x10, 0x03}),
        {"Set Port Configuration, selector 1",
         portB,
         [](const uint8_t* g, uint8_t* packet) { return BuildSetPortConfigurationPacket(1, g, packet); },
         [](const uint8_t* g, int16_t commIndex) { SetPortConfiguration(1, g, commIndex); },
         {0x10, 0xBC, 0x01, 0x07, 0x07, 0x03, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x10, 0x03}},
        {"Set Port Configuration, selector 0 with a group for port B",
         portB,
         [](const uint8_t* g, uint8_t* packet) { return BuildSetPortConfigurationPacket(0, g, packet); },
         [](const uint8_t* g, int16_t commIndex) { SetPortConfiguration(0, g, commIndex); },
         {0x10, 0xBC, 0x00, 0x07, 0x07, 0x03, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x10, 0x03}},
        Set("Set Datum, index 00 15", 7, Concat({{0x15, 0x00, 0x15}, Sequence(0x40, 40)}),
            {0x10, 0x8E, 0x15, 0x00, 0x15, 0x10, 0x03}),
        Set("Set Datum, index FF 00", 7, Concat({{0x15, 0xFF, 0x00}, Sequence(0x40, 40)}),
            {0x10, 0x8E, 0x15, 0xFF, 0x00, 0x10, 0x03}),
        Set("Set Datum, index 00 10", 7, Concat({{0x15, 0x00, 0x10}, Bytes(40, 0)}),
            {0x10, 0x8E, 0x15, 0x00, 0x10, 0x10, 0x10, 0x03}),
        Set("Set Datum, custom FF FF", 7, customDatum,
            Concat({{0x10, 0x8E, 0x15}, Sequence(0x40, 40), {0x10, 0x03}})),
        Set("Set Timing Output Settings", 8,
            {0x4A, 0x01, 0x00, 0x01, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x41, 0x20, 0x00, 0x00},
            {0x10, 0x8E, 0x4A, 0x01, 0x00, 0x01, 0x3F, 0xF0, 0,    0,
             0,    0,    0,    0,    0x41, 0x20, 0x00, 0x00, 0x10, 0x03}),
        Set("Set Port B Automatic Output", 9, {0x00, 0xC0, 0x00, 0x09, 0x3F},
            {0x10, 0x8E, 0x4D, 0xC0, 0x00, 0x09, 0x3F, 0x10, 0x03}),
        Set("Set Timing Output Options", 10, {0x99, 0x03}, {0x10, 0x8E, 0x4E, 0x03, 0x10, 0x03}),
        Set("Set PPS Width", 11, {0x4F, 0x3F, 0x10, 0x62, 0x4D, 0xD2, 0xF1, 0xA9, 0xFC},
            {0x10, 0x8E, 0x4F, 0x3F, 0x10, 0x10, 0x62, 0x4D, 0xD2, 0xF1, 0xA9, 0xFC, 0x10, 0x03}),
        Set("Set Packet 8E-A5 Masks", 12, {0xA5, 0x33, 0xE1, 0x77, 0x88},
            {0x10, 0x8E, 0xA5, 0x33, 0xE1, 0x00, 0x00, 0x10, 0x03}),
        Set("Set Self Survey Configuration", 13,
            {0xA9, 0x01, 0x01, 0x00, 0x00, 0x07, 0xD0, 0x11, 0x22, 0x33, 0x44},
            {0x10, 0x8E, 0xA9, 0x01, 0x01, 0x00, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x00, 0x00, 0x10, 0x03}),

        Control("Save Settings", kControlSaveSettings, SendSaveSettings, {0x10, 0x8E, 0x26, 0x10, 0x03}),
        Control("Command 0x1E", kControl1E, SendCommand1E, {0x10, 0x1E, 0x4B, 0x10, 0x03}),
        Control("Command 0x32", kControl32, SendCommand32,
                Concat({{0x10, 0x32}, Bytes(12, 0x00), {0x10, 0x03}})),
        Control("Command 0x8E-A6", kControl8EA6, SendCommand8EA6, {0x10, 0x8E, 0xA6, 0x00, 0x10, 0x03}),
        Control("Command 0x8E-45", kControl8E45, SendCommand8E45, {0x10, 0x8E, 0x45, 0x06, 0x10, 0x03}),
    };
}

}  // namespace command_rows
