#pragma once

#include "records/effectsettingsbase.h"

// An effect with nothing but an on/off flag and a total strength in percent: the simple
// spring, the elevator weight and the IL-2 shaker. Every other effect builds on it.
class SimpleEffectSettings : public EffectSettingsBase {
public:
    void resetToDefaults() override {
        active = active_default;
        total_effect_strength = total_effect_strength_default;
    }

    bool active = false;
    float total_effect_strength = 0.0f; // percent, 0..100

    bool active_default = false;
    float total_effect_strength_default = 0.0f;
};
