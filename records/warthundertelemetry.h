#pragma once

#include "records/telemetry.h"

// War Thunder record: exactly the common flight state.
// It derives from Telemetry, so the leading flight state is a plain slice of it.
struct WarthunderTelemetry : Telemetry {};

Q_DECLARE_METATYPE(WarthunderTelemetry)
