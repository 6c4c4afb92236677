#pragma once

#include "records/genericspeeddependantshakersettings.h"

// The angle-of-attack shaker: a speed-dependent shaker that also grows with the angle.
class AoAShakerSettings : public GenericSpeedDependantShakerSettings {
public:
    void resetToDefaults() override {
        GenericSpeedDependantShakerSettings::resetToDefaults();
        aoa.resetToDefaults();
    }

    EffectRange aoa{10.0f, 15.0f, 0.0f}; // degrees
};
