#include "profiles/profilejson.h"

#include "profiles/editorranges.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ProfileJson {

namespace {

using EditorRanges::clampTo;

// A JSON number narrowed to a float and held to what its editor control allows; anything
// else, or a number that would narrow to an infinity, is the fallback. The comparison also
// rejects NaN.
float readFloat(const QJsonObject& object, QLatin1StringView key, float fallback, EditorRanges::Range range) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) {
        return clampTo(fallback, range);
    }
    // Halfway between the largest float and the next power of two: anything from there
    // up would round to infinity. Just below it, rounding gives the largest float.
    constexpr double overflow = 3.4028235677973366e38;
    const double number = value.toDouble();
    if (!(std::fabs(number) < overflow)) {
        return clampTo(fallback, range);
    }
    if (std::fabs(number) > static_cast<double>(FLT_MAX)) {
        return clampTo(number < 0 ? -FLT_MAX : FLT_MAX, range);
    }
    return clampTo(static_cast<float>(number), range);
}

// The exact double of a float; a non-finite float is written as its (finite) default.
QJsonValue writeFloat(float value, float fallback) {
    if (std::isfinite(value)) {
        return static_cast<double>(value);
    }
    return std::isfinite(fallback) ? static_cast<double>(fallback) : 0.0;
}

// True with the value when the member is a JSON number with an integral value that fits
// 64 bits. Qt answers the fallback of toInteger() for anything else, so two different
// fallbacks that both come back mean the number really is integral.
bool readIntegral(const QJsonValue& value, qint64& out) {
    if (!value.isDouble()) {
        return false;
    }
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b) {
        return false;
    }
    out = a;
    return true;
}

template <class Settings>
void readEffectMember(const QJsonObject& axis, QLatin1StringView key, Settings& settings) {
    const QJsonValue value = axis.value(key);
    if (value.isObject()) {
        readEffect(value.toObject(), settings);
    } else {
        settings.resetToDefaults();
    }
}

void readRangeMember(const QJsonObject& effect, QLatin1StringView key, EffectRange& range,
                     EditorRanges::Range bounds) {
    const QJsonValue value = effect.value(key);
    if (value.isObject()) {
        readRange(value.toObject(), range, bounds);
    } else {
        range.resetToDefaults();
    }
}

template <class Settings>
void writeEffectMember(QJsonObject& axis, QLatin1StringView key, const Settings& settings) {
    if (settings.active) {
        axis.insert(key, writeEffect(settings));
    }
}

constexpr QLatin1StringView kAxisKeys[3] = {QLatin1StringView("ailerons"), QLatin1StringView("elevator"),
                                            QLatin1StringView("rudder")};

} // namespace

QJsonObject writeRange(const EffectRange& range) {
    QJsonObject object;
    object.insert(QLatin1StringView("min"), writeFloat(range.min, range.min_default));
    object.insert(QLatin1StringView("max"), writeFloat(range.max, range.max_default));
    object.insert(QLatin1StringView("exp"), writeFloat(range.exp, range.exp_default));
    return object;
}

void readRange(const QJsonObject& object, EffectRange& range, EditorRanges::Range bounds) {
    range.min = readFloat(object, QLatin1StringView("min"), range.min_default, bounds);
    range.max = readFloat(object, QLatin1StringView("max"), range.max_default, bounds);
    range.exp = readFloat(object, QLatin1StringView("exp"), range.exp_default, EditorRanges::Exponent);
}

QJsonObject writeEffect(const SimpleEffectSettings& settings) {
    QJsonObject object;
    object.insert(QLatin1StringView("active"), settings.active);
    object.insert(QLatin1StringView("total_effect_strength"),
                  writeFloat(settings.total_effect_strength, settings.total_effect_strength_default));
    return object;
}

void readEffect(const QJsonObject& object, SimpleEffectSettings& settings) {
    const QJsonValue active = object.value(QLatin1StringView("active"));
    settings.active = active.isBool() ? active.toBool() : settings.active_default;
    settings.total_effect_strength =
        readFloat(object, QLatin1StringView("total_effect_strength"), settings.total_effect_strength_default,
                  EditorRanges::Strength);
}

QJsonObject writeEffect(const GenericSpeedDependantShakerSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const SimpleEffectSettings&>(settings));
    object.insert(QLatin1StringView("speed"), writeRange(settings.speed));
    object.insert(QLatin1StringView("frequency"), writeRange(settings.frequency));
    return object;
}

