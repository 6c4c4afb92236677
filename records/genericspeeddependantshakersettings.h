#pragma once

#include "records/effectrange.h"
#include "records/simpleeffectsettings.h"

// A shaker whose strength and frequency follow the airspeed: gear, flaps, airbrake and
// rolling on ground, and the base of the AoA shaker and the landing jolt.
class GenericSpeedDependantShakerSettings : public SimpleEffectSettings {
public:
    void resetToDefaults() override {
        SimpleEffectSettings::resetToDefaults();
        speed.resetToDefaults();
        frequency.resetToDefaults();
    }

    EffectRange speed{0.0f, 1000.0f, 0.0f};    // km/h; strength from nothing at min to full at max
    EffectRange frequency{10.0f, 20.0f, 0.0f}; // Hz
};
