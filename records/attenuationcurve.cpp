#include "records/attenuationcurve.h"

#include "records/finite.h"

AttenuationCurve AttenuationCurve::build(float start, float end) {
    float c = 0.5f * start / (end - start);
    if (c - c != 0.0f) {
        c = 0.0f;
    }
    AttenuationCurve curve;
    for (int k = 0; k <= 10; ++k) {
        const float t = static_cast<float>(k * 0.1);
        const float u = 1.0f - t;
        curve.x[k] = finiteOrZero(2.0f * u * t * c + t * t);
        curve.y[k] = 2.0f * u * t + t * t;
    }
    return curve;
}

float AttenuationCurve::lookup(float at) const {
    if (at <= x[0]) {
        return y[0];
    }
    for (int k = 1; k <= 10; ++k) {
        if (at >= x[k - 1] && at < x[k]) {
            return finiteOrZero(y[k - 1] + (y[k] - y[k - 1]) * (at - x[k - 1]) / (x[k] - x[k - 1]));
        }
    }
    return y[10];
}
