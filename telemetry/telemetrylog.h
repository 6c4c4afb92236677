#pragma once

#include "records/telemetry.h"

#include <QString>

// What the telemetry worker tells the log about each game's stream: its start with the
// aircraft, and its end with the aircraft and how long it ran. Events only, never a datagram.
//
// Threading: the telemetry thread (several workers in one test process are told apart by
// nothing; each game keeps the stream it started last).
namespace TelemetryLog {

void streamStarted(Telemetry::Source source, const QString& aircraft);
void streamEnded(Telemetry::Source source);

} // namespace TelemetryLog
