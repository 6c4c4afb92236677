#pragma once

#include <cstdint>

// Normal random values (mean 0, standard deviation 0.2) for the shakers' period-to-period
// wander: the minimal standard linear congruential generator (16807, 2^31 - 1) seeded with
// 1, turned into normal values in pairs by the polar method. Deterministic, so a run can be
// reproduced. Control thread only: one process-wide instance, never reseeded.
class JitterGenerator {
public:
    static JitterGenerator& instance();

    // The next uniform value in [0, 1).
    float uniform();
    // The next normal value times 0.2; every second call returns the value kept from the pair.
    float next();

private:
    uint32_t state_ = 1;
    bool haveSaved_ = false;
    float saved_ = 0.0f;
};
