#pragma once

#include <algorithm>
#include <cstdint>

// What each control of the effect editor allows, one entry per kind of setting. The profile
// reader holds every value it loads to these, so the editor shows what the stick gets; they
// match the spin boxes of the panel forms in ui/. Values inside a range are kept exactly,
// fractions included: a profile saved by the editor loads bit for bit.
// Threading: constants and a pure function; any thread.
namespace EditorRanges {

struct Range {
    float min;
    float max;
};

constexpr Range Strength{0.0f, 100.0f};         // total strength and every other percent
constexpr Range CondorStrength{0.0f, 99.0f};    // the Condor shaker's total strength
constexpr Range Dampening{0.0f, 500.0f};        // smart damper, percent
constexpr Range Exponent{-100.0f, 100.0f};      // curve exponent of every range, percent
constexpr Range ShakerSpeed{0.0f, 1000.0f};     // km/h, the speed range of a shaker
constexpr Range Frequency{0.0f, 100.0f};        // Hz
constexpr Range AoaAngle{0.0f, 90.0f};          // degrees, the AoA shaker's angle range
constexpr Range AttenuationStart{0.0f, 500.0f}; // km/h
constexpr Range AttenuationEnd{0.0f, 1000.0f};  // km/h
constexpr uint64_t JoltTimeMax = 1000;          // ms, from 0

// The value held to the range. Callers hand in finite values; NaN reads as the range's minimum.
inline float clampTo(float value, Range range) {
    return value >= range.min ? std::min(value, range.max) : range.min;
}

} // namespace EditorRanges
