#include "records/effectsprofile.h"

void EffectsProfile::resetToDefaults() {
    effects.resetToDefaults();
    metadata = EffectsProfileMetadata{};
}
