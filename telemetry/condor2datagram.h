#pragma once

#include "records/condor2telemetry.h"

#include <QByteArray>

// Condor 2's UDP datagram: UTF-8 "key=value" lines separated by line feeds. Lines are taken
// by position, not by key: line 1 is the airspeed in m/s, line 28 the g-load, line 31 is
// carried along. Pure function, total for any bytes: a missing line, a line without "=" or
// an unreadable value reads as 0, and no field is ever NaN or infinite.
// Threading: no state; called by TelemetrySourceCondor2 on the telemetry thread, and by the fuzzer.
Condor2Telemetry parseCondor2Datagram(const QByteArray& datagram);
