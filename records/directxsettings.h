#pragma once

#include "records/simpleeffectsettings.h"

// Gains for the force-feedback effects a game sends to the device itself. They reach the
// device in the DirectX override report, not through the synthesis.
class DirectXSettings : public SimpleEffectSettings {
public:
    void resetToDefaults() override {
        SimpleEffectSettings::resetToDefaults();
        trimmer = 0.0f;
        force = 0.0f;
        periodic = 0.0f;
    }

    float trimmer = 0.0f;  // percent; not scaled by the total strength
    float force = 0.0f;    // percent, spring effects
    float periodic = 0.0f; // percent, periodic effects
};
