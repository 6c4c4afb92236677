#pragma once

#include "records/telemetry.h"

// Condor 2 record: the flight state and the value of line 31 of the datagram, carried but read by nothing.
// It derives from Telemetry, so the leading flight state is a plain slice of it.
struct Condor2Telemetry : Telemetry {
    float line31Value = 0.0f;
};

Q_DECLARE_METATYPE(Condor2Telemetry)
