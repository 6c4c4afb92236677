#pragma once

#include "records/telemetry.h"

#include <QString>

// The name a game's stream carries while the game has named no aircraft: "Generic warbird" for
// IL-2 and War Thunder, "Generic glider" for Condor; empty for the games that always name one.
// A profile saved for it serves every aircraft of the game that has no profile of its own.
// Threading: pure function.
inline QString genericAircraftName(Telemetry::Source source) {
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_IL2:
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
        return QStringLiteral("Generic warbird");
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        return QStringLiteral("Generic glider");
    default:
        return QString();
    }
}
