#include "forces/shakerdrive.h"

#include "forces/effectcurves.h"
#include "records/aoashakersettings.h"
#include "records/condorshakersettings.h"
#include "records/genericspeeddependantshakersettings.h"
#include "records/joltsettings.h"
#include "records/simpleeffectsettings.h"

#include <algorithm>
#include <cmath>

namespace {
// IL-2's buffet amplitude that shakes at full strength.
constexpr float kFullBuffet = 0.3f;
// Condor's turbulence strength that shakes at full strength.
constexpr float kFullTurbulence = 1.0f;

float unit(float value) {
    return std::clamp(finiteOrZero(value), 0.0f, 1.0f);
}
} // namespace

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

float landingStrength(float airspeed, float verticalSpeed, const JoltSettings& s) {
    float k = shape(fraction(airspeed, s.speed.min, s.speed.max), s.speed.exp / 100.0f);
    const float q = verticalSpeed / 10.0f;
    if (q > 1.0f) {
        // A hard landing: full strength.
    } else if (q < 0.0f || q != q) {
        k = 0.0f;
    } else {
        k = k * q;
    }
    return k;
}

ShakerDrive joltDrive(float level, float airspeed, const JoltSettings& s) {
    const float r = level > 1.0f ? 1.0f : (level < 0.0f ? 0.0f : level);
    ShakerDrive drive;
    drive.frequency = mapRange(fraction(airspeed, s.speed.min, s.speed.max), s.frequency);
    drive.amplitude = finiteOrZero(r * s.total_effect_strength / 100.0f * 2.0f);
    return drive;
}

ShakerDrive shturmovikBuffetDrive(float frequency, float amplitude, const SimpleEffectSettings& s) {
    ShakerDrive drive;
    drive.frequency = finiteOrZero(frequency);
    drive.amplitude =
        finiteOrZero(std::sqrt(unit(amplitude / kFullBuffet)) * s.total_effect_strength / 100.0f * 2.0f);
    return drive;
}

ShakerDrive shturmovikEventDrive(float frequency, float level, const SimpleEffectSettings& s) {
    ShakerDrive drive;
    drive.frequency = finiteOrZero(frequency);
    drive.amplitude = finiteOrZero(unit(level) * s.total_effect_strength / 100.0f * 2.0f);
    return drive;
}

ShakerDrive condorTurbulenceDrive(float turbulence, const CondorShakerSettings& s) {
    const float t = unit(turbulence / kFullTurbulence);
    ShakerDrive drive;
    drive.frequency = mapRange(t, s.frequency);
    drive.amplitude = finiteOrZero(t * s.total_effect_strength / 100.0f * 2.0f);
    return drive;
}
