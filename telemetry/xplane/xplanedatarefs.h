#pragma once

#include "records/telemetry.h"
#include "telemetry/xplane/xplanerref.h"

#include <QByteArray>
#include <QString>

// What this program asks X-Plane for, under which index and how often, and how the answers
// become the common flight state and the aircraft's name. The datarefs and their units are
// listed in docs/games.md with where they were found.
//
// Threading: pure functions and constants; any thread.
namespace XPlaneDatarefs {

// Answers a second for the flight state: the 200 Hz loop reads the newest values, so this is
// plenty without flooding the socket.
constexpr int FlightRate = 60;
// Answers a second for what changes only with the aircraft (name, gear, engines).
constexpr int AircraftRate = 4;
// Characters of each name dataref asked for; a longer name is cut. Every character is a request
// of its own, and every request must fit the simulator's socket buffer with the others.
constexpr int NameBytes = 48;
constexpr int GearSlots = 10;
constexpr int PropEngines = 4;

// The index of each value in the answers (and in Table).
enum Index : int {
    Airspeed = 0,  // knots indicated
    Aoa,           // degrees
    Sideslip,      // degrees
    RollRate,      // degrees/s
    GForce,        // G, normal to the wings
    VerticalSpeed, // m/s
    OnGround,      // 0 or 1
    Flaps,         // ratio 0..1
    Speedbrake,    // ratio 0..1
    AileronTrim,   // ratio -1..1
    ElevatorTrim,  // ratio -1..1
    RudderTrim,    // ratio -1..1
    Paused,        // 0 or 1
    FlightCount,
    EngineCount = FlightCount,          // engines the aircraft has
    PropRedline,                        // rad/s, the propeller's highest speed
    PropRpm,                            // rpm, PropEngines values from here
    GearDeploy = PropRpm + PropEngines, // ratio 0..1, GearSlots values from here
    GearType = GearDeploy + GearSlots,  // 0 for a slot the aircraft does not use
    UiName = GearType + GearSlots,      // X-Plane 12's name, NameBytes characters
    Description = UiName + NameBytes,   // X-Plane 11's description, NameBytes characters
    Count = Description + NameBytes
};

using Table = XPlaneRref::Values<Count>;

// The dataref path asked for under `index`, and the rate it is asked at.
QByteArray path(int index);
int rate(int index);

// The common flight state from the answers so far, in the program's units and ranges. Values
// not yet answered read as 0.
Telemetry record(const Table& values);

// A name from a byte-array dataref, one element a character: up to the first 0 or the first
// element that is not a byte, read as UTF-8, spaces trimmed.
QString nameFromBytes(const float* bytes, const bool* seen, int count);
// X-Plane 12's name when it has one, else X-Plane 11's description.
QString aircraftName(const Table& values);
// Whether every character of both names has been answered, so the name can be announced.
bool nameAnswered(const Table& values);
bool paused(const Table& values);

} // namespace XPlaneDatarefs
