// SHA-256 (FIPS 180-4) of a byte string, for the audit record's fingerprint of a settings file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest Sha256(const uint8_t* bytes, size_t count);
// The digest as 64 lower-case hex digits.
std::string Sha256Hex(const uint8_t* bytes, size_t count);