void readEffect(const QJsonObject& object, GenericSpeedDependantShakerSettings& settings) {
    readEffect(object, static_cast<SimpleEffectSettings&>(settings));
    readRangeMember(object, QLatin1StringView("speed"), settings.speed, EditorRanges::ShakerSpeed);
    readRangeMember(object, QLatin1StringView("frequency"), settings.frequency, EditorRanges::Frequency);
}

QJsonObject writeEffect(const AoAShakerSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const GenericSpeedDependantShakerSettings&>(settings));
    object.insert(QLatin1StringView("aoa"), writeRange(settings.aoa));
    return object;
}

void readEffect(const QJsonObject& object, AoAShakerSettings& settings) {
    readEffect(object, static_cast<GenericSpeedDependantShakerSettings&>(settings));
    readRangeMember(object, QLatin1StringView("aoa"), settings.aoa, EditorRanges::AoaAngle);
}

QJsonObject writeEffect(const JoltSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const GenericSpeedDependantShakerSettings&>(settings));
    // A time past the largest JSON integer Qt holds is written as that largest integer.
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<qint64>::max());
    const qint64 time = static_cast<qint64>(settings.effect_time < limit ? settings.effect_time : limit);
    object.insert(QLatin1StringView("effect_time"), time);
    return object;
}

void readEffect(const QJsonObject& object, JoltSettings& settings) {
    readEffect(object, static_cast<GenericSpeedDependantShakerSettings&>(settings));
    const QJsonValue value = object.value(QLatin1StringView("effect_time"));
    qint64 time = 0;
    if (!value.isDouble()) {
        settings.effect_time = settings.effect_time_default;
    } else if (value.toDouble() >= static_cast<double>(EditorRanges::JoltTimeMax)) {
        settings.effect_time = EditorRanges::JoltTimeMax;
    } else if (readIntegral(value, time) && time >= 0) {
        settings.effect_time = static_cast<uint64_t>(time);
    } else {
        // A fractional or negative time means nothing; such a jolt lasts no time at all.
        settings.effect_time = 0;
    }
}

QJsonObject writeEffect(const AirflowSpringSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const SimpleEffectSettings&>(settings));
    object.insert(
        QLatin1StringView("attenuation_start_airspeed"),
        writeFloat(settings.attenuation_start_airspeed, settings.attenuation_start_airspeed_default));
    object.insert(QLatin1StringView("attenuation_end_airspeed"),
                  writeFloat(settings.attenuation_end_airspeed, settings.attenuation_end_airspeed_default));
    object.insert(QLatin1StringView("airspeed_force"),
                  writeFloat(settings.airspeed_force, settings.airspeed_force_default));
    object.insert(QLatin1StringView("thrust_force"),
                  writeFloat(settings.thrust_force, settings.thrust_force_default));
    object.insert(QLatin1StringView("attenuation_strength"),
                  writeFloat(settings.attenuation_strength, settings.attenuation_strength_default));
    object.insert(
        QLatin1StringView("local_aoa_influence_strength"),
        writeFloat(settings.local_aoa_influence_strength, settings.local_aoa_influence_strength_default));
    return object;
}

void readEffect(const QJsonObject& object, AirflowSpringSettings& settings) {
    readEffect(object, static_cast<SimpleEffectSettings&>(settings));
    // Both airspeeds first: they rebuild the attenuation curve together.
    const float start =
        readFloat(object, QLatin1StringView("attenuation_start_airspeed"),
                  settings.attenuation_start_airspeed_default, EditorRanges::AttenuationStart);
    const float end = readFloat(object, QLatin1StringView("attenuation_end_airspeed"),
                                settings.attenuation_end_airspeed_default, EditorRanges::AttenuationEnd);
    settings.setAttenuationAirspeeds(start, end);
    settings.airspeed_force = readFloat(object, QLatin1StringView("airspeed_force"),
                                        settings.airspeed_force_default, EditorRanges::Strength);
    settings.thrust_force = readFloat(object, QLatin1StringView("thrust_force"),
                                      settings.thrust_force_default, EditorRanges::Strength);
    settings.attenuation_strength = readFloat(object, QLatin1StringView("attenuation_strength"),
                                              settings.attenuation_strength_default, EditorRanges::Strength);
    settings.local_aoa_influence_strength =
        readFloat(object, QLatin1StringView("local_aoa_influence_strength"),
                  settings.local_aoa_influence_strength_default, EditorRanges::Strength);
}

