#pragma once

#include "records/airflowspringsettings.h"
#include "records/aoashakersettings.h"
#include "records/condorshakersettings.h"
#include "records/directxsettings.h"
#include "records/genericspeeddependantshakersettings.h"
#include "records/joltsettings.h"
#include "records/simpleeffectsettings.h"
#include "records/smartdampersettings.h"

// All fourteen effects of one axis, always present; an effect is in use when its `active`
// flag is set. Members are in the order the profile reader visits them.
class AxisEffectsSettings {
public:
    void resetToDefaults();

    // The effect of an EffectsProfile::EffectType value (0..13), or null for any other value.
    SimpleEffectSettings* effect(int effectType);
    const SimpleEffectSettings* effect(int effectType) const;

    AirflowSpringSettings airflow_spring;
    SimpleEffectSettings simple_spring;
    SimpleEffectSettings elevator_weight;
    AoAShakerSettings aoa_shaker;
    GenericSpeedDependantShakerSettings gear_shaker;
    GenericSpeedDependantShakerSettings flaps_shaker;
    GenericSpeedDependantShakerSettings airbrake_shaker;
    GenericSpeedDependantShakerSettings on_ground_shaker;
    JoltSettings landing_jolt;
    SimpleEffectSettings il2_shaker;
    DirectXSettings direct_x;
    CondorShakerSettings condor_shaker;
    SmartDamperSettings smart_damper;
    // Moves the centre of the axis's position-driven effects to the game's trim (or, under the
    // autopilot, to the control surface); the synthesis reads it through CentreFollower.
    SimpleEffectSettings trim_following;
};
