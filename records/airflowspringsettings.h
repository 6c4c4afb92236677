#pragma once

#include "records/attenuationcurve.h"
#include "records/simpleeffectsettings.h"

// The natural-airflow spring: stiffens with the square of airspeed and with propeller
// wash, and its growth is attenuated along a curve between a start and an end airspeed.
class AirflowSpringSettings : public SimpleEffectSettings {
public:
    void resetToDefaults() override;

    // Stores both airspeeds and rebuilds the attenuation curve from them. Every change of
    // either airspeed goes through here so the curve never goes stale.
    void setAttenuationAirspeeds(float start, float end);

    float airspeed_force = 0.0f;               // percent
    float thrust_force = 0.0f;                 // percent
    float attenuation_strength = 100.0f;       // percent
    float local_aoa_influence_strength = 0.0f; // percent
    AttenuationCurve attenuationCurve;         // derived from the two airspeeds, never stored
    float attenuation_start_airspeed = 500.0f; // km/h
    float attenuation_end_airspeed = 1000.0f;  // km/h

    float airspeed_force_default = 0.0f;
    float thrust_force_default = 0.0f;
    float attenuation_strength_default = 100.0f;
    float local_aoa_influence_strength_default = 0.0f;
    float attenuation_start_airspeed_default = 500.0f;
    float attenuation_end_airspeed_default = 1000.0f;
};
