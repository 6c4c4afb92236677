#pragma once

#include <array>
#include <cstdint>
#include <cstring>

// Reading the little-endian floats of a 65-byte HID report in tests.
inline float reportFloat(const std::array<uint8_t, 65>& report, int offset) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(report[offset + i]) << (8 * i);
    }
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline uint32_t floatBits(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}
