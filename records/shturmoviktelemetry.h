#pragma once

#include "records/telemetry.h"

// IL-2 Sturmovik record: the flight state and the two values of the game's indicator 9, carried but read by
// nothing. It derives from Telemetry, so the leading flight state is a plain slice of it.
struct ShturmovikTelemetry : Telemetry {
    float indicator9Value0 = 0.0f;
    float indicator9Value1 = 0.0f;
};

Q_DECLARE_METATYPE(ShturmovikTelemetry)
