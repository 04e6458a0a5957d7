#include "bytes/ByteOrder.h"

#include <bit>

uint16_t GetU16BE(const uint8_t* position) {
    return static_cast<uint16_t>((position[0] << 8) | position[1]);
}

uint32_t GetU32BE(const uint8_t* position) {
    return (static_cast<uint32_t>(position[0]) << 24) | (static_cast<uint32_t>(position[1]) << 16) |
           (static_cast<uint32_t>(position[2]) << 8) | static_cast<uint32_t>(position[3]);
}

static uint64_t GetU64BE(const uint8_t* position) {
    return (static_cast<uint64_t>(GetU32BE(position)) << 32) | GetU32BE(position + 4);
}

float GetSingleBE(const uint8_t* position) {
    return std::bit_cast<float>(GetU32BE(position));
}

double GetDoubleBE(const uint8_t* position) {
    return std::bit_cast<double>(GetU64BE(position));
}

void PutU16BE(uint16_t value, uint8_t* position) {
    position[0] = static_cast<uint8_t>(value >> 8);
    position[1] = static_cast<uint8_t>(value);
}

void PutU32BE(uint32_t value, uint8_t* position) {
    position[0] = static_cast<uint8_t>(value >> 24);
    position[1] = static_cast<uint8_t>(value >> 16);
    position[2] = static_cast<uint8_t>(value >> 8);
    position[3] = static_cast<uint8_t>(value);
}

void PutSingleBE(float value, uint8_t* position) {
    PutU32BE(std::bit_cast<uint32_t>(value), position);
}

void PutDoubleBE(double value, uint8_t* position) {
    const auto bits = std::bit_cast<uint64_t>(value);
    PutU32BE(static_cast<uint32_t>(bits >> 32), position);
    PutU32BE(static_cast<uint32_t>(bits), position + 4);
}
