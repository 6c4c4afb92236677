#pragma once

class AoAShakerSettings;
class CondorShakerSettings;
class GenericSpeedDependantShakerSettings;
class JoltSettings;
class SimpleEffectSettings;

// What drives a shaker's oscillator for a given flight state: its frequency (Hz) and its
// amplitude before the period-to-period jitter. The force synthesis and the curve previews
// both take their shaker values from these functions.
struct ShakerDrive {
    float frequency = 0.0f;
    float amplitude = 0.0f;
};

// The gear, flaps, airbrake and on-ground shakers: strength rises from nothing at the speed
// range's min to full at its max, scaled by the level (percent extended, 100 on ground); the
// frequency moves across its range with the same speed fraction.
ShakerDrive levelShakerDrive(float level, float airspeed,
                             const GenericSpeedDependantShakerSettings& settings);
// The AoA shaker: the speed curve times the angle-of-attack curve.
ShakerDrive aoaShakerDrive(float airspeed, float aoa, const AoAShakerSettings& settings);

// How strongly a touch-down arms the landing jolt, 0..1: the speed curve at the touch-down
// airspeed, scaled by the sink rate over 10 m/s (a harder landing counts as 10 m/s).
float landingStrength(float airspeed, float verticalSpeed, const JoltSettings& settings);
// The running landing jolt: `level` is the arming strength times what is left of the jolt's
// time (clamped to 0..1); the frequency follows the current airspeed.
ShakerDrive joltDrive(float level, float airspeed, const JoltSettings& settings);

// IL-2's stall buffet at the game's frequency (Hz). The game's amplitude is a fraction of a full
// shake, rarely above 0.3: it is taken to the square root of its share of 0.3, so that a light
// buffet of 0.05 already gives 40 % of the shaker's strength.
ShakerDrive shturmovikBuffetDrive(float frequency, float amplitude, const SimpleEffectSettings& settings);
// A fixed shake for the IL-2 shaker's gun bursts and hit kicks: `level` (0..1) of its strength.
ShakerDrive shturmovikEventDrive(float frequency, float level, const SimpleEffectSettings& settings);
// Condor's turbulence: Condor's strength runs from 0 (calm air) to about 1 (strong turbulence);
// the amplitude grows with it to full at 1, and the frequency moves across the effect's range.
ShakerDrive condorTurbulenceDrive(float turbulence, const CondorShakerSettings& settings);
