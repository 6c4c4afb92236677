#pragma once

#include "profiles/editorranges.h"
#include "records/effectsprofile.h"

#include <QByteArray>
#include <QJsonObject>

// The JSON document of a profile, as pure functions usable from any thread.
//
// Each writer builds a new object from the settings; each reader overwrites every field of
// the settings from an object. A member that is missing or of the wrong JSON type takes
// the field's default, and an effect or axis whose member is not an object is reset as a
// whole, so a read never keeps anything of what the settings held before.
//
// Numbers: single-precision fields are written as the exact double of the float, which
// Qt serialises as the shortest text reading back as the same double, so a saved profile
// reads back bit for bit (except that -0 is written and read as 0). A number that does
// not fit a float (a hand-edited 1e39, or a non-finite value) reads as the field's
// default, and a non-finite field is written as its default, so the file stays valid JSON
// and no infinity or NaN ever reaches the synthesis. Every value read is then held to the
// range its editor control allows (profiles/editorranges.h), so the editor shows what the
// stick gets; a value inside its range reads back exactly.
namespace ProfileJson {

QJsonObject writeRange(const EffectRange& range);
// min and max held to `bounds`, exp to EditorRanges::Exponent.
void readRange(const QJsonObject& object, EffectRange& range, EditorRanges::Range bounds);

QJsonObject writeEffect(const SimpleEffectSettings& settings);
QJsonObject writeEffect(const GenericSpeedDependantShakerSettings& settings);
QJsonObject writeEffect(const AoAShakerSettings& settings);
QJsonObject writeEffect(const JoltSettings& settings);
QJsonObject writeEffect(const AirflowSpringSettings& settings);
QJsonObject writeEffect(const DirectXSettings& settings);
QJsonObject writeEffect(const CondorShakerSettings& settings);
QJsonObject writeEffect(const SmartDamperSettings& settings);

void readEffect(const QJsonObject& object, SimpleEffectSettings& settings);
void readEffect(const QJsonObject& object, GenericSpeedDependantShakerSettings& settings);
void readEffect(const QJsonObject& object, AoAShakerSettings& settings);
void readEffect(const QJsonObject& object, JoltSettings& settings);
void readEffect(const QJsonObject& object, AirflowSpringSettings& settings);
void readEffect(const QJsonObject& object, DirectXSettings& settings);
void readEffect(const QJsonObject& object, CondorShakerSettings& settings);
void readEffect(const QJsonObject& object, SmartDamperSettings& settings);

// Only active effects are written; the reader resets every effect the object lacks.
QJsonObject writeAxis(const AxisEffectsSettings& axis);
void readAxis(const QJsonObject& object, AxisEffectsSettings& axis);

// "ailerons", "elevator", "rudder".
QJsonObject writeEffects(const EffectsSettings& effects);
void readEffects(const QJsonObject& object, EffectsSettings& effects);

QJsonObject writeMetadata(const EffectsProfileMetadata& metadata);
void readMetadata(const QJsonObject& object, EffectsProfileMetadata& metadata);

QJsonObject writeProfile(const EffectsProfile& profile);            // root object
void readProfile(const QJsonObject& root, EffectsProfile& profile); // overwrites every field
QByteArray toDocument(const EffectsProfile& profile); // the file's bytes (indented, sorted keys)
void fromDocument(const QByteArray& bytes, EffectsProfile& profile); // any bytes; invalid -> default profile

} // namespace ProfileJson
