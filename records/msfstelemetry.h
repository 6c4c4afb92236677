#pragma once

#include "records/telemetry.h"

// Microsoft Flight Simulator record: the flight state and the three trims as fractions ("percent over 100"),
// then the autopilot's state and the three controls' positions (fractions, -1..1, positive right, nose up
// and right rudder). The trims also fill the leading record's trimmer fields in percent; the autopilot and
// the control positions move the stick's centre while the autopilot flies. It derives from Telemetry, so
// the leading flight state is a plain slice of it.
struct MSFSTelemetry : Telemetry {
    float aileronTrim = 0.0f;
    float elevatorTrim = 0.0f;
    float rudderTrim = 0.0f;
    bool autopilotMaster = false;
    float aileronPosition = 0.0f;
    float elevatorPosition = 0.0f;
    float rudderPosition = 0.0f;
};

Q_DECLARE_METATYPE(MSFSTelemetry)
