#pragma once

#include "records/effectsprofile.h"

#include <QMap>
#include <QString>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <cstring>

// Test helpers that see every current field of a profile by a dotted name
// ("elevator.aoa_shaker.frequency.max"), so tests can fill a profile with odd values and
// compare two profiles field by field, floats by their bit patterns.
namespace ProfileFields {

template <class V> void visitRange(const QString& n, EffectRange& r, V& v) {
    v(n + ".min", r.min);
    v(n + ".max", r.max);
    v(n + ".exp", r.exp);
}
template <class V> void visitEffect(const QString& n, SimpleEffectSettings& s, V& v) {
    v(n + ".active", s.active);
    v(n + ".total_effect_strength", s.total_effect_strength);
}
template <class V> void visitEffect(const QString& n, GenericSpeedDependantShakerSettings& s, V& v) {
    visitEffect(n, static_cast<SimpleEffectSettings&>(s), v);
    visitRange(n + ".speed", s.speed, v);
    visitRange(n + ".frequency", s.frequency, v);
}
template <class V> void visitEffect(const QString& n, AoAShakerSettings& s, V& v) {
    visitEffect(n, static_cast<GenericSpeedDependantShakerSettings&>(s), v);
    visitRange(n + ".aoa", s.aoa, v);
}
template <class V> void visitEffect(const QString& n, JoltSettings& s, V& v) {
    visitEffect(n, static_cast<GenericSpeedDependantShakerSettings&>(s), v);
    v(n + ".effect_time", s.effect_time);
}
template <class V> void visitEffect(const QString& n, AirflowSpringSettings& s, V& v) {
    visitEffect(n, static_cast<SimpleEffectSettings&>(s), v);
    v(n + ".airspeed_force", s.airspeed_force);
    v(n + ".thrust_force", s.thrust_force);
    v(n + ".attenuation_strength", s.attenuation_strength);
    v(n + ".local_aoa_influence_strength", s.local_aoa_influence_strength);
    v(n + ".attenuation_start_airspeed", s.attenuation_start_airspeed);
    v(n + ".attenuation_end_airspeed", s.attenuation_end_airspeed);
}
template <class V> void visitEffect(const QString& n, DirectXSettings& s, V& v) {
    visitEffect(n, static_cast<SimpleEffectSettings&>(s), v);
    v(n + ".trimmer", s.trimmer);
    v(n + ".force", s.force);
    v(n + ".periodic", s.periodic);
}
template <class V> void visitEffect(const QString& n, CondorShakerSettings& s, V& v) {
    visitEffect(n, static_cast<SimpleEffectSettings&>(s), v);
    visitRange(n + ".frequency", s.frequency, v);
}
template <class V> void visitEffect(const QString& n, SmartDamperSettings& s, V& v) {
    visitEffect(n, static_cast<SimpleEffectSettings&>(s), v);
    v(n + ".static_dampening", s.static_dampening);
    v(n + ".dynamic_dampening", s.dynamic_dampening);
}

// The member name of each effect type, by EffectsProfile::EffectType value.
inline QString memberName(int type) {
    static const char* const names[EffectsProfile::EffectTypeCount] = {
        "airflow_spring", "simple_spring", "elevator_weight", "direct_x",        "landing_jolt",
        "aoa_shaker",     "gear_shaker",   "flaps_shaker",    "airbrake_shaker", "on_ground_shaker",
        "il2_shaker",     "condor_shaker", "smart_damper",    "trim_following"};
    return type >= 0 && type < EffectsProfile::EffectTypeCount ? QString::fromLatin1(names[type]) : QString();
}

template <class V> void visitAxis(const QString& n, AxisEffectsSettings& a, V& v) {
    visitEffect(n + ".airflow_spring", a.airflow_spring, v);
    visitEffect(n + ".simple_spring", a.simple_spring, v);
    visitEffect(n + ".elevator_weight", a.elevator_weight, v);
    visitEffect(n + ".aoa_shaker", a.aoa_shaker, v);
    visitEffect(n + ".gear_shaker", a.gear_shaker, v);
    visitEffect(n + ".flaps_shaker", a.flaps_shaker, v);
    visitEffect(n + ".airbrake_shaker", a.airbrake_shaker, v);
    visitEffect(n + ".on_ground_shaker", a.on_ground_shaker, v);
    visitEffect(n + ".landing_jolt", a.landing_jolt, v);
    visitEffect(n + ".il2_shaker", a.il2_shaker, v);
    visitEffect(n + ".direct_x", a.direct_x, v);
    visitEffect(n + ".condor_shaker", a.condor_shaker, v);
    visitEffect(n + ".smart_damper", a.smart_damper, v);
    visitEffect(n + ".trim_following", a.trim_following, v);
}

inline const char* axisName(int axis) {
    static const char* const names[3] = {"ailerons", "elevator", "rudder"};
    return names[axis];
}

template <class V> void visitSettings(EffectsSettings& s, V& v) {
    for (int axis = 0; axis < 3; ++axis) {
        visitAxis(QString::fromLatin1(axisName(axis)), s.axes[axis], v);
    }
}

template <class V> void visitProfile(EffectsProfile& p, V& v) {
    v(QStringLiteral("metadata.flight_data_source"), p.metadata.flight_data_source);
    v(QStringLiteral("metadata.flight_module"), p.metadata.flight_module);
    v(QStringLiteral("metadata.comment"), p.metadata.comment);
    visitSettings(p.effects, v);
}

inline quint32 bits(float f) {
    quint32 u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

struct Dumper {
    QMap<QString, QVariant> out;
    void operator()(const QString& n, bool& b) { out.insert(n, b); }
    void operator()(const QString& n, float& f) { out.insert(n, QVariant::fromValue(bits(f))); }
    void operator()(const QString& n, uint64_t& t) { out.insert(n, QVariant::fromValue(quint64(t))); }
    void operator()(const QString& n, Telemetry::Source& s) { out.insert(n, int(s)); }
    void operator()(const QString& n, QString& s) { out.insert(n, s); }
};

// Every current field, floats as bit patterns, plus the attenuation curves.
inline QMap<QString, QVariant> fields(const EffectsSettings& settings) {
    EffectsSettings copy = settings;
    Dumper d;
    visitSettings(copy, d);
    for (int axis = 0; axis < 3; ++axis) {
        const AttenuationCurve& c = copy.axes[axis].airflow_spring.attenuationCurve;
        for (int k = 0; k < 11; ++k) {
            const QString n = QStringLiteral("%1.airflow_spring.curve.%2").arg(axisName(axis)).arg(k);
            d.out.insert(n + ".x", QVariant::fromValue(bits(c.x[k])));
            d.out.insert(n + ".y", QVariant::fromValue(bits(c.y[k])));
        }
    }
    return d.out;
}

inline QMap<QString, QVariant> fields(const EffectsProfile& profile) {
    EffectsProfile copy = profile;
    Dumper d;
    d(QStringLiteral("metadata.flight_data_source"), copy.metadata.flight_data_source);
    d(QStringLiteral("metadata.flight_module"), copy.metadata.flight_module);
    d(QStringLiteral("metadata.comment"), copy.metadata.comment);
    QMap<QString, QVariant> out = fields(copy.effects);
    out.insert(d.out);
    return out;
}

// Fills every field with a different odd value (subnormals, the largest float, values
// with no short decimal form); every effect active. The curves are rebuilt to match.
struct OddFiller {
    int k = 0;
    uint64_t seed = 0;
    float nextFloat() {
        static const float odd[] = {0.1f,        -0.3f,         1e-45f,     3.4028235e38f, 123456.789f,
                                    1.0f / 3.0f, -1e-10f,       7.0f,       2.5e-38f,      99.99f,
                                    -1000.125f,  16777217.0f,   -3.4e38f,   0.7f,          1e20f,
                                    -2.2f,       5.877472e-39f, 65504.001f, 0.0f,          1e-7f};
        const float base = odd[(k + seed) % (sizeof odd / sizeof odd[0])];
        const float scale = 1.0f + 0.03125f * float(k % 7); // keeps neighbours apart
        ++k;
        const float v = base * scale;
        return std::isfinite(v) ? v : base;
    }
    void operator()(const QString&, bool& b) { b = true; }
    void operator()(const QString&, float& f) { f = nextFloat(); }
    void operator()(const QString&, uint64_t& t) { t = 123456789012ull + uint64_t(k++); }
    void operator()(const QString&, Telemetry::Source& s) { s = Telemetry::TELEMETRY_SOURCE_IL2; }
    void operator()(const QString& n, QString& s) { s = QStringLiteral("odd %1 \u00e9\u6f22/\\..").arg(n); }
};

// Odd values that every editor control allows (all lie in 0..90), and effect times up to
// 1000 ms: a profile the editor could have saved, which must read back bit for bit.
struct OddInRangeFiller : OddFiller {
    float nextFloat() {
        static const float odd[] = {0.1f,  1e-45f, 1.0f / 3.0f, 7.0f, 2.5e-38f,   0.7f, 5.877472e-39f,
                                    1e-7f, 89.99f, 65.504f,     0.0f, 12.345678f, 1.1f, 44.4f};
        const float v = odd[(k + seed) % (sizeof odd / sizeof odd[0])];
        ++k;
        return v;
    }
    void operator()(const QString& n, bool& b) { OddFiller::operator()(n, b); }
    void operator()(const QString&, float& f) { f = nextFloat(); }
    void operator()(const QString&, uint64_t& t) { t = uint64_t(k++ % 1001); }
    void operator()(const QString& n, Telemetry::Source& s) { OddFiller::operator()(n, s); }
    void operator()(const QString& n, QString& s) { OddFiller::operator()(n, s); }
};

inline void fillOddInRange(EffectsProfile& profile, uint64_t seed = 0) {
    OddInRangeFiller filler;
    filler.seed = seed;
    visitProfile(profile, filler);
    for (AxisEffectsSettings& a : profile.effects.axes) {
        a.airflow_spring.setAttenuationAirspeeds(a.airflow_spring.attenuation_start_airspeed,
                                                 a.airflow_spring.attenuation_end_airspeed);
    }
}

inline void fillOdd(EffectsProfile& profile, uint64_t seed = 0) {
    OddFiller filler;
    filler.seed = seed;
    visitProfile(profile, filler);
    for (AxisEffectsSettings& a : profile.effects.axes) {
        a.airflow_spring.setAttenuationAirspeeds(a.airflow_spring.attenuation_start_airspeed,
                                                 a.airflow_spring.attenuation_end_airspeed);
    }
}

} // namespace ProfileFields
