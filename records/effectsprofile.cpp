#include "records/effectsprofile.h"

void EffectsProfile::resetToDefaults() {
    effects.resetToDefaults();
    metadata = EffectsProfileMetadata{};
}

EffectsProfile& currentEffectsProfile() {
    static EffectsProfile profile;
    return profile;
}