QJsonObject writeEffect(const DirectXSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const SimpleEffectSettings&>(settings));
    object.insert(QLatin1StringView("trimmer"), writeFloat(settings.trimmer, 0.0f));
    object.insert(QLatin1StringView("force"), writeFloat(settings.force, 0.0f));
    object.insert(QLatin1StringView("periodic"), writeFloat(settings.periodic, 0.0f));
    return object;
}

void readEffect(const QJsonObject& object, DirectXSettings& settings) {
    readEffect(object, static_cast<SimpleEffectSettings&>(settings));
    settings.trimmer = readFloat(object, QLatin1StringView("trimmer"), 0.0f, EditorRanges::Strength);
    settings.force = readFloat(object, QLatin1StringView("force"), 0.0f, EditorRanges::Strength);
    settings.periodic = readFloat(object, QLatin1StringView("periodic"), 0.0f, EditorRanges::Strength);
}

QJsonObject writeEffect(const CondorShakerSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const SimpleEffectSettings&>(settings));
    object.insert(QLatin1StringView("frequency"), writeRange(settings.frequency));
    return object;
}

void readEffect(const QJsonObject& object, CondorShakerSettings& settings) {
    readEffect(object, static_cast<SimpleEffectSettings&>(settings));
    settings.total_effect_strength = clampTo(settings.total_effect_strength, EditorRanges::CondorStrength);
    readRangeMember(object, QLatin1StringView("frequency"), settings.frequency, EditorRanges::Frequency);
}

QJsonObject writeEffect(const SmartDamperSettings& settings) {
    QJsonObject object = writeEffect(static_cast<const SimpleEffectSettings&>(settings));
    object.insert(QLatin1StringView("static_dampening"),
                  writeFloat(settings.static_dampening, settings.static_dampening_default));
    object.insert(QLatin1StringView("dynamic_dampening"),
                  writeFloat(settings.dynamic_dampening, settings.dynamic_dampening_default));
    return object;
}

void readEffect(const QJsonObject& object, SmartDamperSettings& settings) {
    readEffect(object, static_cast<SimpleEffectSettings&>(settings));
    settings.static_dampening = readFloat(object, QLatin1StringView("static_dampening"),
                                          settings.static_dampening_default, EditorRanges::Dampening);
    settings.dynamic_dampening = readFloat(object, QLatin1StringView("dynamic_dampening"),
                                           settings.dynamic_dampening_default, EditorRanges::Dampening);
}

QJsonObject writeAxis(const AxisEffectsSettings& axis) {
    QJsonObject object;
    writeEffectMember(object, QLatin1StringView("airflow_spring"), axis.airflow_spring);
    writeEffectMember(object, QLatin1StringView("simple_spring"), axis.simple_spring);
    writeEffectMember(object, QLatin1StringView("elevator_weight"), axis.elevator_weight);
    writeEffectMember(object, QLatin1StringView("aoa_shaker"), axis.aoa_shaker);
    writeEffectMember(object, QLatin1StringView("gear_shaker"), axis.gear_shaker);
    writeEffectMember(object, QLatin1StringView("flaps_shaker"), axis.flaps_shaker);
    writeEffectMember(object, QLatin1StringView("airbrake_shaker"), axis.airbrake_shaker);
    writeEffectMember(object, QLatin1StringView("on_ground_shaker"), axis.on_ground_shaker);
    writeEffectMember(object, QLatin1StringView("landing_jolt"), axis.landing_jolt);
    writeEffectMember(object, QLatin1StringView("il2_shaker"), axis.il2_shaker);
    writeEffectMember(object, QLatin1StringView("direct_x"), axis.direct_x);
    writeEffectMember(object, QLatin1StringView("condor_shaker"), axis.condor_shaker);
    writeEffectMember(object, QLatin1StringView("smart_damper"), axis.smart_damper);
    writeEffectMember(object, QLatin1StringView("trim_following"), axis.trim_following);
    return object;
}

