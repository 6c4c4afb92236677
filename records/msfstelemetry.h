#pragma once

#include "records/telemetry.h"

// Microsoft Flight Simulator record: the flight state and the three trims as fractions ("percent over 100").
// Only the leading Telemetry drives forces. It derives from Telemetry, so the leading flight state is a plain
// slice of it.
struct MSFSTelemetry : Telemetry {
    float aileronTrim = 0.0f;
    float elevatorTrim = 0.0f;
    float rudderTrim = 0.0f;
};

Q_DECLARE_METATYPE(MSFSTelemetry)
