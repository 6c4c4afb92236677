#pragma once

#include "records/telemetry.h"

// DCS record: exactly the common flight state.
// It derives from Telemetry, so the leading flight state is a plain slice of it.
struct DCSTelemetry : Telemetry {};

Q_DECLARE_METATYPE(DCSTelemetry)
