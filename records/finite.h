#pragma once

// value itself when finite, otherwise 0: the rule for every number that reaches a record or a report.
inline float finiteOrZero(float value) {
    return (value - value == 0.0f) ? value : 0.0f;
}
inline double finiteOrZero(double value) {
    return (value - value == 0.0) ? value : 0.0;
}
