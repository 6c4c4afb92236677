#pragma once

#include "records/telemetry.h"

#include <cstdint>

// IL-2 Sturmovik record: the flight state, the game's stall buffet (indicator 9) and how many
// shots, hits and damage reports the game has sent so far. The counts only grow (and wrap), so
// that a reader seeing only the newest record still tells that events came since the last one.
// It derives from Telemetry, so the leading flight state is a plain slice of it.
struct ShturmovikTelemetry : Telemetry {
    float indicator9Value0 = 0.0f; // stall buffet frequency, Hz
    float indicator9Value1 = 0.0f; // stall buffet amplitude, a fraction of a full shake
    uint32_t gunShots = 0;         // "gun fired" events
    uint32_t hits = 0;             // "hit" events
    uint32_t damages = 0;          // "damage" events
};

Q_DECLARE_METATYPE(ShturmovikTelemetry)
