#include "telemetry/telemetryranges.h"

#include "records/finite.h"

#include <algorithm>

namespace TelemetryRanges {

float clampToRange(float value, Range range) {
    return std::clamp(finiteOrZero(value), range.min, range.max);
}

void clampToPhysicalRanges(Telemetry& t) {
    t.airspeed = clampToRange(t.airspeed, Airspeed);
    t.verticalSpeed = clampToRange(t.verticalSpeed, VerticalSpeed);
    t.aileronAoa = clampToRange(t.aileronAoa, Angle);
    t.aoa = clampToRange(t.aoa, Angle);
    t.sideslip = clampToRange(t.sideslip, Angle);
    t.rollRate = clampToRange(t.rollRate, RollRate);
    t.gForce = clampToRange(t.gForce, GForce);
    t.propAirflow = clampToRange(t.propAirflow, Thrust);
    t.trimmerRoll = clampToRange(t.trimmerRoll, Trim);
    t.trimmerPitch = clampToRange(t.trimmerPitch, Trim);
    t.trimmerYaw = clampToRange(t.trimmerYaw, Trim);
    t.gear = clampToRange(t.gear, Extension);
    t.airbrake = clampToRange(t.airbrake, Extension);
    t.flaps = clampToRange(t.flaps, Extension);
}

} // namespace TelemetryRanges
