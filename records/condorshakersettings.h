#pragma once

#include "records/effectrange.h"
#include "records/simpleeffectsettings.h"

// Settings of the Condor 2 shaker. They are stored and edited but produce no force.
class CondorShakerSettings : public SimpleEffectSettings {
public:
    void resetToDefaults() override {
        SimpleEffectSettings::resetToDefaults();
        frequency.resetToDefaults();
    }

    EffectRange frequency{10.0f, 20.0f, 0.0f}; // Hz
};
