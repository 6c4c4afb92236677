#include "forces/forceramp.h"

#include "forces/effectcurves.h"

#include <algorithm>
#include <cmath>

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

float GainSlew::advance(qint64 now) {
    const qint64 elapsed = last_ < 0 ? 0 : std::max<qint64>(now - last_, 0);
    last_ = now;
    const float step = static_cast<float>(static_cast<double>(elapsed) / static_cast<double>(FullScaleMs));
    const float gap = target_ - value_;
    if (std::fabs(gap) <= step) {
        value_ = target_;
    } else {
        value_ += gap > 0.0f ? step : -step;
    }
    return value_;
}

void clampForce(AxisForce& force) {
    force.force = std::clamp(finiteOrZero(force.force), -100.0f, 100.0f);
}

void boundForces(Forces& forces, float limit) {
    for (AxisForce& a : forces.axis) {
        a.force = std::clamp(finiteOrZero(a.force), -limit, limit);
        a.vibration = std::clamp(finiteOrZero(a.vibration), -limit, limit);
        a.springMagnitude = std::clamp(finiteOrZero(a.springMagnitude), -limit, limit);
    }
}

void addWeighted(Forces& sum, const Forces& forces, float weight) {
    for (int i = 0; i < 3; ++i) {
        sum.axis[i].force += forces.axis[i].force * weight;
        sum.axis[i].vibration += forces.axis[i].vibration * weight;
        sum.axis[i].springMagnitude += forces.axis[i].springMagnitude * weight;
    }
}

Forces blendForces(const Forces& from, const Forces& to, float t) {
    Forces out = to;
    out.scale(t);
    addWeighted(out, from, 1.0f - t);
    return out;
}

DirectXOverrideTypeDef scaledGains(const DirectXOverrideTypeDef& g, float t) {
    DirectXOverrideTypeDef out;
    addWeighted(out, g, t);
    return out;
}

void addWeighted(DirectXOverrideTypeDef& sum, const DirectXOverrideTypeDef& g, float weight) {
    sum.trimmerX += g.trimmerX * weight;
    sum.trimmerY += g.trimmerY * weight;
    sum.springX += g.springX * weight;
    sum.springY += g.springY * weight;
    sum.periodicX += g.periodicX * weight;
    sum.periodicY += g.periodicY * weight;
}

bool sameGains(const DirectXOverrideTypeDef& a, const DirectXOverrideTypeDef& b) {
    return a.trimmerX == b.trimmerX && a.trimmerY == b.trimmerY && a.springX == b.springX &&
           a.springY == b.springY && a.periodicX == b.periodicX && a.periodicY == b.periodicY;
}
