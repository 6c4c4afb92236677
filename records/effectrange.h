#pragma once

// An input or output interval of an effect with its curve exponent in percent
// (0 linear, +100 cubic ease-in, -100 cubic ease-out). Each value has a stored default
// that resetToDefaults() restores; a new range holds its defaults only as defaults.
struct EffectRange {
    EffectRange() = default;
    EffectRange(float defaultMin, float defaultMax, float defaultExp)
        : min_default(defaultMin), max_default(defaultMax), exp_default(defaultExp) {}

    void resetToDefaults() {
        min = min_default;
        max = max_default;
        exp = exp_default;
    }

    float min = 0.0f;
    float max = 0.0f;
    float exp = 0.0f;

    float min_default = 0.0f;
    float max_default = 0.0f;
    float exp_default = 0.0f;
};
