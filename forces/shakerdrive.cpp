#include "forces/shakerdrive.h"

#include "forces/effectcurves.h"
#include "profiles/aoashakersettings.h"
#include "profiles/genericspeeddependantshakersettings.h"

ShakerDrive levelShakerDrive(float level, float airspeed, const GenericSpeedDependantShakerSettings& s) {
    const float speed = fraction(airspeed, s.speed.min, s.speed.max);
    const float k = shape(speed, s.speed.exp / 100.0f);
    ShakerDrive drive;
    drive.frequency = mapRange(speed, s.frequency);
    drive.amplitude = finiteOrZero((level / 100.0f) * k * (s.total_effect_strength / 100.0f) * 2.0f);
    return drive;
}

ShakerDrive aoaShakerDrive(float airspeed, float aoa, const AoAShakerSettings& s) {
    const float speed = fraction(airspeed, s.speed.min, s.speed.max);
    const float ks = shape(speed, s.speed.exp / 100.0f);
    const float ka = shape(fraction(aoa, s.aoa.min, s.aoa.max), s.aoa.exp / 100.0f);
    ShakerDrive drive;
    drive.frequency = mapRange(speed, s.frequency);
    drive.amplitude = finiteOrZero(s.total_effect_strength * ks * ka * 2.0f / 100.0f);
    return drive;
}
