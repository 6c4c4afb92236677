#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// What an effect panel's spin box shows for a stored setting: the value truncated toward
// zero. Settings read from a profile file can hold anything, so a value that is not finite
// shows as 0 and one beyond the range of int is held at its end before the spin box clamps it.
inline int spinBoxValue(float value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    const double v = std::trunc(static_cast<double>(value));
    if (v >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (v <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(v);
}

inline int spinBoxValue(uint64_t value) {
    return value > static_cast<uint64_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                          : static_cast<int>(value);
}
