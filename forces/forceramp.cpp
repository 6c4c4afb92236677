#include "forces/forceramp.h"

#include "forces/effectcurves.h"

#include <algorithm>

float ForceRamp::factor(qint64 now) const {
    if (start_ < 0) {
        return 1.0f;
    }
    const qint64 e = now - start_;
    if (e > DurationMs) {
        return 1.0f;
    }
    // A clock that went back reads as the ramp's start.
    const float t = static_cast<float>(static_cast<double>(std::max<qint64>(e, 0)) / 2000.0);
    return std::min(t, 1.0f);
}

float combinedRamp(const ForceRamp& loop, const ForceRamp& device, qint64 now) {
    return std::min(loop.factor(now), device.factor(now));
}

void clampForce(AxisForce& force) {
    force.force = std::clamp(finiteOrZero(force.force), -100.0f, 100.0f);
}
