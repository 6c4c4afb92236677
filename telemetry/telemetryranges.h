#pragma once

#include "records/telemetry.h"

// The ranges a real aircraft's flight state stays within, in the units of Telemetry. Every
// game's parser holds its record to them as its last step, so a game that sends nonsense
// (a gear value of 100 meaning 10 000 %, a G spike of a crash) cannot drive an effect past
// what a flight produces. The table is documented in docs/games.md.
// Threading: pure functions and constants; any thread.
namespace TelemetryRanges {

struct Range {
    float min;
    float max;
};

constexpr Range Airspeed{0.0f, 2000.0f};        // km/h indicated
constexpr Range VerticalSpeed{-400.0f, 400.0f}; // m/s
constexpr Range Angle{-180.0f, 180.0f};         // degrees: AoA, sideslip, local angles
constexpr Range RollRate{-720.0f, 720.0f};      // degrees/s
constexpr Range GForce{-15.0f, 15.0f};          // G
constexpr Range Thrust{0.0f, 150.0f};           // percent; boost and overspeed pass 100
constexpr Range Trim{-100.0f, 100.0f};          // percent
constexpr Range Extension{0.0f, 100.0f};        // percent: gear, flaps, air brake

// The value held to the range; NaN and infinities read as 0 first.
float clampToRange(float value, Range range);

// Holds every number of the common flight state to its range.
void clampToPhysicalRanges(Telemetry& telemetry);

} // namespace TelemetryRanges
