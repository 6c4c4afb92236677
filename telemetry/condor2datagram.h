#pragma once

#include "records/condor2telemetry.h"

#include <QByteArray>

// Condor's UDP datagram, from Condor 2 or Condor 3: UTF-8 "key=value" lines separated by line
// feeds. "airspeed" (m/s) gives the airspeed, "gforce" the g-load, "turbulencestrength" the
// line31Value, "vz" (m/s, up) the vertical speed, and "height" (centre of gravity above ground)
// with "wheelheight" (wheel above ground) whether the glider is on the ground; the last three
// only by key. Each is read from the first line naming its key (Condor 3 sends
// two lines fewer before them), and a key the datagram does not name reads as 0. Only a datagram
// naming none of the first three is read by Condor 2's lines (1, 28 and 31); a Condor 2 datagram, whose
// keys sit on those lines, reads the same either way. Pure function, total for any
// bytes: a missing line, a line without "=" or an unreadable value reads as 0, no field is ever
// NaN or infinite, and no more than the first 64 lines are looked at.
// Threading: no state; called by TelemetrySourceCondor2 on the telemetry thread, and by the fuzzer.
Condor2Telemetry parseCondor2Datagram(const QByteArray& datagram);
