#pragma once

// The attenuation curve of the natural-airflow spring: eleven samples of the quadratic
// Bezier curve (0,0), (c,1), (1,1) whose initial slope matches the quadratic growth of
// the spring below the start airspeed, so the force has no kink there.
struct AttenuationCurve {
    float x[11] = {};
    float y[11] = {};

    // Builds the curve for a start airspeed S and an end airspeed E (c = 0.5 * S / (E - S)).
    // Equal airspeeds, which would divide by zero, give the straight-sided curve of c = 0.
    static AttenuationCurve build(float start, float end);
    // Linear interpolation between the samples; y0 below the first, y10 past the last.
    // A curve that was never built returns 0 everywhere.
    float lookup(float at) const;
};
