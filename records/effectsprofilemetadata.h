#pragma once

#include "records/telemetry.h"

#include <QString>

// What a profile belongs to: the game and the aircraft ("flight module") it is selected
// for automatically, and a free comment.
struct EffectsProfileMetadata {
    Telemetry::Source flight_data_source = Telemetry::TELEMETRY_SOURCE_NONE;
    QString flight_module;
    QString comment;
};
