// Feeds arbitrary bytes to the profile reader. Every float it leaves must be finite, and
// writing what was read and reading that again must give the same document.
#include "profiles/profilejson.h"

#include <QByteArray>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void requireFinite(float value) {
    if (!std::isfinite(value)) {
        std::abort();
    }
}

void requireFinite(const EffectRange& range) {
    requireFinite(range.min);
    requireFinite(range.max);
    requireFinite(range.exp);
}

void requireFinite(const AxisEffectsSettings& axis) {
    const SimpleEffectSettings* effects[] = {
        &axis.airflow_spring, &axis.simple_spring, &axis.elevator_weight, &axis.aoa_shaker,
        &axis.gear_shaker,    &axis.flaps_shaker,  &axis.airbrake_shaker, &axis.on_ground_shaker,
        &axis.landing_jolt,   &axis.il2_shaker,    &axis.direct_x,        &axis.condor_shaker,
        &axis.smart_damper};
    for (const SimpleEffectSettings* effect : effects) {
        requireFinite(effect->total_effect_strength);
    }
    const GenericSpeedDependantShakerSettings* shakers[] = {&axis.aoa_shaker,       &axis.gear_shaker,
                                                            &axis.flaps_shaker,     &axis.airbrake_shaker,
                                                            &axis.on_ground_shaker, &axis.landing_jolt};
    for (const GenericSpeedDependantShakerSettings* shaker : shakers) {
        requireFinite(shaker->speed);
        requireFinite(shaker->frequency);
    }
    requireFinite(axis.aoa_shaker.aoa);
    requireFinite(axis.condor_shaker.frequency);
    const AirflowSpringSettings& airflow = axis.airflow_spring;
    requireFinite(airflow.airspeed_force);
    requireFinite(airflow.thrust_force);
    requireFinite(airflow.attenuation_strength);
    requireFinite(airflow.local_aoa_influence_strength);
    requireFinite(airflow.attenuation_start_airspeed);
    requireFinite(airflow.attenuation_end_airspeed);
    for (int k = 0; k < 11; ++k) {
        requireFinite(airflow.attenuationCurve.x[k]);
        requireFinite(airflow.attenuationCurve.y[k]);
    }
    requireFinite(axis.direct_x.trimmer);
    requireFinite(axis.direct_x.force);
    requireFinite(axis.direct_x.periodic);
    requireFinite(axis.smart_damper.static_dampening);
    requireFinite(axis.smart_damper.dynamic_dampening);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    EffectsProfile profile;
    ProfileJson::fromDocument(bytes, profile);
    for (const AxisEffectsSettings& axis : profile.effects.axes) {
        requireFinite(axis);
    }

    const QByteArray written = ProfileJson::toDocument(profile);
    EffectsProfile again;
    ProfileJson::fromDocument(written, again);
    if (ProfileJson::toDocument(again) != written) {
        std::abort();
    }
    return 0;
}
