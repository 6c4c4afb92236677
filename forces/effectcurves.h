#pragma once

#include "records/effectrange.h"
#include "records/finite.h"

// The small numeric tools every effect is built from. All are total: for any input,
// including zero-width ranges, NaN and infinities, they return a finite value.

// Sine of an angle in degrees from a 10-degree table with linear interpolation.
float sinDeg(float degrees);
// Cosine in degrees: sinDeg(x + 90).
float cosDeg(float degrees);
// Exponent curve on t in 0..1; e is the exponent in percent divided by 100:
// 0 linear, 1 cubic ease-in, -1 cubic ease-out, beyond +/-1 as +/-1.
float shape(float t, float e);
// Places t (0..1) in a range along its exponent curve: min + (max - min) * shape(t, exp / 100).
float mapRange(float t, const EffectRange& range);
// Where v lies between lo and hi, clamped to 0..1; 0 for a zero-width range.
float fraction(float v, float lo, float hi);
// (1 - t) * a + t * b.
float lerp(float a, float b, float t);
// +amplitude for the first half of a period (phase <= 0.5), -amplitude for the second.
float square(float phase, float amplitude);
