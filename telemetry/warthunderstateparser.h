#pragma once

#include "records/warthundertelemetry.h"

#include <QByteArray>

// Turns one answer of War Thunder's local "/state" page into a record: "IAS, km/h" gives the
// airspeed, "Ny" the load factor and "AoA, deg" the angle of attack; every other field stays 0.
// A body that is not a JSON object, a missing or non-numeric member, and a value that does not
// fit a float all read as 0; each value is held to what an aircraft reaches
// (telemetry/telemetryranges.h). Pure: safe on any bytes.
WarthunderTelemetry parseWarthunderState(const QByteArray& body);

// An answer with what it says about the game: in flight the game answers "valid": true; in the
// hangar and the menus "valid": false. Only a JSON object with that literal true is flight data;
// a web page, other JSON or a body without the member is not the game.
struct WarthunderAnswer {
    bool inFlight = false;
    WarthunderTelemetry record;
};
WarthunderAnswer parseWarthunderAnswer(const QByteArray& body);
