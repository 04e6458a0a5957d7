// Big-endian field codecs: every multi-byte number in a packet payload and in the Settings Image.
// Plain functions over byte positions: no alignment requirement, no bounds check, bits copied exactly.
#pragma once

#include <cstdint>

uint16_t GetU16BE(const uint8_t* position);
uint32_t GetU32BE(const uint8_t* position);
float GetSingleBE(const uint8_t* position);
double GetDoubleBE(const uint8_t* position);

void PutU16BE(uint16_t value, uint8_t* position);
void PutU32BE(uint32_t value, uint8_t* position);
void PutSingleBE(float value, uint8_t* position);
void PutDoubleBE(double value, uint8_t* position);
