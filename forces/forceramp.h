#pragma once

#include "records/axisforce.h"
#include "records/directxoverridetypedef.h"
#include "records/forces.h"

#include <QtGlobal>

// The forces rise linearly from zero over the 2000 ms after a restart: at start, when a device
// connects, after a release of held forces and after a stall of the loop, because the program
// cannot know where the hand is then. A game's stream that starts fades in over the same time.
// Damper gains are not ramped. A plain value of the control thread.
class ForceRamp {
public:
    static constexpr qint64 DurationMs = 2000;

    void restart(qint64 now) { start_ = now; }
    // The factor at `now`: e / 2000.0 as a float while the ramp runs, 1.0 once it has passed
    // (or before the first restart).
    float factor(qint64 now) const;

private:
    qint64 start_ = -1;
};

// The lower of two ramps' factors, so that a device's own ramp and the loop's both hold.
float combinedRamp(const ForceRamp& loop, const ForceRamp& device, qint64 now);

// The master gain as the devices get it: a change moves it towards the new value at most full
// scale per 500 ms, so that a gain turned up from 0 does not kick. A plain value of the control
// thread, advanced once per tick.
class GainSlew {
public:
    static constexpr qint64 FullScaleMs = 500;

    // Where the gain is to go, 0..1.
    void setTarget(float target) { target_ = target; }
    // Goes there at once (before the loop runs, nobody holds the stick).
    void jumpTo(float value) { target_ = value_ = value; }
    // Moves towards the target by the time passed since the last call; returns the gain.
    float advance(qint64 now);
    float value() const { return value_; }

private:
    float value_ = 1.0f;
    float target_ = 1.0f;
    qint64 last_ = -1;
};

// A force within -100..100, and 0 for a non-finite one; vibration and spring magnitude pass.
void clampForce(AxisForce& force);
// Force, vibration and spring magnitude of every axis held to -limit..limit, a non-finite value
// read as 0: what the device can carry, before ramps and gains scale it.
void boundForces(Forces& forces, float limit);
// sum += forces * weight, for each of the nine floats.
void addWeighted(Forces& sum, const Forces& forces, float weight);
// (1 - t) * from + t * to, for each of the nine floats.
Forces blendForces(const Forces& from, const Forces& to, float t);

// Each of the six gains multiplied by t.
DirectXOverrideTypeDef scaledGains(const DirectXOverrideTypeDef& gains, float t);
// sum += gains * weight, for each of the six gains.
void addWeighted(DirectXOverrideTypeDef& sum, const DirectXOverrideTypeDef& gains, float weight);
bool sameGains(const DirectXOverrideTypeDef& a, const DirectXOverrideTypeDef& b);
