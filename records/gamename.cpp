#include "records/gamename.h"

QString gameName(Telemetry::Source source, GameNameStyle style) {
    const bool field = style == GameNameStyle::SourceField;
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        return QStringLiteral("MSFS");
    case Telemetry::TELEMETRY_SOURCE_DCS:
        return QStringLiteral("DCS");
    case Telemetry::TELEMETRY_SOURCE_IL2:
        return field ? QStringLiteral("Il2 Shturmovik") : QStringLiteral("IL-2 Sturmovik");
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
        return field ? QStringLiteral("Warthunder") : QStringLiteral("War Thunder");
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        return field ? QStringLiteral("Condor2") : QStringLiteral("Condor 2");
    case Telemetry::TELEMETRY_SOURCE_XPLANE:
        return QStringLiteral("X-Plane");
    case Telemetry::TELEMETRY_SOURCE_NONE:
    default:
        // A value beyond the enumeration (a corrupt record) reads as no game, not as garbage.
        return field ? QStringLiteral("Not detected") : QStringLiteral("no game");
    }
}
