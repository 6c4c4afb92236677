#pragma once

#include "records/genericspeeddependantshakersettings.h"

#include <cstdint>

// The landing jolt: a short shake armed by a touch-down, fading over effect_time.
class JoltSettings : public GenericSpeedDependantShakerSettings {
public:
    void resetToDefaults() override {
        GenericSpeedDependantShakerSettings::resetToDefaults();
        effect_time = effect_time_default;
    }

    uint64_t effect_time = 0; // milliseconds
    uint64_t effect_time_default = 250;
};
