#include "records/axiseffectssettings.h"

#include "records/effectsprofile.h"

void AxisEffectsSettings::resetToDefaults() {
    airflow_spring.resetToDefaults();
    simple_spring.resetToDefaults();
    elevator_weight.resetToDefaults();
    aoa_shaker.resetToDefaults();
    gear_shaker.resetToDefaults();
    flaps_shaker.resetToDefaults();
    airbrake_shaker.resetToDefaults();
    on_ground_shaker.resetToDefaults();
    landing_jolt.resetToDefaults();
    il2_shaker.resetToDefaults();
    direct_x.resetToDefaults();
    condor_shaker.resetToDefaults();
    smart_damper.resetToDefaults();
    trim_following.resetToDefaults();
}

const SimpleEffectSettings* AxisEffectsSettings::effect(int effectType) const {
    switch (effectType) {
    case EffectsProfile::EFFECT_TYPE_NATURAL_AIRFLOW:
        return &airflow_spring;
    case EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING:
        return &simple_spring;
    case EffectsProfile::EFFECT_TYPE_ELEVATOR_WEIGHT:
        return &elevator_weight;
    case EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB:
        return &direct_x;
    case EffectsProfile::EFFECT_TYPE_LANDING_JOLT:
        return &landing_jolt;
    case EffectsProfile::EFFECT_TYPE_AOA_SHAKER:
        return &aoa_shaker;
    case EffectsProfile::EFFECT_TYPE_EXTENDED_GEAR_SHAKER:
        return &gear_shaker;
    case EffectsProfile::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER:
        return &flaps_shaker;
    case EffectsProfile::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER:
        return &airbrake_shaker;
    case EffectsProfile::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER:
        return &on_ground_shaker;
    case EffectsProfile::EFFECT_TYPE_IL2_SHAKING:
        return &il2_shaker;
    case EffectsProfile::EFFECT_TYPE_CONDOR_SHAKER:
        return &condor_shaker;
    case EffectsProfile::EFFECT_TYPE_SMART_DAMPER:
        return &smart_damper;
    case EffectsProfile::EFFECT_TYPE_TRIM_FOLLOWING:
        return &trim_following;
    default:
        return nullptr;
    }
}

SimpleEffectSettings* AxisEffectsSettings::effect(int effectType) {
    return const_cast<SimpleEffectSettings*>(
        static_cast<const AxisEffectsSettings*>(this)->effect(effectType));
}
