#include "forces/centrefollower.h"

#include "records/finite.h"

#include <algorithm>
#include <cmath>

float CentreFollower::goal(float percent, float strengthPercent) {
    const float c = finiteOrZero(finiteOrZero(percent) / 100.0f * finiteOrZero(strengthPercent) / 100.0f);
    return std::clamp(c, -1.0f, 1.0f);
}

void CentreFollower::step(uint64_t now, const bool following[3], const float goal[3]) {
    // A clock that stands or goes back moves nothing; a long gap (a stalled loop) counts as at
    // most a second, which is enough for any fade to finish.
    const uint64_t dt = started_ && now > last_ ? std::min<uint64_t>(now - last_, FadeMs) : 0;
    started_ = true;
    last_ = now;
    if (dt == 0) {
        return;
    }
    const float seconds = static_cast<float>(dt) / 1000.0f;
    const float alpha = 1.0f - std::exp(-2.0f * 3.14159265f * CutoffHz * seconds);
    const float fade = static_cast<float>(dt) / static_cast<float>(FadeMs);
    const float maxStep = MaxStepPerPeriod * static_cast<float>(dt) / static_cast<float>(PeriodMs);

    for (int axis = 0; axis < 3; ++axis) {
        Axis& a = axes_[axis];
        if (following[axis]) {
            a.held = std::clamp(finiteOrZero(goal[axis]), -1.0f, 1.0f);
            a.weight = std::min(1.0f, a.weight + fade);
        } else {
            a.weight = std::max(0.0f, a.weight - fade);
        }
        const float target = a.weight * a.held;
        const float move = std::clamp(alpha * (target - a.centre), -maxStep, maxStep);
        a.centre = std::clamp(finiteOrZero(a.centre + move), -1.0f, 1.0f);
        // Home is exactly 0, so a stick left alone carries no leftover offset.
        if (a.weight == 0.0f && std::fabs(a.centre) < 1e-4f) {
            a.centre = 0.0f;
        }
    }
}
