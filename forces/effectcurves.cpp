#include "forces/effectcurves.h"

#include <cmath>
#include <cstdint>

namespace {

// Sine of 0, 10, 20 ... 360 degrees to four decimals.
constexpr float kSineTable[37] = {
    0.0f,    0.1736f, 0.342f,   0.5f,    0.6428f, 0.766f,   0.866f,   0.9397f, 0.9848f,  1.0f,
    0.9848f, 0.9397f, 0.866f,   0.766f,  0.6428f, 0.5f,     0.342f,   0.1736f, 0.0f,     -0.1736f,
    -0.342f, -0.5f,   -0.6428f, -0.766f, -0.866f, -0.9397f, -0.9848f, -1.0f,   -0.9848f, -0.9397f,
    -0.866f, -0.766f, -0.6428f, -0.5f,   -0.342f, -0.1736f, 0.0f,
};

} // namespace

float sinDeg(float degrees) {
    if (!std::isfinite(degrees)) {
        return 0.0f;
    }
    float n;
    if (std::fabs(degrees) < 2147483648.0f) {
        // Whole turns are taken off in integer arithmetic, as the table expects.
        const int64_t q = static_cast<int64_t>(degrees) / 360;
        n = degrees - 360.0f * static_cast<float>(q);
    } else {
        n = static_cast<float>(std::fmod(static_cast<double>(degrees), 360.0));
    }
    if (n < 0.0f) {
        n += 360.0f;
    }
    if (!(n >= 0.0f) || n >= 360.0f) {
        // A tiny negative angle can normalise to exactly 360: that is the last entry, 0.
        return 0.0f;
    }
    const int i = static_cast<int>(n) / 10;
    return kSineTable[i] + (n - 10.0f * static_cast<float>(i)) / 10.0f * (kSineTable[i + 1] - kSineTable[i]);
}

float cosDeg(float degrees) {
    return sinDeg(degrees + 90.0f);
}

float shape(float t, float e) {
    float result;
    if (e > 1.0f) {
        result = t * t * t;
    } else if (e < -1.0f) {
        const float r = 1.0f - t;
        result = 1.0f - r * r * r;
    } else if (e > 0.0f) {
        result = e * (t * t * t) + (1.0f - e) * t;
    } else {
        const float a = std::fabs(e);
        const float r = 1.0f - t;
        result = a * (1.0f - r * r * r) + (1.0f - a) * t;
    }
    return finiteOrZero(result);
}

float mapRange(float t, const EffectRange& range) {
    return finiteOrZero(range.min + (range.max - range.min) * shape(t, range.exp / 100.0f));
}

float fraction(float v, float lo, float hi) {
    const float width = hi - lo;
    if (width == 0.0f) {
        return 0.0f;
    }
    const float f = (v - lo) / width;
    if (f > 1.0f) {
        return 1.0f;
    }
    if (f < 0.0f) {
        return 0.0f;
    }
    return f == f ? f : 0.0f;
}

float lerp(float a, float b, float t) {
    return (1.0f - t) * a + t * b;
}

float square(float phase, float amplitude) {
    return phase <= 0.5f ? amplitude : -amplitude;
}
