#pragma once

#include "forces/oscillator.h"
#include "records/condor2telemetry.h"
#include "records/effectssettings.h"
#include "records/forces.h"

#include <cstdint>

// Condor's turbulence through the `condor_shaker` effect: the record's turbulence strength sets
// the amplitude and, across the effect's frequency range, the frequency; each axis where the
// effect is active shakes scaled by its strength. It follows each record, so calm air (or the
// stream's all-zero end) stills it at once.
//
// Threading: a plain value owned by the control loop; addTo() runs once per tick on the control
// thread while Condor is the current game. Never blocks.
class CondorShaker {
public:
    // Adds the shaking of this tick to the vibration of each axis. `now` is the run clock (ms).
    void addTo(Forces& forces, uint64_t now, const Condor2Telemetry& record, const EffectsSettings& settings);

private:
    OscillatorState axes_[3];
};
