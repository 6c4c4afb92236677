#pragma once

#include "records/axisforce.h"
#include "records/forces.h"

#include <QtGlobal>

// The forces rise linearly from zero over the 2000 ms after a restart: at start, after a sudden
// settings change, when a device connects, after a release of held forces and after a stall of
// the loop, because the program cannot know where the hand is then. Damper gains are not
// ramped. A plain value of the control thread.
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

// A force within -100..100, and 0 for a non-finite one; vibration and spring magnitude pass.
void clampForce(AxisForce& force);
