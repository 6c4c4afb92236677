#include "forces/oscillator.h"

#include "forces/effectcurves.h"

#include <limits>

float oscillatorStep(OscillatorState& state, uint64_t now, float frequency, float amplitude,
                     JitterGenerator& jitter) {
    const float period = 1000.0f / ((1.0f + state.frequencyJitter) * frequency);
    if (!(period >= 1.0f) || period == std::numeric_limits<float>::infinity()) {
        // No whole-millisecond period: silent, and the clock moves on.
        state.lastTime = now;
        const float unjittered = 1000.0f / frequency;
        if (unjittered >= 1.0f && unjittered < std::numeric_limits<float>::infinity()) {
            // Only the jitter spoiled the period: draw it anew, or the shaker would stay
            // silent for as long as the program runs.
            state.amplitudeJitter = jitter.next();
            state.frequencyJitter = jitter.next();
        }
        return 0.0f;
    }
    // Periods longer than about 49 days are as good as a standstill.
    const uint64_t n = period < 4.0e9f ? static_cast<uint64_t>(period) : 4000000000ull;
    const uint64_t d = (now - state.lastTime) % (n + 1);
    const float e = static_cast<float>(d) / static_cast<float>(n) + state.phase;
    state.phase = e < 1.0f ? e : e - 1.0f;
    state.lastTime = now;
    const float output = square(state.phase, (1.0f + state.amplitudeJitter) * amplitude);
    if (e > 1.0f) {
        state.amplitudeJitter = jitter.next();
        state.frequencyJitter = jitter.next();
    }
    return finiteOrZero(output);
}
