#pragma once

#include "records/telemetry.h"

#include <cmath>

// Stops the fuzzer at the first record field that is NaN or infinite.
inline void trapUnlessFinite(float value) {
    if (!std::isfinite(value)) {
        __builtin_trap();
    }
}

inline void trapUnlessFinite(const Telemetry& t) {
    for (float f :
         {t.airspeed, t.verticalSpeed, t.aileronAoa, t.aoa, t.sideslip, t.rollRate, t.gForce, t.propAirflow,
          t.trimmerRoll, t.trimmerPitch, t.trimmerYaw, t.gear, t.airbrake, t.flaps}) {
        trapUnlessFinite(f);
    }
}
