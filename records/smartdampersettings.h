#pragma once

#include "records/simpleeffectsettings.h"

// The device-side dampers, sent as gains in every direct-control report.
class SmartDamperSettings : public SimpleEffectSettings {
public:
    void resetToDefaults() override {
        SimpleEffectSettings::resetToDefaults();
        static_dampening = static_dampening_default;
        dynamic_dampening = dynamic_dampening_default;
    }

    float static_dampening = 0.0f;  // percent, up to 500 in the editor
    float dynamic_dampening = 0.0f; // percent, up to 500 in the editor

    float static_dampening_default = 0.0f;
    float dynamic_dampening_default = 0.0f;
};
