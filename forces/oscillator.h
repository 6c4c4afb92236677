#pragma once

#include "forces/jittergenerator.h"

#include <cstdint>

// State of one square-wave shaker oscillator: one per axis for each shaker and for the
// landing jolt. All zero at start; never reset, so a shaker switched off and on resumes.
struct OscillatorState {
    uint64_t lastTime = 0; // ms of the run clock at the previous step
    float phase = 0.0f;    // 0 <= phase < 1
    float frequencyJitter = 0.0f;
    float amplitudeJitter = 0.0f;
};

// One step of a square wave of frequency f (Hz) and amplitude A at time now (ms). Returns
// the output to add to the axis's vibration. At the end of each period the amplitude and
// frequency jitters are drawn anew from the generator. A frequency with no whole-millisecond
// period (0, negative, above 1000 Hz, NaN) outputs 0; so does a step whose jitter leaves no
// such period, and that step draws new jitters so the shaker resumes.
float oscillatorStep(OscillatorState& state, uint64_t now, float frequency, float amplitude,
                     JitterGenerator& jitter = JitterGenerator::instance());
