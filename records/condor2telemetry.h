#pragma once

#include "records/telemetry.h"

// Condor record: the flight state and the turbulence strength ("turbulencestrength", line 31 of
// a Condor 2 datagram), which drives the Condor shaker.
// It derives from Telemetry, so the leading flight state is a plain slice of it.
struct Condor2Telemetry : Telemetry {
    float line31Value = 0.0f;
};

Q_DECLARE_METATYPE(Condor2Telemetry)
