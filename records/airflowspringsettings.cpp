#include "records/airflowspringsettings.h"

void AirflowSpringSettings::resetToDefaults() {
    SimpleEffectSettings::resetToDefaults();
    setAttenuationAirspeeds(attenuation_start_airspeed_default, attenuation_end_airspeed_default);
    airspeed_force = airspeed_force_default;
    thrust_force = thrust_force_default;
    attenuation_strength = attenuation_strength_default;
    local_aoa_influence_strength = local_aoa_influence_strength_default;
}

void AirflowSpringSettings::setAttenuationAirspeeds(float start, float end) {
    attenuation_start_airspeed = start;
    attenuation_end_airspeed = end;
    attenuationCurve = AttenuationCurve::build(start, end);
}
