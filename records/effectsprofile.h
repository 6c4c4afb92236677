#pragma once

#include "records/effectsprofilemetadata.h"
#include "records/effectssettings.h"

#include <QObject>

// A profile: metadata plus the effect settings of the three axes. The profile being edited
// lives in a ProfileSession.
class EffectsProfile {
    Q_GADGET

public:
    // The effect types; the editor's pages and the enabled-effect sets use these numbers.
    enum EffectType : int {
        EFFECT_TYPE_NATURAL_AIRFLOW = 0,
        EFFECT_TYPE_SIMPLE_SPRING = 1,
        EFFECT_TYPE_ELEVATOR_WEIGHT = 2,
        EFFECT_TYPE_DIRECT_X_FFB = 3,
        EFFECT_TYPE_LANDING_JOLT = 4,
        EFFECT_TYPE_AOA_SHAKER = 5,
        EFFECT_TYPE_EXTENDED_GEAR_SHAKER = 6,
        EFFECT_TYPE_EXTENDED_FLAPS_SHAKER = 7,
        EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER = 8,
        EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER = 9,
        EFFECT_TYPE_IL2_SHAKING = 10,
        EFFECT_TYPE_CONDOR_SHAKER = 11,
        EFFECT_TYPE_SMART_DAMPER = 12,
        EFFECT_TYPE_TRIM_FOLLOWING = 13,
    };
    Q_ENUM(EffectType)
    static constexpr int EffectTypeCount = 14;

    // Resets the three axes, then the metadata: source 0, empty module and comment.
    void resetToDefaults();

    EffectsProfileMetadata metadata;
    EffectsSettings effects;
};

Q_DECLARE_METATYPE(EffectsProfile)