void readAxis(const QJsonObject& object, AxisEffectsSettings& axis) {
    readEffectMember(object, QLatin1StringView("airflow_spring"), axis.airflow_spring);
    readEffectMember(object, QLatin1StringView("simple_spring"), axis.simple_spring);
    readEffectMember(object, QLatin1StringView("elevator_weight"), axis.elevator_weight);
    readEffectMember(object, QLatin1StringView("aoa_shaker"), axis.aoa_shaker);
    readEffectMember(object, QLatin1StringView("gear_shaker"), axis.gear_shaker);
    readEffectMember(object, QLatin1StringView("flaps_shaker"), axis.flaps_shaker);
    readEffectMember(object, QLatin1StringView("airbrake_shaker"), axis.airbrake_shaker);
    readEffectMember(object, QLatin1StringView("on_ground_shaker"), axis.on_ground_shaker);
    readEffectMember(object, QLatin1StringView("landing_jolt"), axis.landing_jolt);
    readEffectMember(object, QLatin1StringView("il2_shaker"), axis.il2_shaker);
    readEffectMember(object, QLatin1StringView("direct_x"), axis.direct_x);
    readEffectMember(object, QLatin1StringView("condor_shaker"), axis.condor_shaker);
    readEffectMember(object, QLatin1StringView("smart_damper"), axis.smart_damper);
    readEffectMember(object, QLatin1StringView("trim_following"), axis.trim_following);
}

QJsonObject writeEffects(const EffectsSettings& effects) {
    QJsonObject object;
    for (int axis = 0; axis < 3; ++axis) {
        object.insert(kAxisKeys[axis], writeAxis(effects.axes[axis]));
    }
    return object;
}

void readEffects(const QJsonObject& object, EffectsSettings& effects) {
    for (int axis = 0; axis < 3; ++axis) {
        const QJsonValue value = object.value(kAxisKeys[axis]);
        if (value.isObject()) {
            readAxis(value.toObject(), effects.axes[axis]);
        } else {
            effects.axes[axis].resetToDefaults();
        }
    }
}

QJsonObject writeMetadata(const EffectsProfileMetadata& metadata) {
    QJsonObject object;
    object.insert(QLatin1StringView("flight_data_source"), static_cast<int>(metadata.flight_data_source));
    object.insert(QLatin1StringView("flight_module"), metadata.flight_module);
    object.insert(QLatin1StringView("comment"), metadata.comment);
    return object;
}

void readMetadata(const QJsonObject& object, EffectsProfileMetadata& metadata) {
    const QJsonValue module = object.value(QLatin1StringView("flight_module"));
    metadata.flight_module = module.isString() ? module.toString() : QString();
    const QJsonValue comment = object.value(QLatin1StringView("comment"));
    metadata.comment = comment.isString() ? comment.toString() : QString();
    // An integral number that fits the enumeration's int; anything else is no source.
    qint64 source = 0;
    if (!readIntegral(object.value(QLatin1StringView("flight_data_source")), source) ||
        source < std::numeric_limits<int>::min() || source > std::numeric_limits<int>::max()) {
        source = 0;
    }
    metadata.flight_data_source = static_cast<Telemetry::Source>(source);
}

QJsonObject writeProfile(const EffectsProfile& profile) {
    QJsonObject root;
    root.insert(QLatin1StringView("metadata"), writeMetadata(profile.metadata));
    root.insert(QLatin1StringView("effects"), writeEffects(profile.effects));
    return root;
}

void readProfile(const QJsonObject& root, EffectsProfile& profile) {
    const QJsonValue effects = root.value(QLatin1StringView("effects"));
    if (effects.isObject()) {
        readEffects(effects.toObject(), profile.effects);
    } else {
        profile.effects.resetToDefaults();
    }
    const QJsonValue metadata = root.value(QLatin1StringView("metadata"));
    if (metadata.isObject()) {
        readMetadata(metadata.toObject(), profile.metadata);
    } else {
        profile.metadata = EffectsProfileMetadata{};
    }
}

QByteArray toDocument(const EffectsProfile& profile) {
    return QJsonDocument(writeProfile(profile)).toJson(QJsonDocument::Indented);
}

void fromDocument(const QByteArray& bytes, EffectsProfile& profile) {
    // Bytes that are not JSON, or a root that is not an object, read like an empty object.
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    readProfile(document.isObject() ? document.object() : QJsonObject(), profile);
}

} // namespace ProfileJson
