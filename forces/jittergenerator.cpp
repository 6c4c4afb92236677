#include "forces/jittergenerator.h"

#include <cmath>

JitterGenerator& JitterGenerator::instance() {
    static JitterGenerator generator;
    return generator;
}

float JitterGenerator::uniform() {
    state_ = static_cast<uint32_t>((static_cast<uint64_t>(state_) * 16807u) % 2147483647u);
    const float u = static_cast<float>(static_cast<double>(state_ - 1u) / 2147483648.0);
    // The largest states round up to 1.0 in single precision; the value stays below 1.
    return u < 1.0f ? u : 0.99999994f;
}

float JitterGenerator::next() {
    if (haveSaved_) {
        haveSaved_ = false;
        return saved_ * 0.2f;
    }
    float u;
    float v;
    float s;
    do {
        u = 2.0f * uniform() - 1.0f;
        v = 2.0f * uniform() - 1.0f;
        s = u * u + v * v;
    } while (s > 1.0f || s == 0.0f);
    const float m = std::sqrt(-2.0f * std::log(s) / s);
    saved_ = u * m;
    haveSaved_ = true;
    return v * m * 0.2f;
}
